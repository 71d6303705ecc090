#include "server/store/SqliteStore.h"

#include "server/store/StoreRows.h"

#include <array>
#include <stdexcept>

namespace store {
namespace {

// The schema as the first version made it; each later version is one step below.
constexpr const char* kSchemaV1 = R"sql(
CREATE TABLE accounts (
  id INTEGER PRIMARY KEY,
  email TEXT NOT NULL UNIQUE,
  nome TEXT NOT NULL DEFAULT '',
  active INTEGER NOT NULL DEFAULT 0,
  pending_nome TEXT NOT NULL DEFAULT '',
  code_salt BLOB NOT NULL DEFAULT x'',
  code_hash BLOB NOT NULL DEFAULT x'',
  code_expires_at INTEGER NOT NULL DEFAULT 0,
  code_failures INTEGER NOT NULL DEFAULT 0,
  last_mail_at INTEGER NOT NULL DEFAULT 0,
  created_at INTEGER NOT NULL
);
CREATE TABLE devices (
  id INTEGER PRIMARY KEY,
  uid TEXT NOT NULL UNIQUE,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  token_hash BLOB NOT NULL UNIQUE,
  nome_maquina TEXT NOT NULL DEFAULT '',
  sistema TEXT NOT NULL DEFAULT '',
  versao TEXT NOT NULL DEFAULT '',
  latest_code_id INTEGER NOT NULL DEFAULT 0,
  bound_at INTEGER NOT NULL
);
CREATE TABLE codes (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  codigo TEXT NOT NULL,
  cliente_device_id INTEGER NOT NULL,
  state TEXT NOT NULL,
  expires_at INTEGER NOT NULL,
  tecnico_device_id INTEGER NOT NULL DEFAULT 0,
  tecnico_nome TEXT NOT NULL DEFAULT '',
  ip_cliente TEXT NOT NULL DEFAULT '',
  session_id INTEGER NOT NULL DEFAULT 0,
  created_at INTEGER NOT NULL,
  ended_at INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX codes_by_codigo ON codes(codigo, state);
CREATE INDEX codes_by_device ON codes(cliente_device_id, state);
CREATE TABLE sessions (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  code_id INTEGER NOT NULL,
  cliente_device_id INTEGER NOT NULL,
  tecnico_device_id INTEGER NOT NULL,
  stream_key TEXT NOT NULL,
  ip_local_cliente TEXT NOT NULL DEFAULT '',
  porta_cliente INTEGER NOT NULL DEFAULT 0,
  ended INTEGER NOT NULL DEFAULT 0,
  motivo TEXT NOT NULL DEFAULT '',
  created_at INTEGER NOT NULL,
  ended_at INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE counters (
  key TEXT PRIMARY KEY,
  failures INTEGER NOT NULL,
  last_failure_at INTEGER NOT NULL
) WITHOUT ROWID;
)sql";

// Version 2: a device id is bound per account, so an account activating a
// device id that another account holds gets a device of its own, and never
// the other's token, codes or sessions.
constexpr const char* kDevicesPerAccount = R"sql(
CREATE TABLE devices_v2 (
  id INTEGER PRIMARY KEY,
  uid TEXT NOT NULL,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  token_hash BLOB NOT NULL UNIQUE,
  nome_maquina TEXT NOT NULL DEFAULT '',
  sistema TEXT NOT NULL DEFAULT '',
  versao TEXT NOT NULL DEFAULT '',
  latest_code_id INTEGER NOT NULL DEFAULT 0,
  bound_at INTEGER NOT NULL,
  UNIQUE (uid, account_id)
);
INSERT INTO devices_v2 (id, uid, account_id, token_hash, nome_maquina, sistema, versao, latest_code_id, bound_at)
  SELECT id, uid, account_id, token_hash, nome_maquina, sistema, versao, latest_code_id, bound_at FROM devices;
DROP TABLE devices;
ALTER TABLE devices_v2 RENAME TO devices;
)sql";

// Version 3: the link version each side announced (1 for sessions from before).
constexpr const char* kLinkVersions = R"sql(
ALTER TABLE codes ADD COLUMN versao_link_tecnico INTEGER NOT NULL DEFAULT 1;
ALTER TABLE sessions ADD COLUMN versao_link_cliente INTEGER NOT NULL DEFAULT 1;
ALTER TABLE sessions ADD COLUMN versao_link_tecnico INTEGER NOT NULL DEFAULT 1;
)sql";

constexpr std::array<const char*, SqliteStore::kSchemaVersion> kSteps{kSchemaV1, kDevicesPerAccount, kLinkVersions};

struct StateName {
    CodeState state;
    const char* name;
};
constexpr std::array<StateName, 5> kStateNames{{
    {CodeState::Waiting, "aguardando"},
    {CodeState::Requested, "solicitado"},
    {CodeState::Accepted, "aceito"},
    {CodeState::Refused, "recusado"},
    {CodeState::Ended, "encerrado"},
}};

}  // namespace

