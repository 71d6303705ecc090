// The SQLite store's own promises: the schema version, the step from an
// older one, and the life of codes and sessions as the endpoints rely on
// them. Reopening and devices per account are held end to end by the
// durability and credentials tests of the real server.
#include "server/security/Secrets.h"
#include "server/store/SqliteStore.h"

#include "support/TempDir.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace store;

namespace {

class StoreTest : public ::testing::Test {
protected:
    Id Device(SqliteStore& s, const std::string& email, const std::string& uid)
    {
        Account a;
        a.email = email;
        a.pendingNome = "Nome " + uid;
        a.codeHash = "h";
        s.SaveSignup(a, 1);
        return s.BindDevice(s.FindAccount(email)->id, uid, "token-" + uid + "-" + email, {}, 2);
    }

    testing_support::TempDir dir;
    const std::string path = dir.File("marquelin.db");
};

}  // namespace

TEST_F(StoreTest, OneServerAtATimeOwnsTheDatabaseAndANewerServersIsRefused)
{
    {
        SqliteStore owner(path);
        EXPECT_THROW(SqliteStore second(path), std::runtime_error);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_THROW(SqliteStore again(path), std::runtime_error);
}

TEST_F(StoreTest, CodesLiveUntilReplacedExpiredOrEnded)
{
    SqliteStore s(path);
    const Id cliente = Device(s, "a@x", "uid-a");
    s.IssueCode(cliente, "111111111", 1000, "", 10);
    const Id current = s.IssueCode(cliente, "222222222", 1000, "", 20);
    EXPECT_FALSE(s.IsLiveCode("111111111", 30)) << "replaced";
    EXPECT_TRUE(s.IsLiveCode("222222222", 999));
    EXPECT_FALSE(s.IsLiveCode("222222222", 1000)) << "expired";

    s.RecordRequest(current, Device(s, "b@x", "uid-b"), "Beto", 2);
    const Id session = s.AcceptRequest(*s.FindCode(current), "k", "198.51.100.1", 2, 40);
    EXPECT_TRUE(s.IsLiveCode("222222222", 5000)) << "a session keeps its code alive";
    EXPECT_EQ(s.AcceptedStreamKey(session).value_or(AcceptedKey{}).streamKey, "k");
    EXPECT_EQ(s.AcceptedStreamKey(session)->versaoLink, 2) << "both sides announced version 2";
    s.EndSession(*s.FindSession(session), "cliente", 50);
    EXPECT_FALSE(s.AcceptedStreamKey(session));
    EXPECT_EQ(s.Purge(51), 3) << "both codes and the session were ended before";
}

// A database as the first server version left it, opened by this one.
TEST_F(StoreTest, DevicesTokensAndSessionsSurviveEveryStep)
{
    {
        SqliteDatabase old(path);
        old.Exec(SqliteStore::SchemaStep(1));
        old.Exec("INSERT INTO accounts (id, email, nome, active, created_at) VALUES (1, 'ana@x', 'Ana', 1, 0);"
                 "INSERT INTO sessions (id, code_id, cliente_device_id, tecnico_device_id, stream_key, created_at) "
                 "VALUES (5, 1, 7, 8, 'k', 0);"
                 "PRAGMA user_version=1;");
        old.Prepare("INSERT INTO devices (id, uid, account_id, token_hash, bound_at) VALUES (7, 'uid-a', 1, ?1, 0)")
            .BindBlob(1, security::Sha256("token-a"))
            .Run();
    }
    SqliteStore s(path);
    const std::optional<store::Device> device = s.FindDeviceByToken(security::Sha256("token-a"));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->id, 7);
    EXPECT_EQ(device->email, "ana@x");
    EXPECT_NE(Device(s, "beto@x", "uid-a"), 7) << "a device per account";
    EXPECT_EQ(s.AcceptedStreamKey(5).value_or(AcceptedKey{}).versaoLink, 1) << "sessions from before ran version 1";
}
