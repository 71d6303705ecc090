#pragma once

#include "server/store/PostgresConnection.h"
#include "server/store/Store.h"

// The PostgreSQL store, for several servers on one database: every decision
// a server takes from the store is one statement or one transaction with the
// rows it changes locked, so no server relies on being the only writer. The
// schema carries its version in the table schema_version; the server that
// starts first on a new or older schema migrates it, under a lock the others
// wait on.

namespace store {

class PostgresStore final : public Store {
public:
    explicit PostgresStore(const std::string& url);  // postgresql://user@host/db?...

    std::optional<Account> FindAccount(const std::string& email) override;
    void SaveSignup(const Account& signup, Millis now) override;
    int CountActivationFailure(Id accountId) override;
    void DropActivationCode(Id accountId) override;
    Id BindDevice(Id accountId, const std::string& uid, const std::string& tokenHash,
                  const MachineFacts& facts, Millis now) override;
    std::optional<Device> FindDeviceByToken(const std::string& tokenHash) override;

    bool IsLiveCode(const std::string& codigo, Millis now) override;
    Id IssueCode(Id deviceId, const std::string& codigo, Millis expiresAt, const std::string& ipCliente,
                 Millis now) override;
    std::optional<Code> FindLiveCode(const std::string& codigo, Millis now) override;
    std::optional<Code> FindCode(Id codeId) override;
    bool RecordRequest(Id codeId, Id tecnicoDeviceId, const std::string& tecnicoNome,
                       int versaoLinkTecnico) override;
    bool RefuseRequest(Id codeId, Millis now) override;
    Id AcceptRequest(const Code& code, const std::string& streamKey, const std::string& ipCliente,
                     int versaoLinkCliente, Millis now) override;

    std::optional<Session> FindSession(Id sessionId) override;
    void RegisterConnection(const Session& session, const std::string& ipLocal, int porta,
                            const std::string& ipCliente) override;
    void EndSession(const Session& session, const std::string& motivo, Millis now) override;

    std::optional<CodeStatus> StatusFor(Id deviceId, Id codeId) override;
    std::optional<AcceptedKey> AcceptedStreamKey(Id sessionId) override;

    ThrottleCounter LoadCounter(const std::string& key) override;
    int AddFailure(const std::string& key, Millis now, Millis forgetUpTo) override;
    int Purge(Millis before) override;

    static constexpr int kSchemaVersion = 1;

private:
    void Migrate();
    // The connection, opened again first when it was lost since the last call.
    PostgresConnection& Db();

    PostgresConnection db_;
};

}  // namespace store
