// A database as the first server version left it, opened by this one.
#include "server/security/Secrets.h"
#include "server/store/SqliteStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(StoreMigration, DevicesTokensAndSessionsSurviveEveryStep)
{
    server_tests::TempDir dir;
    const std::string path = dir.File("old.db");
    {
        store::SqliteDatabase old(path);
        old.Exec(store::SqliteStore::SchemaStep(1));
        old.Exec("INSERT INTO accounts (id, email, nome, active, created_at) VALUES (1, 'ana@x', 'Ana', 1, 0);"
                 "INSERT INTO sessions (id, code_id, cliente_device_id, tecnico_device_id, stream_key, created_at) "
                 "VALUES (5, 1, 7, 8, 'k', 0);"
                 "PRAGMA user_version=1;");
        old.Prepare("INSERT INTO devices (id, uid, account_id, token_hash, bound_at) VALUES (7, 'uid-a', 1, ?1, 0)")
            .BindBlob(1, security::Sha256("token-a"))
            .Run();
    }
    store::SqliteStore store(path);
    const std::optional<store::Device> device = store.FindDeviceByToken(security::Sha256("token-a"));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->id, 7);
    EXPECT_EQ(device->email, "ana@x");

    store::Account signup;
    signup.email = "beto@x";
    store.SaveSignup(signup, 0);
    const store::Id beto = store.FindAccount("beto@x")->id;
    EXPECT_NE(store.BindDevice(beto, "uid-a", security::Sha256("token-b"), {}, 0), 7) << "a device per account";
    const std::optional<store::AcceptedKey> session = store.AcceptedStreamKey(5);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->versaoLink, 1) << "a session from before the link versions ran version 1";
}
