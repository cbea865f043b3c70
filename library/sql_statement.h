#pragma once
// One prepared statement on a Connection, finalized with its scope. Its results
// pass through the connection, so that a damaged page found by any statement is
// known to the index.
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "library/sql_connection.h"

namespace lyrvox {

// Bytes bound as a blob (a path as it is on disk), where a std::string binds as text.
struct Blob {
    const std::string& bytes;
};

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
    // Binds the values to ?1, ?2, ... in order: integers (and bools), text, Blob, a
    // nullopt as NULL, reals.
    template <class... Values>
    Statement& bindAll(const Values&... values) {
        int at = 0;
        (bindOne(++at, values), ...);
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
    template <class T>
    void bindOne(int at, const T& value) {
        if constexpr (std::is_same_v<T, std::string>)
            bindText(at, value);
        else if constexpr (std::is_same_v<T, Blob>)
            bindBlob(at, value.bytes);
        else if constexpr (std::is_same_v<T, std::optional<int>>)
            value ? void(bind(at, *value)) : void(bindNull(at));
        else if constexpr (std::is_floating_point_v<T>)
            bindReal(at, value);
        else
            bind(at, static_cast<std::int64_t>(value));
    }

    Connection& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs `statement` once for each of `items`, `bind(statement, item, index)` giving
// it its values; stops at the first failure. False when one failed.
template <class Items, class Bind>
bool runEach(Statement& statement, const Items& items, Bind&& bind) {
    std::int64_t index = 0;
    for (const auto& item : items) {
        bind(statement, item, index++);
        if (!statement.run()) return false;
    }
    return true;
}

}  // namespace lyrvox
