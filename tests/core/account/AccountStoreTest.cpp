#include "core/account/AccountStore.h"
#include "support/ScopedEnv.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>

using account::AccountStore;

namespace {

// Runs this test binary again as a separate program run against the user's
// own store under `configHome`, doing `action` ("print" or "remove"); the
// device id printed, if it has the form of one.
QString RunAgain(const QString& configHome, const char* action)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("MARQUELIN_STORE_PROBE", action);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=StoreProbe.*"});
    child.waitForFinished(-1);  // the test's own time limit catches a hang
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const auto match = QRegularExpression("UID=([0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12})\\s").match(out);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

// Not a test of its own: the body of the program runs that DeviceUid drives.
TEST(StoreProbe, Run)
{
    const QByteArray action = qgetenv("MARQUELIN_STORE_PROBE");
    if (action.isEmpty())
        GTEST_SKIP() << "only runs as a child of DeviceUid tests";
    AccountStore store;
    if (action == "remove")
        store.RemoveAccount();
    else
        std::cout << "UID=" << store.GetDeviceUid().toStdString() << std::endl;
}

// The token is a password: the file is the user's own, also when an earlier
// run left it and its folder open to others.
TEST(DeviceUid, PersistsAcrossRunsChangesAfterRemovalAndIsOnlyTheUsersOwn)
{
    namespace fs = std::filesystem;
    QTemporaryDir home;
    const fs::path folder = home.filePath("Marquelin").toStdString(), file = folder / "Marquelin.conf";
    auto modes = [&] { return std::pair(fs::status(folder).permissions(), fs::status(file).permissions()); };
    const QString first = RunAgain(home.path(), "print");
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(modes(), std::pair(fs::perms(0700), fs::perms(0600)));
    fs::permissions(folder, fs::perms(0755));
    fs::permissions(file, fs::perms(0644));
    EXPECT_EQ(RunAgain(home.path(), "print"), first);
    EXPECT_EQ(modes(), std::pair(fs::perms(0700), fs::perms(0600)));
    RunAgain(home.path(), "remove");
    const QString renewed = RunAgain(home.path(), "print");
    EXPECT_FALSE(renewed.isEmpty());
    EXPECT_NE(renewed, first);
}
