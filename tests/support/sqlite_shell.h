#pragma once
// The sqlite3 shell on a library file, for tests that shape the file as another
// program or an older Lyrvox left it: runs `sql` and returns what it printed.
#include <cstdio>
#include <string>

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

}  // namespace lyrvox::testing
