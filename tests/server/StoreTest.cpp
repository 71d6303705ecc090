// The SQLite store's own promises: the schema version, reopening, and the
// life of codes and sessions as the endpoints rely on them.
#include "server/store/SqliteStore.h"

#include "TempDir.h"

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

    server_tests::TempDir dir;
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

TEST_F(StoreTest, ReopeningKeepsWhatWasWritten)
{
    Id device = 0;
    Id code = 0;
    {
        SqliteStore s(path);
        device = Device(s, "a@x", "uid-a");
        code = s.IssueCode(device, "123456789", 1000, "203.0.113.9", 10);
    }
    SqliteStore s(path);
    const auto found = s.FindDeviceByToken("token-uid-a-a@x");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, device);
    EXPECT_EQ(found->nome, "Nome uid-a");
    const auto status = s.StatusFor(device, 0);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->code.id, code);
    EXPECT_EQ(status->code.ipCliente, "203.0.113.9");
}

TEST_F(StoreTest, ADeviceIdIsBoundPerAccountAndNeverMovedToAnother)
{
    SqliteStore s(path);
    const Id first = Device(s, "a@x", "uid-1");
    EXPECT_NE(Device(s, "b@x", "uid-1"), first);
    EXPECT_EQ(s.FindDeviceByToken("token-uid-1-a@x")->id, first) << "the first account keeps its device and token";
    EXPECT_EQ(s.FindDeviceByToken("token-uid-1-b@x")->email, "b@x");
}

TEST_F(StoreTest, CodesLiveUntilReplacedExpiredOrEnded)
{
    SqliteStore s(path);
    const Id cliente = Device(s, "a@x", "uid-a");
    const Id tecnico = Device(s, "b@x", "uid-b");
    const Id old = s.IssueCode(cliente, "111111111", 1000, "", 10);
    const Id current = s.IssueCode(cliente, "222222222", 1000, "", 20);
    EXPECT_EQ(s.FindCode(old)->state, CodeState::Ended);
    EXPECT_FALSE(s.IsLiveCode("111111111", 30));
    EXPECT_TRUE(s.IsLiveCode("222222222", 999));
    EXPECT_FALSE(s.IsLiveCode("222222222", 1000)) << "expired";

    s.RecordRequest(current, tecnico, "Beto", 2);
    EXPECT_EQ(s.StatusFor(tecnico, 0)->code.id, current) << "the technician's latest code is the one it asked for";
    const Id session = s.AcceptRequest(*s.FindCode(current), "k", "198.51.100.1", 2, 40);
    EXPECT_TRUE(s.IsLiveCode("222222222", 5000)) << "a session keeps its code alive";
    EXPECT_EQ(s.AcceptedStreamKey(session).value_or(AcceptedKey{}).streamKey, "k");
    EXPECT_EQ(s.AcceptedStreamKey(session)->versaoLink, 2) << "both sides announced version 2";
    EXPECT_FALSE(s.StatusFor(Device(s, "c@x", "uid-c"), current)) << "a stranger sees nothing";

    s.EndSession(*s.FindSession(session), "cliente", 50);
    EXPECT_FALSE(s.AcceptedStreamKey(session));
    EXPECT_EQ(s.StatusFor(cliente, current)->code.state, CodeState::Ended);
    EXPECT_EQ(s.Purge(51), 3) << "both codes and the session were ended before";
}
