// The stores' own promises: the schema version, the step from an older one,
// the life of codes and sessions as the endpoints rely on them, and, for
// PostgreSQL, several servers on one database. Reopening and devices per
// account are held end to end by the durability and credentials tests of the
// real server.
#include "PostgresServer.h"
#include "server/security/Secrets.h"
#include "server/store/OpenStore.h"
#include "server/store/PostgresStore.h"
#include "server/store/SqliteStore.h"

#include "support/TempDir.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace store;

namespace {

Id NewDevice(Store& s, const std::string& email, const std::string& uid)
{
    Account a;
    a.email = email;
    a.pendingNome = "Nome " + uid;
    a.codeHash = std::string("h\0\xff", 3);
    s.SaveSignup(a, 1);
    EXPECT_EQ(s.FindAccount(email)->codeHash, a.codeHash) << "bytes kept as they are";
    return s.BindDevice(s.FindAccount(email)->id, uid, "token-" + uid + "-" + email, {}, 2);
}

class StoreTest : public ::testing::TestWithParam<const char*> {
protected:
    // Another server on the same database where there can be one (PostgreSQL); else the same store.
    Store& Other()
    {
        if (GetParam() != std::string("sqlite"))
            other = OpenStore(target);
        return other ? *other : s;
    }

    testing_support::TempDir dir;
    const std::string target = server_tests::NewStoreTarget(GetParam(), dir.File("marquelin.db"));
    std::unique_ptr<Store> opened = OpenStore(target);
    Store& s = *opened;
    std::unique_ptr<Store> other;
};

class SqliteStoreTest : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    const std::string path = dir.File("marquelin.db");
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, server_tests::kStores, server_tests::StoreName);

TEST_F(SqliteStoreTest, OneServerAtATimeOwnsTheDatabaseAndANewerServersIsRefused)
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

TEST(PostgresStoreTest, ServersShareTheDatabaseAndANewerServersIsRefusedAndALostConnectionComesBack)
{
    const std::string url = server_tests::NewPostgresDatabase();
    PostgresStore first(url);
    PostgresStore second(url);
    const Id device = NewDevice(second, "a@x", "uid-a");
    server_tests::DropPostgresConnections(url);
    EXPECT_THROW(first.IssueCode(device, "111111111", 1000, "", 10), std::runtime_error) << "the request that meets it";
    EXPECT_NE(first.IssueCode(device, "111111111", 1000, "", 10), 0) << "the next one connects again";
    EXPECT_THROW(second.IsLiveCode("111111111", 20), std::runtime_error);
    EXPECT_TRUE(second.IsLiveCode("111111111", 20));
    PostgresConnection(url).Exec("UPDATE schema_version SET version = 99");
    EXPECT_THROW(PostgresStore again(url), std::runtime_error);
}

TEST_P(StoreTest, CodesLiveUntilReplacedExpiredOrEnded)
{
    const Id cliente = NewDevice(s, "a@x", "uid-a");
    s.IssueCode(cliente, "111111111", 1000, "", 10);
    const Id current = s.IssueCode(cliente, "222222222", 1000, "", 20);
    EXPECT_FALSE(s.IsLiveCode("111111111", 30)) << "replaced";
    EXPECT_TRUE(s.IsLiveCode("222222222", 999));
    EXPECT_FALSE(s.IsLiveCode("222222222", 1000)) << "expired";

    ASSERT_TRUE(s.RecordRequest(current, NewDevice(s, "b@x", "uid-b"), "Beto", 2));
    const Id session = s.AcceptRequest(*s.FindCode(current), "k", "198.51.100.1", 2, 40);
    EXPECT_TRUE(s.IsLiveCode("222222222", 5000)) << "a session keeps its code alive";
    EXPECT_EQ(s.AcceptedStreamKey(session).value_or(AcceptedKey{}).streamKey, "k");
    EXPECT_EQ(s.AcceptedStreamKey(session)->versaoLink, 2) << "both sides announced version 2";
    EXPECT_EQ(s.StatusFor(cliente, 0).value_or(CodeStatus{}).session.id, session);
    s.EndSession(*s.FindSession(session), "cliente", 50);
    EXPECT_FALSE(s.AcceptedStreamKey(session));
    EXPECT_EQ(s.Purge(51), 3) << "both codes and the session were ended before";
}

// What two servers answering at once would do: the later change finds the code moved.
TEST_P(StoreTest, OfTwoAnswersToOneCodeOnlyTheFirstTakesAndFailuresAllCount)
{
    const Id code = s.IssueCode(NewDevice(s, "a@x", "uid-a"), "111111111", 1000, "", 10);
    const Id beto = NewDevice(s, "b@x", "uid-b");
    Store& t = Other();
    EXPECT_TRUE(s.RecordRequest(code, beto, "Beto", 1));
    EXPECT_FALSE(t.RecordRequest(code, NewDevice(t, "c@x", "uid-c"), "Carla", 1));
    EXPECT_TRUE(t.RecordRequest(code, beto, "Beto", 2)) << "the same technician asking again";
    const Id session = s.AcceptRequest(*s.FindCode(code), "k", "", 1, 20);
    EXPECT_NE(session, 0);
    EXPECT_EQ(t.AcceptRequest(*t.FindCode(code), "k2", "", 1, 20), 0);
    EXPECT_FALSE(t.RefuseRequest(code, 20));
    EXPECT_EQ(t.FindCode(code)->sessionId, session);

    EXPECT_EQ(s.AddFailure("k", 100, 0), 1);
    EXPECT_EQ(t.AddFailure("k", 100, 0), 2);
    EXPECT_EQ(t.AddFailure("k", 200, 100), 1) << "the last failure was forgotten";
}

// A database as the first server version left it, opened by this one.
TEST_F(SqliteStoreTest, DevicesTokensAndSessionsSurviveEveryStep)
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
    EXPECT_NE(NewDevice(s, "beto@x", "uid-a"), 7) << "a device per account";
    EXPECT_EQ(s.AcceptedStreamKey(5).value_or(AcceptedKey{}).versaoLink, 1) << "sessions from before ran version 1";
}