const char* CodeStateName(CodeState state)
{
    for (const StateName& entry : kStateNames) {
        if (entry.state == state)
            return entry.name;
    }
    return "encerrado";
}

std::optional<CodeState> CodeStateFromName(const std::string& name)
{
    for (const StateName& entry : kStateNames) {
        if (name == entry.name)
            return entry.state;
    }
    return std::nullopt;
}

SqliteStore::SqliteStore(const std::string& path) : db_(path)
{
    // One process owns the database: with the lock held for good, WAL needs
    // no shared-memory index and no file locking per transaction, and a
    // second server on the same folder fails at start instead of racing.
    db_.Exec("PRAGMA locking_mode=EXCLUSIVE");
    db_.Exec("PRAGMA journal_mode=WAL");
    db_.Exec("PRAGMA synchronous=FULL");
    db_.Exec("PRAGMA foreign_keys=ON");
    db_.Exec("PRAGMA busy_timeout=2000");
    db_.Exec("PRAGMA wal_autocheckpoint=1000");        // pages, about 4 MB
    db_.Exec("PRAGMA journal_size_limit=16777216");   // what a checkpoint leaves behind
    Migrate();
    db_.Exec("BEGIN EXCLUSIVE; COMMIT");  // takes the lock now, not at the first write
}

const char* SqliteStore::SchemaStep(int version) { return kSteps.at(static_cast<std::size_t>(version - 1)); }

void SqliteStore::Migrate()
{
    std::int64_t version = 0;
    {
        Query q = db_.Prepare("PRAGMA user_version");
        if (q.Step())
            version = q.Int(0);
    }
    if (version == kSchemaVersion)
        return;
    if (version > kSchemaVersion)
        throw std::runtime_error("the database was written by a newer server (schema "
                                 + std::to_string(version) + ")");
    Transaction t(db_);
    while (version < kSchemaVersion)
        db_.Exec(SchemaStep(static_cast<int>(++version)));
    db_.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    t.Commit();
}

std::optional<Account> SqliteStore::FindAccount(const std::string& email)
{
    Query q = db_.Prepare(
        "SELECT id, email, nome, active, code_salt, code_hash, pending_nome, code_expires_at, code_failures, "
        "last_mail_at FROM accounts WHERE email = ?1");
    q.Bind(1, email);
    if (!q.Step())
        return std::nullopt;
    Account a;
    a.id = q.Int(0);
    a.email = q.Text(1);
    a.nome = q.Text(2);
    a.active = q.Int(3) != 0;
    a.codeSalt = q.Blob(4);
    a.codeHash = q.Blob(5);
    a.pendingNome = q.Text(6);
    a.codeExpiresAt = q.Int(7);
    a.codeFailures = static_cast<int>(q.Int(8));
    a.lastMailAt = q.Int(9);
    return a;
}

