#pragma once
// An SQLite connection as the library index holds it: the handle, how long a
// statement waits for another connection's lock, and what its statements saw.
// SQLite reports a damaged page to whichever statement reads it, which may be
// long after the file was opened, so every statement passes its result here and
// the first damage seen is told once.
#include <chrono>
#include <functional>

struct sqlite3;

namespace lyrvox {

class Connection {
  public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }

    // The handle, for the sqlite3_* calls that need it; null while closed.
    operator sqlite3*() const { return handle_; }
    sqlite3** slot() { return &handle_; }
    // Closes the handle and forgets what its statements saw (not whom to tell).
    void close();

    // Waits up to `waitMs` for a lock held by another connection, then gives up with
    // SQLITE_BUSY. `waiting` is called once per wait that lasts longer than a moment,
    // so that a caller can show that it waits.
    void setBusyWait(int waitMs, std::function<void()> waiting = {});

    // Called once, when a statement first reports the file damaged.
    void onDamage(std::function<void()> told) { onDamage_ = std::move(told); }
    bool damaged() const { return damaged_; }
    // The (extended) result code of the last statement that failed; 0 when none
    // since the connection was opened or clearFailure.
    int lastFailure() const { return lastFailure_; }
    void clearFailure() { lastFailure_ = 0; }

    // Every statement's result passes here; returns `code`.
    int note(int code);
    // Runs statements without results; false on failure.
    bool exec(const char* sql);

  private:
    static int busy(void* self, int tries);

    sqlite3* handle_ = nullptr;
    int waitMs_ = 0;
    std::function<void()> waiting_;
    std::chrono::steady_clock::time_point waitStart_;
    std::function<void()> onDamage_;
    bool damaged_ = false;
    int lastFailure_ = 0;
};

// BEGIN IMMEDIATE on construction, ROLLBACK on leaving the scope unless committed:
// a write of several statements lands whole or not at all.
class Transaction {
  public:
    explicit Transaction(Connection& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool began() const { return open_; }
    // False when the transaction had not begun or COMMIT failed (rolled back then).
    bool commit();

  private:
    Connection& db_;
    bool open_;
};

}  // namespace lyrvox
