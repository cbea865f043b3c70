#pragma once
// The layout of the library index's file and the steps that bring an older file
// up to it. The file's user_version is the layout's version; the `about` table
// names the program that last changed it, so that an older one can say which
// version wrote a file it cannot read.
#include <cstdint>
#include <string>

#include "library/sql_connection.h"

namespace lyrvox {

class LibrarySchema {
  public:
    static constexpr int kVersion = 4;

    enum class Outcome { Ready, Newer, Failed };
    struct Result {
        Outcome outcome = Outcome::Failed;
        std::int64_t version = -1;  // the file's version as found
        std::string writtenBy;      // Newer: the program that wrote it
        std::string error;          // Failed: what went wrong, in the user's words
    };

    // The program as the files it changes name it ("Lyrvox 1.2.0").
    static const char* program();

    // Readies a connection just opened: its pragmas, the layout brought up to
    // kVersion in one transaction (another program may have done it meanwhile),
    // then one read of every small table, where a damaged schema or page shows.
    // A newer program's file is read, never changed.
    static Result prepare(Connection& db);
};

}  // namespace lyrvox