void SqliteStore::SaveSignup(const Account& signup, Millis now)
{
    Query q = db_.Prepare(
        "INSERT INTO accounts (email, pending_nome, code_salt, code_hash, code_expires_at, code_failures, "
        "last_mail_at, created_at) VALUES (?1, ?2, ?3, ?4, ?5, 0, ?6, ?6) "
        "ON CONFLICT(email) DO UPDATE SET pending_nome = ?2, code_salt = ?3, code_hash = ?4, "
        "code_expires_at = ?5, code_failures = 0, last_mail_at = ?6");
    q.Bind(1, signup.email).Bind(2, signup.pendingNome).BindBlob(3, signup.codeSalt).BindBlob(4, signup.codeHash);
    q.Bind(5, signup.codeExpiresAt).Bind(6, now);
    q.Run();
}

int SqliteStore::CountActivationFailure(Id accountId)
{
    Query q = db_.Prepare(
        "UPDATE accounts SET code_failures = code_failures + 1 WHERE id = ?1 RETURNING code_failures");
    q.Bind(1, accountId);
    const int failures = q.Step() ? static_cast<int>(q.Int(0)) : 0;
    q.Run();
    return failures;
}

void SqliteStore::DropActivationCode(Id accountId)
{
    Query q = db_.Prepare("UPDATE accounts SET code_salt = x'', code_hash = x'', code_expires_at = 0 WHERE id = ?1");
    q.Bind(1, accountId).Run();
}

Id SqliteStore::BindDevice(Id accountId, const std::string& uid, const std::string& tokenHash,
                           const MachineFacts& facts, Millis now)
{
    Transaction t(db_);
    {
        Query q = db_.Prepare(
            "UPDATE accounts SET active = 1, nome = pending_nome, code_salt = x'', code_hash = x'', "
            "code_expires_at = 0, code_failures = 0 WHERE id = ?1");
        q.Bind(1, accountId).Run();
    }
    Id deviceId = 0;
    {
        Query q = db_.Prepare(
            "INSERT INTO devices (uid, account_id, token_hash, nome_maquina, sistema, versao, bound_at) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT(uid, account_id) DO UPDATE SET token_hash = ?3, "
            "nome_maquina = ?4, sistema = ?5, versao = ?6, bound_at = ?7 RETURNING id");
        q.Bind(1, uid).Bind(2, accountId).BindBlob(3, tokenHash).Bind(4, facts.nomeMaquina);
        q.Bind(5, facts.sistema).Bind(6, facts.versao).Bind(7, now);
        if (q.Step())
            deviceId = q.Int(0);
        q.Run();
    }
    t.Commit();
    return deviceId;
}

std::optional<Device> SqliteStore::FindDeviceByToken(const std::string& tokenHash)
{
    Query q = db_.Prepare(
        "SELECT d.id, d.account_id, d.uid, a.email, a.nome FROM devices d JOIN accounts a ON a.id = d.account_id "
        "WHERE d.token_hash = ?1");
    q.BindBlob(1, tokenHash);
    if (!q.Step())
        return std::nullopt;
    return Device{q.Int(0), q.Int(1), q.Text(2), q.Text(3), q.Text(4)};
}

bool SqliteStore::IsLiveCode(const std::string& codigo, Millis now)
{
    return FindLiveCode(codigo, now).has_value();
}

Id SqliteStore::IssueCode(Id deviceId, const std::string& codigo, Millis expiresAt, const std::string& ipCliente,
                          Millis now)
{
    Transaction t(db_);
    {
        Query q = db_.Prepare(
            "UPDATE codes SET state = 'encerrado', ended_at = ?2 "
            "WHERE cliente_device_id = ?1 AND state IN ('aguardando', 'solicitado')");
        q.Bind(1, deviceId).Bind(2, now).Run();
    }
    Id codeId = 0;
    {
        Query q = db_.Prepare(
            "INSERT INTO codes (codigo, cliente_device_id, state, expires_at, ip_cliente, created_at) "
            "VALUES (?1, ?2, 'aguardando', ?3, ?4, ?5)");
        q.Bind(1, codigo).Bind(2, deviceId).Bind(3, expiresAt).Bind(4, ipCliente).Bind(5, now).Run();
        codeId = db_.LastInsertId();
    }
    {
        Query q = db_.Prepare("UPDATE devices SET latest_code_id = ?2 WHERE id = ?1");
        q.Bind(1, deviceId).Bind(2, codeId).Run();
    }
    t.Commit();
    return codeId;
}

