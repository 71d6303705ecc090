// Credentials against the real server: a token lasts until its device is
// activated again, a device id never carries one account's device over to
// another, and only the server's own user can read its data folder.
#include "ServerTestSetup.h"

#include <filesystem>

using namespace server_tests;
namespace fs = std::filesystem;

namespace {

using CredentialsTest = ServerTest;

// The data folder and everything in it whose mode lets anyone but the owner in.
std::vector<std::string> OpenToOthers(const std::string& dataDir)
{
    std::vector<fs::path> paths{dataDir};
    paths.insert(paths.end(), fs::recursive_directory_iterator(dataDir), fs::recursive_directory_iterator());
    std::vector<std::string> open;
    for (const fs::path& path : paths) {
        if ((fs::symlink_status(path).permissions() & fs::perms(077)) != fs::perms::none)
            open.push_back(path.filename());
    }
    return open;
}

}  // namespace

// A computer that changes its account signs up and activates with the device
// id it has: it gets a device of the new account, while the old account's
// device, its token and its session stay the old account's.
TEST_F(CredentialsTest, ADeviceIdNeverCarriesOneAccountsDeviceOverToAnother)
{
    const TestDevice first = Activate("Ana", "ana@example.com", "uid-a");
    ActivateBoth();
    EXPECT_EQ(Erro(PostAs(first, "validar_token.php")), "token_invalido") << "activated again: a new token";
    const QString sessaoId = OpenSession();
    const TestDevice other = Activate("Outro", "outro@example.com", cliente.uid);

    EXPECT_EQ(Erro(PostAs(cliente, "validar_token.php")), "(ok)");
    EXPECT_EQ(Erro(PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}})), "(ok)");
    EXPECT_EQ(Erro(PostAs(other, "credenciais_sessao.php", {{"sessao_id", sessaoId}})), "sessao_indisponivel");
    EXPECT_EQ(Field(PostAs(other, "status_codigo.php"), "status"), "sem_codigo");
    EXPECT_EQ(Erro(PostAs(other, "gerar_codigo.php")), "(ok)") << "the new account works on that computer";
}

TEST_F(CredentialsTest, OnlyTheServersUserCanReadItsDataFolderAndLooseModesAreTightened)
{
    Activate("Ana", "ana@example.com", "uid-a");
    EXPECT_TRUE(fs::exists(server.DataDir() + "/marquelin.db"));
    EXPECT_EQ(OpenToOthers(server.DataDir()), std::vector<std::string>());

    server.Stop();
    for (const auto& entry : fs::recursive_directory_iterator(server.DataDir()))
        fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0755) : fs::perms(0644));
    fs::permissions(server.DataDir(), fs::perms(0755));
    server.Start();
    EXPECT_EQ(OpenToOthers(server.DataDir()), std::vector<std::string>());
}
