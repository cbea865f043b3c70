#pragma once
// The sqlite3 shell on a library file, for tests that shape the file as another
// program or an older Lyrvox left it: runs `sql` and returns what it printed.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "support/test_files.h"

namespace lyrvox::testing {

inline std::string sqlite(const std::string& db, const std::string& sql) {
    const std::string command = "sqlite3 " + db + " \"" + sql + "\"";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pipe) pclose(pipe);
    return output;
}

// The first page of `table` overwritten with random bytes: damage that an opening
// which does not read that table does not see.
inline void garble(const std::string& db, const std::string& table) {
    const auto page =
        std::stoul(sqlite(db, "SELECT rootpage FROM sqlite_master WHERE name = '" + table + "'"));
    const auto size = std::stoul(sqlite(db, "PRAGMA page_size"));
    std::string bytes = readFile(db);
    if (bytes.size() < page * size) throw std::runtime_error("no such page in " + db);
    bytes.replace((page - 1) * size, size, randomBytes(size));
    writeFile(db, bytes);
}

}  // namespace lyrvox::testing
