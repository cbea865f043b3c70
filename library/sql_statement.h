#pragma once
// One prepared statement on a Connection, finalized with its scope. Its results
// pass through the connection, so that a damaged page found by any statement is
// known to the index.
#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "library/sql_connection.h"

namespace lyrvox {

class Statement {
  public:
    Statement(Connection& db, const char* sql) : db_(db) {
        if (db.note(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr)) != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int at, std::int64_t value) {
        sqlite3_bind_int64(stmt_, at, value);
        return *this;
    }
    Statement& bindText(int at, const std::string& text) {
        sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int at, const std::string& bytes) {
        // A zero-length blob is still a blob, not NULL.
        sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindReal(int at, double value) {
        sqlite3_bind_double(stmt_, at, value);
        return *this;
    }
    Statement& bindNull(int at) {
        sqlite3_bind_null(stmt_, at);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return stmt_ ? db_.note(sqlite3_step(stmt_)) : SQLITE_ERROR; }
    bool run() {
        const int result = step();
        sqlite3_reset(stmt_);
        return result == SQLITE_DONE || result == SQLITE_ROW;
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    double real(int column) { return sqlite3_column_double(stmt_, column); }
    bool isNull(int column) { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string bytes(int column) {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }

  private:
    Connection& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace lyrvox
