#include "library/sql_connection.h"

#include <sqlite3.h>

#include <thread>

namespace lyrvox {

void Connection::close() {
    sqlite3_close_v2(handle_);
    handle_ = nullptr;
    damaged_ = false;
    lastFailure_ = 0;
}

void Connection::setBusyWait(int waitMs, std::function<void()> waiting) {
    waitMs_ = waitMs;
    waiting_ = std::move(waiting);
    sqlite3_busy_handler(handle_, &Connection::busy, this);
}

int Connection::busy(void* self, int tries) {
    auto& c = *static_cast<Connection*>(self);
    using Clock = std::chrono::steady_clock;
    constexpr auto kStep = std::chrono::milliseconds(20);
    constexpr int kQuietTries = 10;  // a batch of our own scanner ends within 0.2 s
    if (tries == 0) c.waitStart_ = Clock::now();
    if (Clock::now() - c.waitStart_ >= std::chrono::milliseconds(c.waitMs_)) return 0;
    if (tries == kQuietTries && c.waiting_) c.waiting_();
    std::this_thread::sleep_for(kStep);
    return 1;
}

int Connection::note(int code) {
    const int primary = code & 0xFF;
    if (primary == SQLITE_OK || primary == SQLITE_ROW || primary == SQLITE_DONE) return code;
    lastFailure_ = code;
    if ((primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) && !damaged_) {
        damaged_ = true;
        if (onDamage_) onDamage_();
    }
    return code;
}

bool Connection::exec(const char* sql) {
    return note(sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr)) == SQLITE_OK;
}

Transaction::Transaction(Connection& db) : db_(db), open_(db.exec("BEGIN IMMEDIATE")) {}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::commit() {
    if (!open_ || !db_.exec("COMMIT")) return false;
    open_ = false;
    return true;
}

}  // namespace lyrvox
