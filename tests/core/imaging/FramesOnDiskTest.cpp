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

class FramesOnDisk : public ::testing::Test {
protected:
    QTemporaryDir base;
    ScopedEnv temp{"TEMP", QFile::encodeName(base.path())};
    QString error;
    QByteArray bytes{"stale"};

    QString Prepared()
    {
        TempFolder folder;
        EXPECT_TRUE(folder.Prepare(&error)) << error.toStdString();
        return folder.path();
    }
    bool Read(const QString& path) { return modScreen::ReadFileBytes(path, &bytes, &error); }
    bool Write(const QString& path, const QByteArray& data) { return modScreen::WriteFileBytes(path, data, &error); }
};

}  // namespace

TEST_F(FramesOnDisk, KeepsAPrivateFolderUnderTempOrTheRuntimeFolder)
{
    const QString path = Prepared();
    EXPECT_EQ(path, base.path() + QStringLiteral("/marquelin-%1").arg(geteuid()));
    EXPECT_EQ(ModeOf(path), 0700u);
    // A second run finds it, and tightens a folder that others could enter.
    chmod(QFile::encodeName(path).constData(), 0755);
    EXPECT_EQ(Prepared(), path);
    EXPECT_EQ(ModeOf(path), 0700u);

    ScopedEnv noTemp("TEMP", QByteArray());
    ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(base.path() + "/run"));
    QDir().mkpath(base.path() + "/run");
    EXPECT_EQ(Prepared(), base.path() + QStringLiteral("/run/marquelin-%1").arg(geteuid()));
}

TEST_F(FramesOnDisk, WritesExactlyTheNewBytesPrivatelyAndReportsEmptyMissingAndUnwritableFiles)
{
    const QString folder = Prepared(), path = folder + "/marquelin_remote.jpg";
    ASSERT_TRUE(Write(path, QByteArray(5000, 'x'))) << error.toStdString();
    ASSERT_TRUE(Write(path, "short")) << error.toStdString();
    EXPECT_EQ(ModeOf(path), 0600u);
    ASSERT_TRUE(Read(path)) << error.toStdString();
    EXPECT_EQ(bytes, QByteArray("short"));

    QFile(folder + "/empty").open(QIODevice::WriteOnly);
    EXPECT_FALSE(Read(folder + "/empty"));
    EXPECT_TRUE(error.contains("empty")) << error.toStdString();
    EXPECT_FALSE(Read(folder + "/missing"));
    error.clear();
    EXPECT_FALSE(Write(folder + "/no/such/folder/file", "x"));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(FramesOnDisk, NeverFollowsALink)
{
    const QString folder = Prepared(), victim = base.path() + "/victim";
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, folder + "/marquelin_frame.jpg"));
    ASSERT_TRUE(Write(folder + "/marquelin_frame.jpg", "frame")) << error.toStdString();
    EXPECT_EQ(QFileInfo(victim).size(), 0);
    EXPECT_FALSE(QFileInfo(folder + "/marquelin_frame.jpg").isSymLink());
    ASSERT_TRUE(QFile::link(victim, folder + "/marquelin_remote.jpg"));
    EXPECT_FALSE(Read(folder + "/marquelin_remote.jpg"));

    // Nor a folder that is a link.
    ASSERT_TRUE(QDir(folder).removeRecursively() && QDir().mkpath(base.path() + "/elsewhere"));
    ASSERT_TRUE(QFile::link(base.path() + "/elsewhere", folder));
    TempFolder again;
    EXPECT_FALSE(again.Prepare(&error));
    EXPECT_TRUE(error.contains("not a folder")) << error.toStdString();
}
