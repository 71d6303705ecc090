#include "server/store/PostgresStore.h"

#include "server/store/StoreRows.h"

#include <array>
#include <stdexcept>

namespace store {
namespace {

// The schema as the first version made it; each later version is one more
// step in kSteps, run in order from the version a database has.
constexpr const char* kSchemaV1 = R"sql(
CREATE TABLE accounts (
  id BIGSERIAL PRIMARY KEY,
  email TEXT NOT NULL UNIQUE,
  nome TEXT NOT NULL DEFAULT '',
  active INTEGER NOT NULL DEFAULT 0,
  pending_nome TEXT NOT NULL DEFAULT '',
  code_salt BYTEA NOT NULL DEFAULT '',
  code_hash BYTEA NOT NULL DEFAULT '',
  code_expires_at BIGINT NOT NULL DEFAULT 0,
  code_failures INTEGER NOT NULL DEFAULT 0,
  last_mail_at BIGINT NOT NULL DEFAULT 0,
  created_at BIGINT NOT NULL
);
CREATE TABLE devices (
  id BIGSERIAL PRIMARY KEY,
  uid TEXT NOT NULL,
  account_id BIGINT NOT NULL REFERENCES accounts(id),
  token_hash BYTEA NOT NULL UNIQUE,
  nome_maquina TEXT NOT NULL DEFAULT '',
  sistema TEXT NOT NULL DEFAULT '',
  versao TEXT NOT NULL DEFAULT '',
  latest_code_id BIGINT NOT NULL DEFAULT 0,
  bound_at BIGINT NOT NULL,
  UNIQUE (uid, account_id)
);
CREATE TABLE codes (
  id BIGSERIAL PRIMARY KEY,
  codigo TEXT NOT NULL,
  cliente_device_id BIGINT NOT NULL,
  state TEXT NOT NULL,
  expires_at BIGINT NOT NULL,
  tecnico_device_id BIGINT NOT NULL DEFAULT 0,
  tecnico_nome TEXT NOT NULL DEFAULT '',
  ip_cliente TEXT NOT NULL DEFAULT '',
  session_id BIGINT NOT NULL DEFAULT 0,
  versao_link_tecnico INTEGER NOT NULL DEFAULT 1,
  created_at BIGINT NOT NULL,
  ended_at BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX codes_by_codigo ON codes(codigo, state);
CREATE INDEX codes_by_device ON codes(cliente_device_id, state);
CREATE TABLE sessions (
  id BIGSERIAL PRIMARY KEY,
  code_id BIGINT NOT NULL,
  cliente_device_id BIGINT NOT NULL,
  tecnico_device_id BIGINT NOT NULL,
  stream_key TEXT NOT NULL,
  ip_local_cliente TEXT NOT NULL DEFAULT '',
  porta_cliente INTEGER NOT NULL DEFAULT 0,
  ended INTEGER NOT NULL DEFAULT 0,
  motivo TEXT NOT NULL DEFAULT '',
  versao_link_cliente INTEGER NOT NULL DEFAULT 1,
  versao_link_tecnico INTEGER NOT NULL DEFAULT 1,
  created_at BIGINT NOT NULL,
  ended_at BIGINT NOT NULL DEFAULT 0
);
CREATE TABLE counters (
  key TEXT PRIMARY KEY,
  failures INTEGER NOT NULL,
  last_failure_at BIGINT NOT NULL
);
)sql";

constexpr std::array<const char*, PostgresStore::kSchemaVersion> kSteps{kSchemaV1};

// Any constant of our own: servers starting together migrate one at a time.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7318402265)";

template <typename T, typename Read>
std::optional<T> First(const PgRows& rows, Read read)
{
    if (rows.Count() == 0)
        return std::nullopt;
    return read(PgRow{rows, 0});
}

}  // namespace

PostgresStore::PostgresStore(const std::string& url) : db_(url) { Migrate(); }

PostgresConnection& PostgresStore::Db()
{
    db_.EnsureConnected();
    return db_;
}

void PostgresStore::Migrate()
{
    PostgresConnection::Transaction t(db_);
    db_.Exec(kMigrationLock);
    db_.Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    const PgRows rows = db_.Run("SELECT max(version) FROM schema_version");
    std::int64_t version = rows.Null(0, 0) ? 0 : rows.Int(0, 0);
    if (version > kSchemaVersion)
        throw std::runtime_error("the database was written by a newer server (schema "
                                 + std::to_string(version) + ")");
    if (version == kSchemaVersion)
        return;
    while (version < kSchemaVersion)
        db_.Exec(kSteps.at(static_cast<std::size_t>(version++)));
    db_.Run("DELETE FROM schema_version");
    db_.Run("INSERT INTO schema_version (version) VALUES ($1)", PgParams().Add(version));
    t.Commit();
}

std::optional<Account> PostgresStore::FindAccount(const std::string& email)
{
    const PgRows rows = Db().Run(
        "SELECT id, email, nome, active, code_salt, code_hash, pending_nome, code_expires_at, code_failures, "
        "last_mail_at FROM accounts WHERE email = $1",
        PgParams().Add(email));
    if (rows.Count() == 0)
        return std::nullopt;
    Account a;
    a.id = rows.Int(0, 0);
    a.email = rows.Text(0, 1);
    a.nome = rows.Text(0, 2);
    a.active = rows.Int(0, 3) != 0;
    a.codeSalt = rows.Bytes(0, 4);
    a.codeHash = rows.Bytes(0, 5);
    a.pendingNome = rows.Text(0, 6);
    a.codeExpiresAt = rows.Int(0, 7);
    a.codeFailures = static_cast<int>(rows.Int(0, 8));
    a.lastMailAt = rows.Int(0, 9);
    return a;
}

void PostgresStore::SaveSignup(const Account& signup, Millis now)
{
    Db().Run("INSERT INTO accounts (email, pending_nome, code_salt, code_hash, code_expires_at, code_failures, "
             "last_mail_at, created_at) VALUES ($1, $2, $3, $4, $5, 0, $6, $6) "
             "ON CONFLICT (email) DO UPDATE SET pending_nome = $2, code_salt = $3, code_hash = $4, "
             "code_expires_at = $5, code_failures = 0, last_mail_at = $6",
             PgParams().Add(signup.email).Add(signup.pendingNome).AddBytes(signup.codeSalt).AddBytes(signup.codeHash)
                 .Add(signup.codeExpiresAt).Add(now));
}

int PostgresStore::CountActivationFailure(Id accountId)
{
    const PgRows rows = Db().Run(
        "UPDATE accounts SET code_failures = code_failures + 1 WHERE id = $1 RETURNING code_failures",
        PgParams().Add(accountId));
    return rows.Count() ? static_cast<int>(rows.Int(0, 0)) : 0;
}

void PostgresStore::DropActivationCode(Id accountId)
{
    Db().Run("UPDATE accounts SET code_salt = '', code_hash = '', code_expires_at = 0 WHERE id = $1",
             PgParams().Add(accountId));
}

Id PostgresStore::BindDevice(Id accountId, const std::string& uid, const std::string& tokenHash,
                             const MachineFacts& facts, Millis now)
{
    // One statement: the account's activation and the device's new token commit together.
    const PgRows rows = Db().Run(
        "WITH a AS (UPDATE accounts SET active = 1, nome = pending_nome, code_salt = '', code_hash = '', "
        "code_expires_at = 0, code_failures = 0 WHERE id = $2) "
        "INSERT INTO devices (uid, account_id, token_hash, nome_maquina, sistema, versao, bound_at) "
        "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (uid, account_id) DO UPDATE SET token_hash = $3, "
        "nome_maquina = $4, sistema = $5, versao = $6, bound_at = $7 RETURNING id",
        PgParams().Add(uid).Add(accountId).AddBytes(tokenHash).Add(facts.nomeMaquina).Add(facts.sistema)
            .Add(facts.versao).Add(now));
    return rows.Count() ? rows.Int(0, 0) : 0;
}

std::optional<Device> PostgresStore::FindDeviceByToken(const std::string& tokenHash)
{
    const PgRows rows = Db().Run(
        "SELECT d.id, d.account_id, d.uid, a.email, a.nome FROM devices d JOIN accounts a ON a.id = d.account_id "
        "WHERE d.token_hash = $1",
        PgParams().AddBytes(tokenHash));
    return First<Device>(rows, [](const PgRow& r) {
        return Device{r.Int(0), r.Int(1), r.Text(2), r.Text(3), r.Text(4)};
    });
}

bool PostgresStore::IsLiveCode(const std::string& codigo, Millis now)
{
    return FindLiveCode(codigo, now).has_value();
}

Id PostgresStore::IssueCode(Id deviceId, const std::string& codigo, Millis expiresAt, const std::string& ipCliente,
                            Millis now)
{
    PostgresConnection& db = Db();
    PostgresConnection::Transaction t(db);
    // The device's row lock orders two issues for one device, so the later
    // one ends the earlier one's code and only one stays waiting.
    db.Run("SELECT 1 FROM devices WHERE id = $1 FOR UPDATE", PgParams().Add(deviceId));
    db.Run("UPDATE codes SET state = 'encerrado', ended_at = $2 "
           "WHERE cliente_device_id = $1 AND state IN ('aguardando', 'solicitado')",
           PgParams().Add(deviceId).Add(now));
    const PgRows rows = db.Run(
        "INSERT INTO codes (codigo, cliente_device_id, state, expires_at, ip_cliente, created_at) "
        "VALUES ($1, $2, 'aguardando', $3, $4, $5) RETURNING id",
        PgParams().Add(codigo).Add(deviceId).Add(expiresAt).Add(ipCliente).Add(now));
    const Id codeId = rows.Int(0, 0);
    db.Run("UPDATE devices SET latest_code_id = $2 WHERE id = $1", PgParams().Add(deviceId).Add(codeId));
    t.Commit();
    return codeId;
}

std::optional<Code> PostgresStore::FindLiveCode(const std::string& codigo, Millis now)
{
    const PgRows rows = Db().Run(
        "SELECT " STORE_CODE_COLUMNS " FROM codes c WHERE c.codigo = $1 AND c.state IN ('aguardando', "
        "'solicitado', 'aceito') AND (c.state = 'aceito' OR c.expires_at > $2) ORDER BY c.id DESC LIMIT 1",
        PgParams().Add(codigo).Add(now));
    return First<Code>(rows, [](const PgRow& r) { return ReadCode(r); });
}

std::optional<Code> PostgresStore::FindCode(Id codeId)
{
    const PgRows rows = Db().Run("SELECT " STORE_CODE_COLUMNS " FROM codes c WHERE c.id = $1", PgParams().Add(codeId));
    return First<Code>(rows, [](const PgRow& r) { return ReadCode(r); });
}

bool PostgresStore::RecordRequest(Id codeId, Id tecnicoDeviceId, const std::string& tecnicoNome,
                                  int versaoLinkTecnico)
{
    // The condition is checked again on the locked row, so of two requests
    // at once on two servers exactly one takes a waiting code.
    const PgRows rows = Db().Run(
        "WITH c AS (UPDATE codes SET state = 'solicitado', tecnico_device_id = $2, tecnico_nome = $3, "
        "versao_link_tecnico = $4 WHERE id = $1 "
        "AND (state = 'aguardando' OR (state = 'solicitado' AND tecnico_device_id = $2)) RETURNING id), "
        "d AS (UPDATE devices SET latest_code_id = c.id FROM c WHERE devices.id = $2) "
        "SELECT count(*) FROM c",
        PgParams().Add(codeId).Add(tecnicoDeviceId).Add(tecnicoNome).Add(versaoLinkTecnico));
    return rows.Int(0, 0) == 1;
}

bool PostgresStore::RefuseRequest(Id codeId, Millis now)
{
    const PgRows rows =
        Db().Run("UPDATE codes SET state = 'recusado', ended_at = $2 WHERE id = $1 AND state = 'solicitado'",
                 PgParams().Add(codeId).Add(now));
    return rows.Affected() == 1;
}

Id PostgresStore::AcceptRequest(const Code& code, const std::string& streamKey, const std::string& ipCliente,
                                int versaoLinkCliente, Millis now)
{
    // The code's change and its session are one statement: the session
    // exists only if this request moved the code from 'solicitado'.
    const PgRows rows = Db().Run(
        "WITH c AS (UPDATE codes SET state = 'aceito', session_id = nextval('sessions_id_seq'), ip_cliente = $3 "
        "WHERE id = $1 AND state = 'solicitado' "
        "RETURNING id, session_id, cliente_device_id, tecnico_device_id, versao_link_tecnico) "
        "INSERT INTO sessions (id, code_id, cliente_device_id, tecnico_device_id, stream_key, created_at, "
        "versao_link_cliente, versao_link_tecnico) "
        "SELECT session_id, id, cliente_device_id, tecnico_device_id, $2::text, $5::bigint, $4::integer, "
        "versao_link_tecnico FROM c RETURNING id",
        PgParams().Add(code.id).Add(streamKey).Add(ipCliente).Add(versaoLinkCliente).Add(now));
    return rows.Count() ? rows.Int(0, 0) : 0;
}

std::optional<Session> PostgresStore::FindSession(Id sessionId)
{
    const PgRows rows =
        Db().Run("SELECT " STORE_SESSION_COLUMNS " FROM sessions s WHERE s.id = $1", PgParams().Add(sessionId));
    return First<Session>(rows, [](const PgRow& r) { return ReadSession(r); });
}

void PostgresStore::RegisterConnection(const Session& session, const std::string& ipLocal, int porta,
                                       const std::string& ipCliente)
{
    Db().Run("WITH s AS (UPDATE sessions SET ip_local_cliente = $2, porta_cliente = $3 WHERE id = $1) "
             "UPDATE codes SET ip_cliente = $5 WHERE id = $4",
             PgParams().Add(session.id).Add(ipLocal).Add(porta).Add(session.codeId).Add(ipCliente));
}

void PostgresStore::EndSession(const Session& session, const std::string& motivo, Millis now)
{
    Db().Run("WITH s AS (UPDATE sessions SET ended = 1, motivo = $2, ended_at = $3 WHERE id = $1) "
             "UPDATE codes SET state = 'encerrado', ended_at = $3 WHERE id = $4",
             PgParams().Add(session.id).Add(motivo).Add(now).Add(session.codeId));
}

std::optional<CodeStatus> PostgresStore::StatusFor(Id deviceId, Id codeId)
{
    const PgRows rows = Db().Run(
        "SELECT " STORE_CODE_COLUMNS ", " STORE_SESSION_COLUMNS " FROM codes c "
        "LEFT JOIN sessions s ON s.id = c.session_id WHERE c.id = (CASE WHEN $2::bigint > 0 THEN $2::bigint "
        "ELSE (SELECT latest_code_id FROM devices WHERE id = $1) END) "
        "AND (c.cliente_device_id = $1 OR c.tecnico_device_id = $1)",
        PgParams().Add(deviceId).Add(codeId));
    return First<CodeStatus>(rows, [](const PgRow& r) {
        CodeStatus status{ReadCode(r), {}};
        if (status.code.sessionId != 0)
            status.session = ReadSession(r, kCodeColumnCount);
        return status;
    });
}

std::optional<AcceptedKey> PostgresStore::AcceptedStreamKey(Id sessionId)
{
    const PgRows rows = Db().Run(
        "SELECT stream_key, LEAST(versao_link_cliente, versao_link_tecnico) FROM sessions WHERE id = $1 AND ended = 0",
        PgParams().Add(sessionId));
    return First<AcceptedKey>(rows, [](const PgRow& r) {
        return AcceptedKey{r.Text(0), static_cast<int>(r.Int(1))};
    });
}

ThrottleCounter PostgresStore::LoadCounter(const std::string& key)
{
    const PgRows rows = Db().Run("SELECT failures, last_failure_at FROM counters WHERE key = $1", PgParams().Add(key));
    return First<ThrottleCounter>(rows, [](const PgRow& r) {
               return ThrottleCounter{static_cast<int>(r.Int(0)), r.Int(1)};
           })
        .value_or(ThrottleCounter{});
}

int PostgresStore::AddFailure(const std::string& key, Millis now, Millis forgetUpTo)
{
    const PgRows rows = Db().Run(
        "INSERT INTO counters (key, failures, last_failure_at) VALUES ($1, 1, $2) ON CONFLICT (key) DO UPDATE SET "
        "failures = CASE WHEN counters.last_failure_at <= $3 THEN 1 ELSE counters.failures + 1 END, "
        "last_failure_at = $2 RETURNING failures",
        PgParams().Add(key).Add(now).Add(forgetUpTo));
    return static_cast<int>(rows.Int(0, 0));
}

int PostgresStore::Purge(Millis before)
{
    static constexpr const char* kPurges[] = {
        ("DELETE FROM codes WHERE (state IN ('encerrado', 'recusado') AND ended_at < $1) "
         "OR (state IN ('aguardando', 'solicitado') AND expires_at < $1)"),
        "DELETE FROM sessions WHERE ended = 1 AND ended_at < $1",
        "DELETE FROM counters WHERE last_failure_at < $1",
    };
    PostgresConnection& db = Db();
    PostgresConnection::Transaction t(db);
    int removed = 0;
    for (const char* sql : kPurges)
        removed += db.Run(sql, PgParams().Add(before)).Affected();
    t.Commit();
    return removed;
}

}  // namespace store