std::optional<Code> SqliteStore::FindLiveCode(const std::string& codigo, Millis now)
{
    Query q = db_.Prepare(
        "SELECT " STORE_CODE_COLUMNS " FROM codes c WHERE c.codigo = ?1 AND c.state IN ('aguardando', 'solicitado', "
        "'aceito') AND (c.state = 'aceito' OR c.expires_at > ?2) ORDER BY c.id DESC LIMIT 1");
    q.Bind(1, codigo).Bind(2, now);
    if (!q.Step())
        return std::nullopt;
    return ReadCode(q);
}

std::optional<Code> SqliteStore::FindCode(Id codeId)
{
    Query q = db_.Prepare("SELECT " STORE_CODE_COLUMNS " FROM codes c WHERE c.id = ?1");
    q.Bind(1, codeId);
    if (!q.Step())
        return std::nullopt;
    return ReadCode(q);
}

bool SqliteStore::RecordRequest(Id codeId, Id tecnicoDeviceId, const std::string& tecnicoNome,
                                int versaoLinkTecnico)
{
    Transaction t(db_);
    {
        Query q = db_.Prepare(
            "UPDATE codes SET state = 'solicitado', tecnico_device_id = ?2, tecnico_nome = ?3, "
            "versao_link_tecnico = ?4 WHERE id = ?1 "
            "AND (state = 'aguardando' OR (state = 'solicitado' AND tecnico_device_id = ?2))");
        q.Bind(1, codeId).Bind(2, tecnicoDeviceId).Bind(3, tecnicoNome).Bind(4, versaoLinkTecnico).Run();
        if (db_.Changes() == 0)
            return false;
    }
    {
        Query q = db_.Prepare("UPDATE devices SET latest_code_id = ?2 WHERE id = ?1");
        q.Bind(1, tecnicoDeviceId).Bind(2, codeId).Run();
    }
    t.Commit();
    return true;
}

bool SqliteStore::RefuseRequest(Id codeId, Millis now)
{
    Query q = db_.Prepare("UPDATE codes SET state = 'recusado', ended_at = ?2 WHERE id = ?1 AND state = 'solicitado'");
    q.Bind(1, codeId).Bind(2, now).Run();
    return db_.Changes() == 1;
}

