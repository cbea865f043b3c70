#pragma once
// The library index's file as a run opens it. What the file's state makes of an
// opening: a file that is not a regular file is refused and left alone; one held
// by another program is waited for a few seconds and then left alone (the
// library is off for this run); one written by a newer Lyrvox is not opened at
// all; only a regular file that SQLite reports as not a database, or damaged, is
// moved aside (kept as PATH.broken-N) and the file made again. A new file is made
// under a name of its own and linked into place whole, so that programs making
// the same library at once end with one.
#include <functional>
#include <string>

#include "library/sql_connection.h"

struct sqlite3;

namespace lyrvox {

class LibraryFile {
  public:
    static constexpr int kBusyWaitMs = 5000;  // how long an opening waits for another program

    enum class Recovery {
        // A damaged file is renamed to PATH.broken-N (its -wal too) and a fresh
        // index made in its place, with the folders and queue that could be read.
        MoveAside,
        // Such a file is left alone and the index stays closed (the scanner's own
        // connection: the player's has dealt with it).
        None
    };
    struct Options {
        Recovery recovery = Recovery::MoveAside;
        int busyWaitMs = kBusyWaitMs;
        // Called once a wait for another program's lock has lasted a moment.
        std::function<void()> waiting;
    };
    enum class State {
        Open,
        NotAFile,  // a folder, device, FIFO, socket, a link to nothing, or no name
        InUse,     // locked by another program for longer than the wait
        Newer,     // written by a newer Lyrvox
        Damaged,   // damaged and left alone (Recovery::None, or it could not be moved)
        Failed     // cannot be opened or made (no such folder, no permission, disk full)
    };

    LibraryFile(std::string path, Options options);
    LibraryFile(const LibraryFile&) = delete;
    LibraryFile& operator=(const LibraryFile&) = delete;

    // Opens the file, makes it when there is none, or refuses it as its state
    // asks. A damaged file under Recovery::MoveAside comes back Damaged with its
    // connection still open, so that the caller can read what it can of it before
    // remake().
    State open();
    // Keeps the damaged file aside as PATH.broken-N and makes a new one in its
    // place, open; returns the name it was kept as, or "" when it could not be
    // moved or made again (the state and notice then tell which).
    std::string remake();
    // The file is open and all is well but for what `notice` tells.
    void opened(std::string notice);

    Connection& connection() { return db_; }
    const std::string& path() const { return path_; }
    const Options& options() const { return options_; }
    State state() const { return state_; }
    // What the user must be told about the opening; empty when all went well.
    const std::string& notice() const { return notice_; }
    // The opening's failure, for messages; empty when it succeeded.
    const std::string& error() const { return error_; }

    // The connection's last failure as "what: reason" in the user's words (only
    // the reason when `what` is empty, only `what` when there is no reason).
    static std::string failureText(Connection& db, const std::string& what);
    // The path as a terminal may print it.
    static std::string shown(const std::string& path);

  private:
    bool connect();  // opens the file as it is and readies its layout
    bool create();   // a new file, made whole under another name and linked in
    bool ready();    // the busy wait and the layout of the connection just opened
    State refuse(State state, std::string notice);  // closes and tells why
    bool fail(const std::string& what);             // sets error_ from the connection; false

    std::string path_;
    Options options_;
    State state_ = State::Failed;
    std::string notice_;
    std::string error_;
    Connection db_;
};

}  // namespace lyrvox
