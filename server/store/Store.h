#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The service's storage, behind one interface so another database can follow
// SQLite. Every operation is one transaction: when it returns, what it wrote
// survives a crash. Times are Unix milliseconds given by the caller, so the
// store keeps no clock of its own. Single-threaded, like the whole service;
// several servers may share one PostgreSQL store, so no operation relies on
// being the only writer.

namespace store {

using Id = std::int64_t;
using Millis = std::int64_t;

struct Account {
    Id id = 0;
    std::string email;        // trimmed, lower case
    std::string nome;         // "" until the first activation
    bool active = false;
    std::string codeSalt;     // raw bytes; "" when no activation code is pending
    std::string codeHash;     // SHA-256 of salt and code
    std::string pendingNome;  // the name of the latest sign-up, applied on activation
    Millis codeExpiresAt = 0;
    int codeFailures = 0;
    Millis lastMailAt = 0;
};

struct Device {
    Id id = 0;
    Id accountId = 0;
    std::string uid;
    std::string email;  // of the account the device is bound to
    std::string nome;   // the account's name
};

struct MachineFacts {
    std::string nomeMaquina;
    std::string sistema;
    std::string versao;
};

// Where a code stands. "Ended" covers a code replaced by a newer one, a code
// whose session ended and a code that expired unused.
enum class CodeState { Waiting, Requested, Accepted, Refused, Ended };

struct Code {
    Id id = 0;
    std::string codigo;
    Id clienteDeviceId = 0;
    Millis expiresAt = 0;  // no longer applies once a session uses the code
    CodeState state = CodeState::Waiting;
    Id tecnicoDeviceId = 0;
    std::string tecnicoNome;
    std::string ipCliente;  // public address the cliente last reached us from
    Id sessionId = 0;
    int versaoLinkTecnico = 1;  // the link version the requesting technician announced
};

struct Session {
    Id id = 0;
    Id codeId = 0;
    Id clienteDeviceId = 0;
    Id tecnicoDeviceId = 0;
    std::string streamKey;
    std::string ipLocalCliente;
    int portaCliente = 0;
    bool ended = false;
    // The link version each side announced; the session runs the lower one.
    int versaoLinkCliente = 1;
    int versaoLinkTecnico = 1;

    int VersaoLink() const { return versaoLinkCliente < versaoLinkTecnico ? versaoLinkCliente : versaoLinkTecnico; }
};

// What the relay needs of an accepted, not ended session.
struct AcceptedKey {
    std::string streamKey;
    int versaoLink = 1;
};

// A code with its session, as the status poll reports it.
struct CodeStatus {
    Code code;
    Session session;  // id 0 when the code has no session
};

struct ThrottleCounter {
    int failures = 0;
    Millis lastFailureAt = 0;
};

class Store {
public:
    virtual ~Store() = default;

    // Accounts and devices.
    virtual std::optional<Account> FindAccount(const std::string& email) = 0;
    // Creates the account when new; stores a fresh activation code either way.
    virtual void SaveSignup(const Account& signup, Millis now) = 0;
    virtual int CountActivationFailure(Id accountId) = 0;  // the new count
    virtual void DropActivationCode(Id accountId) = 0;
    // Activates the account, binds the device id to it under a new token
    // hash (the device's earlier token stops working), and ends the
    // activation code. A device id is bound per account: another account
    // binding the same id gets a device of its own, and never this one's
    // token, codes or sessions.
    virtual Id BindDevice(Id accountId, const std::string& uid, const std::string& tokenHash,
                          const MachineFacts& facts, Millis now) = 0;
    virtual std::optional<Device> FindDeviceByToken(const std::string& tokenHash) = 0;

    // Support codes.
    virtual bool IsLiveCode(const std::string& codigo, Millis now) = 0;
    // Ends the device's older codes that no session uses, stores the new one
    // and makes it the device's latest.
    virtual Id IssueCode(Id deviceId, const std::string& codigo, Millis expiresAt,
                         const std::string& ipCliente, Millis now) = 0;
    virtual std::optional<Code> FindLiveCode(const std::string& codigo, Millis now) = 0;
    virtual std::optional<Code> FindCode(Id codeId) = 0;
    // The three changes of a code's state hold only from the state their
    // callers saw (a waiting code or this technician's request; a request),
    // so two servers on one database cannot both win: false, or session id
    // 0, when another request changed the code first.
    virtual bool RecordRequest(Id codeId, Id tecnicoDeviceId, const std::string& tecnicoNome,
                               int versaoLinkTecnico) = 0;
    virtual bool RefuseRequest(Id codeId, Millis now) = 0;
    // The session takes the technician's link version from the code.
    virtual Id AcceptRequest(const Code& code, const std::string& streamKey, const std::string& ipCliente,
                             int versaoLinkCliente, Millis now) = 0;

    // Sessions.
    virtual std::optional<Session> FindSession(Id sessionId) = 0;
    virtual void RegisterConnection(const Session& session, const std::string& ipLocal, int porta,
                                    const std::string& ipCliente) = 0;
    virtual void EndSession(const Session& session, const std::string& motivo, Millis now) = 0;

    // The hot path: one code and its session. codeId 0 asks for the device's
    // latest code, whichever role it had.
    virtual std::optional<CodeStatus> StatusFor(Id deviceId, Id codeId) = 0;
    // The relay's question: the stream key and link version of an accepted, not ended session.
    virtual std::optional<AcceptedKey> AcceptedStreamKey(Id sessionId) = 0;

    // Guessing counters, by key ("dispositivo:12", "endereco:203.0.113.5", ...).
    virtual ThrottleCounter LoadCounter(const std::string& key) = 0;
    // Counts one failure at `now` in one statement, so failures counted at
    // once by two servers all count; a count whose last failure is at or
    // before `forgetUpTo` starts afresh. Returns the new count.
    virtual int AddFailure(const std::string& key, Millis now, Millis forgetUpTo) = 0;

    // Drops rows nobody can reach any more: codes and sessions ended before
    // `before`, counters untouched since then. Returns the rows removed.
    virtual int Purge(Millis before) = 0;
};

const char* CodeStateName(CodeState state);  // as stored
std::optional<CodeState> CodeStateFromName(const std::string& name);

}  // namespace store