Id SqliteStore::AcceptRequest(const Code& code, const std::string& streamKey, const std::string& ipCliente,
                              int versaoLinkCliente, Millis now)
{
    Transaction t(db_);
    Id sessionId = 0;
    {
        Query q = db_.Prepare(
            "INSERT INTO sessions (code_id, cliente_device_id, tecnico_device_id, stream_key, created_at, "
            "versao_link_cliente, versao_link_tecnico) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        q.Bind(1, code.id).Bind(2, code.clienteDeviceId).Bind(3, code.tecnicoDeviceId).Bind(4, streamKey);
        q.Bind(5, now).Bind(6, versaoLinkCliente).Bind(7, code.versaoLinkTecnico).Run();
        sessionId = db_.LastInsertId();
    }
    {
        Query q = db_.Prepare(
            "UPDATE codes SET state = 'aceito', session_id = ?2, ip_cliente = ?3 "
            "WHERE id = ?1 AND state = 'solicitado'");
        q.Bind(1, code.id).Bind(2, sessionId).Bind(3, ipCliente).Run();
        if (db_.Changes() == 0)
            return 0;  // the session rolls back with the transaction
    }
    t.Commit();
    return sessionId;
}

std::optional<Session> SqliteStore::FindSession(Id sessionId)
{
    Query q = db_.Prepare("SELECT " STORE_SESSION_COLUMNS " FROM sessions s WHERE s.id = ?1");
    q.Bind(1, sessionId);
    if (!q.Step())
        return std::nullopt;
    return ReadSession(q);
}

void SqliteStore::RegisterConnection(const Session& session, const std::string& ipLocal, int porta,
                                     const std::string& ipCliente)
{
    Transaction t(db_);
    {
        Query q = db_.Prepare("UPDATE sessions SET ip_local_cliente = ?2, porta_cliente = ?3 WHERE id = ?1");
        q.Bind(1, session.id).Bind(2, ipLocal).Bind(3, porta).Run();
    }
    {
        Query q = db_.Prepare("UPDATE codes SET ip_cliente = ?2 WHERE id = ?1");
        q.Bind(1, session.codeId).Bind(2, ipCliente).Run();
    }
    t.Commit();
}

void SqliteStore::EndSession(const Session& session, const std::string& motivo, Millis now)
{
    Transaction t(db_);
    {
        Query q = db_.Prepare("UPDATE sessions SET ended = 1, motivo = ?2, ended_at = ?3 WHERE id = ?1");
        q.Bind(1, session.id).Bind(2, motivo).Bind(3, now).Run();
    }
    {
        Query q = db_.Prepare("UPDATE codes SET state = 'encerrado', ended_at = ?2 WHERE id = ?1");
        q.Bind(1, session.codeId).Bind(2, now).Run();
    }
    t.Commit();
}

std::optional<CodeStatus> SqliteStore::StatusFor(Id deviceId, Id codeId)
{
    Query q = db_.Prepare(
        "SELECT " STORE_CODE_COLUMNS ", " STORE_SESSION_COLUMNS " FROM codes c "
        "LEFT JOIN sessions s ON s.id = c.session_id "
        "WHERE c.id = (CASE WHEN ?2 > 0 THEN ?2 ELSE (SELECT latest_code_id FROM devices WHERE id = ?1) END) "
        "AND (c.cliente_device_id = ?1 OR c.tecnico_device_id = ?1)");
    q.Bind(1, deviceId).Bind(2, codeId);
    if (!q.Step())
        return std::nullopt;
    CodeStatus status{ReadCode(q), {}};
    if (status.code.sessionId != 0)
        status.session = ReadSession(q, kCodeColumnCount);
    return status;
}

std::optional<AcceptedKey> SqliteStore::AcceptedStreamKey(Id sessionId)
{
    Query q = db_.Prepare(
        "SELECT stream_key, MIN(versao_link_cliente, versao_link_tecnico) FROM sessions WHERE id = ?1 AND ended = 0");
    q.Bind(1, sessionId);
    if (!q.Step())
        return std::nullopt;
    return AcceptedKey{q.Text(0), static_cast<int>(q.Int(1))};
}

ThrottleCounter SqliteStore::LoadCounter(const std::string& key)
{
    Query q = db_.Prepare("SELECT failures, last_failure_at FROM counters WHERE key = ?1");
    q.Bind(1, key);
    if (!q.Step())
        return {};
    return ThrottleCounter{static_cast<int>(q.Int(0)), q.Int(1)};
}

int SqliteStore::AddFailure(const std::string& key, Millis now, Millis forgetUpTo)
{
    Query q = db_.Prepare(
        "INSERT INTO counters (key, failures, last_failure_at) VALUES (?1, 1, ?2) ON CONFLICT(key) DO UPDATE SET "
        "failures = CASE WHEN last_failure_at <= ?3 THEN 1 ELSE failures + 1 END, last_failure_at = ?2 "
        "RETURNING failures");
    q.Bind(1, key).Bind(2, now).Bind(3, forgetUpTo);
    const int failures = q.Step() ? static_cast<int>(q.Int(0)) : 0;
    q.Run();
    return failures;
}

int SqliteStore::Purge(Millis before)
{
    static constexpr const char* kPurges[] = {
        ("DELETE FROM codes WHERE (state IN ('encerrado', 'recusado') AND ended_at < ?1) "
         "OR (state IN ('aguardando', 'solicitado') AND expires_at < ?1)"),
        "DELETE FROM sessions WHERE ended = 1 AND ended_at < ?1",
        "DELETE FROM counters WHERE last_failure_at < ?1",
    };
    Transaction t(db_);
    int removed = 0;
    for (const char* sql : kPurges) {
        Query q = db_.Prepare(sql);
        q.Bind(1, before).Run();
        removed += db_.Changes();
    }
    t.Commit();
    return removed;
}

}  // namespace store
