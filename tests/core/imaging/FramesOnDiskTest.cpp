#include "core/imaging/TempFolder.h"
#include "core/imaging/modScreen.h"
#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using imaging::TempFolder;
using testing_support::ScopedEnv;

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

class FramesOnDisk : public ::testing::Test {
protected:
    QTemporaryDir base;
    ScopedEnv temp{"TEMP", QFile::encodeName(base.path())};

    QString Prepared()
    {
        TempFolder folder;
        QString error;
        EXPECT_TRUE(folder.Prepare(&error)) << error.toStdString();
        return folder.path();
    }
};

}  // namespace

TEST_F(FramesOnDisk, KeepsAPrivateFolderUnderTemp)
{
    TempFolder folder;
    QString error;
    ASSERT_TRUE(folder.Prepare(&error)) << error.toStdString();
    EXPECT_EQ(folder.path(), base.path() + QStringLiteral("/marquelin-%1").arg(geteuid()));
    EXPECT_EQ(ModeOf(folder.path()), 0700u);

    // A second run finds it, and tightens a folder that others could enter.
    chmod(QFile::encodeName(folder.path()).constData(), 0755);
    ASSERT_TRUE(folder.Prepare(&error)) << error.toStdString();
    EXPECT_EQ(ModeOf(folder.path()), 0700u);
}

TEST_F(FramesOnDisk, FallsBackToTheRuntimeFolderWithoutTemp)
{
    ScopedEnv noTemp("TEMP", QByteArray());
    ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(base.path() + "/run"));
    QDir().mkpath(base.path() + "/run");
    EXPECT_EQ(Prepared(), base.path() + QStringLiteral("/run/marquelin-%1").arg(geteuid()));
}

TEST_F(FramesOnDisk, WritesExactlyTheNewBytesPrivately)
{
    const QString path = Prepared() + "/marquelin_remote.jpg";
    QString error;
    ASSERT_TRUE(modScreen::WriteFileBytes(path, QByteArray(5000, 'x'), &error)) << error.toStdString();
    ASSERT_TRUE(modScreen::WriteFileBytes(path, "short", &error)) << error.toStdString();
    EXPECT_EQ(Contents(path), QByteArray("short"));
    EXPECT_EQ(ModeOf(path), 0600u);

    QByteArray bytes("stale");
    ASSERT_TRUE(modScreen::ReadFileBytes(path, &bytes, &error)) << error.toStdString();
    EXPECT_EQ(bytes, QByteArray("short"));
}

TEST_F(FramesOnDisk, NeverFollowsALink)
{
    const QString folder = Prepared();
    const QString victim = base.path() + "/victim";
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, folder + "/marquelin_frame.jpg"));
    QString error;
    ASSERT_TRUE(modScreen::WriteFileBytes(folder + "/marquelin_frame.jpg", "frame", &error)) << error.toStdString();
    EXPECT_EQ(Contents(victim), QByteArray());
    EXPECT_FALSE(QFileInfo(folder + "/marquelin_frame.jpg").isSymLink());

    QByteArray bytes;
    ASSERT_TRUE(QFile::link(victim, folder + "/marquelin_remote.jpg"));
    EXPECT_FALSE(modScreen::ReadFileBytes(folder + "/marquelin_remote.jpg", &bytes, &error));

    // Nor a folder that is a link.
    ASSERT_TRUE(QDir(folder).removeRecursively() && QDir().mkpath(base.path() + "/elsewhere"));
    ASSERT_TRUE(QFile::link(base.path() + "/elsewhere", folder));
    TempFolder again;
    EXPECT_FALSE(again.Prepare(&error));
    EXPECT_TRUE(error.contains("not a folder")) << error.toStdString();
}

TEST_F(FramesOnDisk, ReportsEmptyMissingAndUnwritableFiles)
{
    const QString folder = Prepared();
    QByteArray bytes;
    QString error;
    QFile(folder + "/empty").open(QIODevice::WriteOnly);
    EXPECT_FALSE(modScreen::ReadFileBytes(folder + "/empty", &bytes, &error));
    EXPECT_TRUE(error.contains("empty")) << error.toStdString();
    EXPECT_FALSE(modScreen::ReadFileBytes(folder + "/missing", &bytes, &error));
    EXPECT_FALSE(modScreen::WriteFileBytes(folder + "/no/such/folder/file", "x", &error));
    EXPECT_FALSE(error.isEmpty());
}
