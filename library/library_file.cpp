#include "library/library_file.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "library/library_schema.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

void removeWithJournals(const std::string& path) {
    for (const char* end : {"", "-wal", "-shm", "-journal"}) ::unlink((path + end).c_str());
}

// Keeps the file (and its write-ahead log) as the first free PATH.broken-N; returns
// the new name, or "" with errno set when it could not be moved. A link then an
// unlink, so that a name another program has just taken is never replaced.
std::string moveAside(const std::string& path) {
    for (int n = 1; n < 1000; ++n) {
        const std::string target = path + ".broken-" + std::to_string(n);
        if (::link(path.c_str(), target.c_str()) != 0) {
            if (errno == EEXIST) continue;
            // A file system without hard links: a rename to a name checked free.
            if (exists(target)) continue;
            if (std::rename(path.c_str(), target.c_str()) != 0) return {};
        } else if (::unlink(path.c_str()) != 0) {
            ::unlink(target.c_str());
            return {};
        }
        std::rename((path + "-wal").c_str(), (target + "-wal").c_str());
        std::remove((path + "-shm").c_str());
        return target;
    }
    errno = EEXIST;
    return {};
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// What a failure means to the user; SQLite's own words only where they are ours
// (a trigger's message) or no plainer ones exist.
std::string describe(int code, sqlite3* db) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "another program is using the library";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "the library file is damaged";
        case SQLITE_FULL:
            return "the disk is full";
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "the library file cannot be written";
        case SQLITE_CANTOPEN:
            return "the library file cannot be opened";
        case SQLITE_IOERR:
            return "the library file cannot be read or written";
        case SQLITE_NOMEM:
            return "out of memory";
        case SQLITE_CONSTRAINT:
            if (code == SQLITE_CONSTRAINT_TRIGGER && db) return sqlite3_errmsg(db);
            return "the library refused a change";
        default:
            return sqlite3_errstr(code);
    }
}

}  // namespace

std::string LibraryFile::failureText(Connection& db, const std::string& what) {
    int code = db ? sqlite3_extended_errcode(db) : SQLITE_OK;
    if (code == SQLITE_OK) code = db.lastFailure();
    if (what.empty()) return describe(code == SQLITE_OK ? SQLITE_ERROR : code, db);
    return code == SQLITE_OK ? what : what + ": " + describe(code, db);
}

std::string LibraryFile::shown(const std::string& path) {
    return escapeForTerminal(path);
}

LibraryFile::LibraryFile(std::string path, Options options)
    : path_(std::move(path)), options_(std::move(options)) {}

LibraryFile::State LibraryFile::open() {
    db_.close();
    state_ = State::Failed;
    notice_.clear();
    error_.clear();
    const std::string where = "The song library " + shown(path_);
    if (path_.empty()) return refuse(State::NotAFile, "No file was named for the song library.");
    struct stat info;
    if (::stat(path_.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            return refuse(State::NotAFile, shown(path_) + " is " + kindOf(info.st_mode) +
                                               ", not a song library file; it was left as it is.");
        }
    } else if (errno == ENOENT && ::lstat(path_.c_str(), &info) == 0) {
        return refuse(State::NotAFile, shown(path_) +
                                           " is a link to nothing, not a song library "
                                           "file; it was left as it is.");
    } else if (errno == ENOENT && !create()) {
        return refuse(State::Failed, "The song library cannot be made at " + shown(path_) + " (" +
                                         error_ + "); the library is off for this run.");
    }
    if (connect()) return state_ = State::Open;
    if (state_ == State::Newer) return refuse(State::Newer, notice_);
    const int failure = db_.lastFailure() & 0xFF;
    if (failure == SQLITE_BUSY || failure == SQLITE_LOCKED) {
        return refuse(State::InUse, where +
                                        " is in use by another program. The library is off for "
                                        "this run; the file was left as it is.");
    }
    if (failure == SQLITE_CORRUPT || failure == SQLITE_NOTADB) {
        if (options_.recovery == Recovery::MoveAside) return state_ = State::Damaged;
        return refuse(State::Damaged, where + " is damaged; the library is off for this run.");
    }
    return refuse(State::Failed,
                  where + " cannot be opened (" + error_ + "); the library is off for this run.");
}

std::string LibraryFile::remake() {
    db_.close();
    const std::string where = "The song library " + shown(path_);
    const std::string aside = moveAside(path_);
    if (aside.empty()) {
        refuse(State::Damaged, where + " is damaged and cannot be moved aside (" +
                                   std::strerror(errno) + "); the library is off for this run.");
        return {};
    }
    if (!create() || !connect()) {
        refuse(State::Failed, where + " was damaged and cannot be made again (" + error_ +
                                  "); the library is off for this run.");
        return {};
    }
    return aside;
}

void LibraryFile::opened(std::string notice) {
    state_ = State::Open;
    notice_ = std::move(notice);
}

LibraryFile::State LibraryFile::refuse(State state, std::string notice) {
    db_.close();
    state_ = state;
    notice_ = std::move(notice);
    if (error_.empty()) error_ = notice_;
    return state_;
}

bool LibraryFile::fail(const std::string& what) {
    error_ = failureText(db_, what);
    return false;
}

bool LibraryFile::create() {
    static std::atomic<int> made{0};
    const std::string temp =
        path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
    removeWithJournals(temp);
    bool ok = db_.note(sqlite3_open_v2(temp.c_str(), db_.slot(),
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)) ==
                  SQLITE_OK ||
              fail("");
    ok = ok && ready();
    db_.close();  // the write-ahead log goes into the file
    if (ok && ::link(temp.c_str(), path_.c_str()) != 0 && errno != EEXIST) {
        // Another program's library made meanwhile is kept (EEXIST); a file system
        // without hard links gets the rename, checked first.
        const int linkError = errno;
        if (exists(path_) || std::rename(temp.c_str(), path_.c_str()) != 0) {
            error_ = std::strerror(linkError);
            ok = false;
        }
    }
    removeWithJournals(temp);
    return ok;
}

bool LibraryFile::connect() {
    error_.clear();
    db_.close();
    if (db_.note(sqlite3_open_v2(path_.c_str(), db_.slot(), SQLITE_OPEN_READWRITE, nullptr)) !=
        SQLITE_OK) {
        return fail("");
    }
    return ready();
}

bool LibraryFile::ready() {
    db_.setBusyWait(options_.busyWaitMs, options_.waiting);
    const LibrarySchema::Result schema = LibrarySchema::prepare(db_);
    switch (schema.outcome) {
        case LibrarySchema::Outcome::Ready:
            return true;
        case LibrarySchema::Outcome::Newer:
            state_ = State::Newer;
            notice_ = "The song library " + shown(path_) + " was written by " + schema.writtenBy +
                      " (library version " + std::to_string(schema.version) + "); this " +
                      LibrarySchema::program() + " reads up to version " +
                      std::to_string(LibrarySchema::kVersion) +
                      ". The file was left as it is; the library is off for this run.";
            error_ = "written by " + schema.writtenBy;
            return false;
        case LibrarySchema::Outcome::Failed:
            break;
    }
    error_ = schema.error;
    return false;
}

}  // namespace lyrvox
