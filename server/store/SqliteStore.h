#pragma once

#include "server/store/SqliteDatabase.h"
#include "server/store/Store.h"

// The SQLite store: one file in WAL mode with full synchronous commits, so an
// acknowledged write survives kill -9 and power loss; the schema carries its
// version in user_version; the WAL is checkpointed automatically and
// truncated to a bounded size.

namespace store {

class SqliteStore final : public Store {
public:
    explicit SqliteStore(const std::string& path);

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

    static constexpr int kSchemaVersion = 3;
    // The SQL that takes the schema from `version` - 1 to `version` (1 makes
    // the first one), so tests can build a database as an older server left it.
    static const char* SchemaStep(int version);

private:
    void Migrate();

    SqliteDatabase db_;
};

}  // namespace store
