// Where each deployment setting comes from: the environment, else the
// system-wide settings file, else the built-in value.
#include "core/api/Deployment.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using testing_support::ScopedEnv;

namespace {

struct Case {
    const char* what;
    std::optional<QByteArray> environment;  // MARQUELIN_SITE
    std::optional<QByteArray> file;         // the settings file's text
    const char* site;                       // SiteOrigin(); nullptr: the built-in one
};

const Case kCases[] = {
    {"the environment wins", "https://env.example", "MARQUELIN_SITE=https://file.example\n", "https://env.example"},
    {"the file", std::nullopt, "# ours\nMARQUELIN_SITE = https://file.example/ \n", "https://file.example"},
    {"a blank variable", "  ", "MARQUELIN_SITE=https://file.example\n", "https://file.example"},
    {"quoted, the last line winning", std::nullopt,
     "MARQUELIN_SITE=https://old.example\r\nMARQUELIN_SITE=\"https://new.example\"\r\n", "https://new.example"},
    {"a comment is no setting", std::nullopt, "#MARQUELIN_SITE=https://file.example\n", nullptr},
    {"no file", std::nullopt, std::nullopt, nullptr},
};

}  // namespace

TEST(DeploymentSettings, ComeFromTheEnvironmentThenTheFileThenTheBuiltInValue)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("marquelin.conf");
    ScopedEnv config("MARQUELIN_CONFIG", path.toLocal8Bit());
    const QString builtIn = api::SiteOrigin();
    for (const Case& c : kCases) {
        QFile::remove(path);
        if (c.file) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*c.file);
        }
        std::optional<ScopedEnv> site;
        if (c.environment)
            site.emplace("MARQUELIN_SITE", *c.environment);
        EXPECT_EQ(api::SiteOrigin(), c.site ? QString(c.site) : builtIn) << c.what;
    }
}

TEST(DeploymentSettings, TheFileCarriesEverySetting)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("marquelin.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MARQUELIN_RELAY=relay.example:4000\nMARQUELIN_CA_FILE=/etc/marquelin/server-cert.pem\n"
               "MARQUELIN_MAKER_URL=https://maker.example/\n");
    file.close();
    ScopedEnv config("MARQUELIN_CONFIG", file.fileName().toLocal8Bit());
    EXPECT_EQ(api::RelayHost(), "relay.example");
    EXPECT_EQ(api::RelayPort(), 4000);
    EXPECT_EQ(api::ExtraCaFile(), "/etc/marquelin/server-cert.pem");
    EXPECT_EQ(api::MakerUrl(), "https://maker.example/");

    ScopedEnv none("MARQUELIN_CONFIG", "");  // set but empty: no file at all
    EXPECT_NE(api::RelayHost(), "relay.example");
    EXPECT_EQ(api::ExtraCaFile(), "");
}
