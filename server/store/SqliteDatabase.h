#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// A thin owner of one SQLite connection: statements are prepared once and
// kept, keyed by the address of their SQL literal (callers pass string
// literals), so every query after the first is a reset and a rebind. Errors are thrown as std::runtime_error with SQLite's text.

namespace store {

class SqliteDatabase;

// One use of a cached statement; resets and clears its bindings when it ends.
class Query {
public:
    Query(SqliteDatabase& db, sqlite3_stmt* statement);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& BindBlob(int index, std::string_view bytes);
    bool Step();  // true while a row is there
    void Run();   // steps to the end, for statements without rows

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;

private:
    SqliteDatabase& db_;
    sqlite3_stmt* statement_;
};

class SqliteDatabase {
public:
    explicit SqliteDatabase(const std::string& path);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void Exec(const char* sql);                // several statements, no rows
    Query Prepare(const char* sql);            // sql: a string literal; cached by its address
    std::int64_t LastInsertId() const;
    int Changes() const;
    [[noreturn]] void Fail(const char* what) const;

private:
    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// BEGIN IMMEDIATE ... COMMIT; rolls back when left without Commit().
class Transaction {
public:
    explicit Transaction(SqliteDatabase& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    SqliteDatabase& db_;
    bool done_ = false;
};

}  // namespace store
