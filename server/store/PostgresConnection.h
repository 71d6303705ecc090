#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

// One libpq connection, blocking, used from the service's one thread.
// Statements are prepared once per connection and kept, keyed by the address
// of their SQL literal, as SqliteDatabase does. Errors are thrown as
// std::runtime_error with the server's text, so the callers' paths for a
// failed store (a logged "falha_interna") serve both databases.
//
// A lost connection (the server restarted, a failover, a cut network) makes
// the request that meets it fail; the next request finds the connection bad
// and opens a new one before running anything. A failed statement is never
// replayed: whether it committed before the connection dropped is unknown.

namespace store {

// The rows of one statement; text columns, bytea decoded.
class PgRows {
public:
    explicit PgRows(pg_result* result);
    ~PgRows();
    PgRows(PgRows&& other) noexcept;
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;
    PgRows& operator=(PgRows&&) = delete;

    int Count() const;
    int Affected() const;  // rows an INSERT, UPDATE or DELETE touched
    bool Null(int row, int column) const;
    std::int64_t Int(int row, int column) const;
    std::string Text(int row, int column) const;
    std::string Bytes(int row, int column) const;

private:
    pg_result* result_;
};

// One row of PgRows, for readers that take a single row.
struct PgRow {
    const PgRows& rows;
    int row;
    std::int64_t Int(int column) const { return rows.Int(row, column); }
    std::string Text(int column) const { return rows.Text(row, column); }
};

// A statement's parameters, in order: $1, $2, ...
class PgParams {
public:
    PgParams& Add(std::int64_t value);
    PgParams& Add(std::string_view text);
    PgParams& AddBytes(std::string_view bytes);

private:
    friend class PostgresConnection;
    std::vector<std::string> values_;
    std::vector<int> binary_;
};

class PostgresConnection {
public:
    explicit PostgresConnection(std::string url);  // connects now; throws when it cannot
    ~PostgresConnection();
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    // Reconnects when the connection was lost since the last call.
    void EnsureConnected();
    void Exec(const char* sql);                        // several statements, no parameters
    PgRows Run(const char* sql, const PgParams& params = {});  // sql: a string literal

    // BEGIN ... COMMIT; rolls back when left without Commit().
    class Transaction {
    public:
        explicit Transaction(PostgresConnection& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        PostgresConnection& db_;
        bool done_ = false;
    };

private:
    void Connect();
    PgRows Checked(pg_result* result, const char* what);

    std::string url_;
    pg_conn* conn_ = nullptr;
    std::unordered_map<const char*, std::string> prepared_;  // SQL literal -> statement name
};

}  // namespace store
