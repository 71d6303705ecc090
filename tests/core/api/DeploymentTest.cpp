// Where each deployment setting comes from: the environment, else the
// system-wide settings file, else the built-in value.
#include "core/api/Deployment.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using testing_support::ScopedEnv;

TEST(DeploymentSettings, ComeFromTheEnvironmentThenTheFileThenTheBuiltInValue)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("marquelin.conf");
    ScopedEnv config("MARQUELIN_CONFIG", path.toLocal8Bit());
    const QString builtIn = api::SiteOrigin();
    struct Case {
        std::optional<QByteArray> environment;  // MARQUELIN_SITE
        std::optional<QByteArray> file;
        QString (*setting)();
        const char* expected;  // nullptr: the built-in site
    } const cases[] = {
        {"https://env.example", "MARQUELIN_SITE=https://file.example\n", api::SiteOrigin, "https://env.example"},
        {"  ", "# ours\nMARQUELIN_SITE = https://file.example/ \n", api::SiteOrigin, "https://file.example"},
        {{}, "MARQUELIN_SITE=https://old.example\r\nMARQUELIN_SITE=\"https://new.example\"\r\n", api::SiteOrigin,
         "https://new.example"},  // quoted, and the last line wins
        {{}, "#MARQUELIN_SITE=https://file.example\n", api::SiteOrigin, nullptr},
        {{}, std::nullopt, api::SiteOrigin, nullptr},
        {{}, "MARQUELIN_RELAY=relay.example:4000\n", api::RelayHost, "relay.example"},
        {{}, "MARQUELIN_CA_FILE=/etc/marquelin/server-cert.pem\n", api::ExtraCaFile, "/etc/marquelin/server-cert.pem"},
        {{}, "MARQUELIN_MAKER_URL=https://maker.example/\n", api::MakerUrl, "https://maker.example/"},
    };
    for (const Case& c : cases) {
        QFile::remove(path);
        QFile file(path);
        if (c.file) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*c.file) == c.file->size());
        }
        file.close();
        std::optional<ScopedEnv> site;
        if (c.environment)
            site.emplace("MARQUELIN_SITE", *c.environment);
        EXPECT_EQ(c.setting(), c.expected ? QString(c.expected) : builtIn) << c.file.value_or("(no file)").data();
    }
    // Set but empty, MARQUELIN_CONFIG names no file: the last one is not read.
    ScopedEnv none("MARQUELIN_CONFIG", "");
    EXPECT_NE(api::MakerUrl(), "https://maker.example/");
}
