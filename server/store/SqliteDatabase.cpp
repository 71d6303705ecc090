#include "server/store/SqliteDatabase.h"

#include <sqlite3.h>

#include <stdexcept>

namespace store {

Query::Query(SqliteDatabase& db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}

Query::~Query()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Query& Query::Bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        db_.Fail("bind");
    return *this;
}

Query& Query::Bind(int index, std::string_view text)
{
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT)
        != SQLITE_OK)
        db_.Fail("bind");
    return *this;
}

Query& Query::BindBlob(int index, std::string_view bytes)
{
    if (sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT)
        != SQLITE_OK)
        db_.Fail("bind");
    return *this;
}

bool Query::Step()
{
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        db_.Fail("step");
    return false;
}

void Query::Run()
{
    while (Step()) {
    }
}

std::int64_t Query::Int(int column) const { return sqlite3_column_int64(statement_, column); }

std::string Query::Text(int column) const
{
    const auto* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
}

std::string Query::Blob(int column) const
{
    const void* data = sqlite3_column_blob(statement_, column);
    return data ? std::string(static_cast<const char*>(data),
                              static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
}

SqliteDatabase::SqliteDatabase(const std::string& path)
{
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("cannot open " + path + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
}

SqliteDatabase::~SqliteDatabase()
{
    for (auto& [sql, statement] : statements_)
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

void SqliteDatabase::Exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "error";
        sqlite3_free(message);
        throw std::runtime_error("sqlite: " + text);
    }
}

Query SqliteDatabase::Prepare(const char* sql)
{
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
            Fail("prepare");
        found = statements_.emplace(sql, statement).first;
    }
    return Query(*this, found->second);
}

std::int64_t SqliteDatabase::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int SqliteDatabase::Changes() const { return sqlite3_changes(db_); }

void SqliteDatabase::Fail(const char* what) const
{
    throw std::runtime_error(std::string("sqlite ") + what + ": " + sqlite3_errmsg(db_));
}

Transaction::Transaction(SqliteDatabase& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction()
{
    if (!done_) {
        try {
            db_.Exec("ROLLBACK");
        } catch (...) {
            // Nothing more to do: SQLite rolls back on its own when it failed.
        }
    }
}

void Transaction::Commit()
{
    db_.Exec("COMMIT");
    done_ = true;
}

}  // namespace store
