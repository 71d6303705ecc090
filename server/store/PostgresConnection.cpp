#include "server/store/PostgresConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace store {
namespace {

// libpq's text on one log line.
std::string OneLine(std::string text)
{
    for (char& c : text)
        c = c == '\n' || c == '\t' ? ' ' : c;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string ErrorText(const pg_conn* conn) { return OneLine(conn ? PQerrorMessage(conn) : "out of memory"); }

}  // namespace

PgRows::PgRows(pg_result* result) : result_(result) {}
PgRows::~PgRows() { PQclear(result_); }
PgRows::PgRows(PgRows&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }

int PgRows::Count() const { return PQntuples(result_); }
int PgRows::Affected() const { return std::atoi(PQcmdTuples(result_)); }
bool PgRows::Null(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }

std::int64_t PgRows::Int(int row, int column) const
{
    const char* text = PQgetvalue(result_, row, column);
    std::int64_t value = 0;
    std::from_chars(text, text + PQgetlength(result_, row, column), value);
    return value;
}

std::string PgRows::Text(int row, int column) const
{
    return std::string(PQgetvalue(result_, row, column), static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

std::string PgRows::Bytes(int row, int column) const
{
    std::size_t size = 0;
    unsigned char* bytes =
        PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row, column)), &size);
    if (!bytes)
        throw std::runtime_error("postgresql: out of memory");
    std::string out(reinterpret_cast<const char*>(bytes), size);
    PQfreemem(bytes);
    return out;
}

PgParams& PgParams::Add(std::int64_t value)
{
    values_.push_back(std::to_string(value));
    binary_.push_back(0);
    return *this;
}

PgParams& PgParams::Add(std::string_view text)
{
    // libpq reads a text parameter up to its first NUL; refuse rather than cut it.
    if (text.find('\0') != std::string_view::npos)
        throw std::runtime_error("postgresql: a text value holds a NUL byte");
    values_.emplace_back(text);
    binary_.push_back(0);
    return *this;
}

PgParams& PgParams::AddBytes(std::string_view bytes)
{
    values_.emplace_back(bytes);
    binary_.push_back(1);
    return *this;
}

PostgresConnection::PostgresConnection(std::string url) : url_(std::move(url)) { Connect(); }

PostgresConnection::~PostgresConnection() { PQfinish(conn_); }

void PostgresConnection::Connect()
{
    PQfinish(conn_);
    prepared_.clear();  // prepared statements belong to the connection that made them
    // A bounded connect, and over TCP a bounded wait for unacknowledged
    // data, so a dead database fails the request instead of stalling the
    // service's thread for good; the URL's own settings win (they come later).
    const char* const keys[] = {"connect_timeout", "tcp_user_timeout", "dbname", nullptr};
    const char* const values[] = {"5", "10000", url_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string error = ErrorText(conn_);
        PQfinish(conn_);
        conn_ = nullptr;  // the next EnsureConnected() tries again
        throw std::runtime_error("postgresql: cannot connect: " + error);
    }
    Exec("SET client_min_messages = warning");  // no notices on stderr from IF NOT EXISTS
}

void PostgresConnection::EnsureConnected()
{
    if (PQstatus(conn_) != CONNECTION_OK)
        Connect();
}

PgRows PostgresConnection::Checked(pg_result* result, const char* what)
{
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return PgRows(result);
    const char* message = result ? PQresultErrorMessage(result) : "";
    const std::string text = *message ? OneLine(message) : ErrorText(conn_);
    PQclear(result);
    throw std::runtime_error(std::string("postgresql ") + what + ": " + text);
}

void PostgresConnection::Exec(const char* sql) { Checked(PQexec(conn_, sql), "exec"); }

PgRows PostgresConnection::Run(const char* sql, const PgParams& params)
{
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        std::string name = "s" + std::to_string(prepared_.size());
        Checked(PQprepare(conn_, name.c_str(), sql, 0, nullptr), "prepare");
        found = prepared_.emplace(sql, std::move(name)).first;
    }
    const std::size_t count = params.values_.size();
    std::vector<const char*> values(count);
    std::vector<int> lengths(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = params.values_[i].data();
        lengths[i] = static_cast<int>(params.values_[i].size());
    }
    return Checked(PQexecPrepared(conn_, found->second.c_str(), static_cast<int>(count), values.data(),
                                  lengths.data(), params.binary_.data(), 0),
                   "query");
}

PostgresConnection::Transaction::Transaction(PostgresConnection& db) : db_(db) { db_.Exec("BEGIN"); }

PostgresConnection::Transaction::~Transaction()
{
    if (done_)
        return;
    try {
        db_.Exec("ROLLBACK");
    } catch (...) {
        // A lost connection: the server rolls back on its own.
    }
}

void PostgresConnection::Transaction::Commit()
{
    db_.Exec("COMMIT");
    done_ = true;
}

}  // namespace store
