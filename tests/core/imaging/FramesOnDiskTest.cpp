// Frames on disk: the private folder and the files in it, and the capture
// that writes them as JPEG.
#include "core/imaging/TempFolder.h"
#include "core/imaging/modScreen.h"
#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using imaging::CursorImage;
using imaging::Frame;
using imaging::ScreenRect;
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

// A synthetic screen (the real one is the X11 source, tested on Xvfb): a
// flat grey desktop of a settable geometry and pointer, or failing grabs.
class SyntheticScreen final : public imaging::ScreenSource {
public:
    ScreenRect screen{0, 0, 640, 480};
    CursorImage cursor;
    bool grabFails = false;
    int grabs = 0;

    bool Geometry(ScreenRect* into, QString*) override { return *into = screen, true; }
    bool Grab(QSize size, Frame* into, QString* error) override
    {
        ++grabs;
        if (grabFails) {
            *error = QStringLiteral("grab refused");
            return false;
        }
        into->Resize(size.width(), size.height());
        for (int y = 0; y < size.height(); ++y)
            std::memset(into->row(y), 0x40, static_cast<size_t>(into->stride()));
        return true;
    }
    bool ReadCursor(CursorImage* into, QString*) override { return *into = cursor, true; }
};

// A 3 × 2 pointer with its hot spot at (2, 1): half-transparent white, clear
// and red over a blue row.
CursorImage Pointer()
{
    CursorImage cursor;
    cursor.hotX = 2, cursor.hotY = 1, cursor.width = 3, cursor.height = 2;
    cursor.argb = {0x80808080u, 0x00000000u, 0xffff0000u, 0xff0000ffu, 0xff0000ffu, 0xff0000ffu};
    return cursor;
}

// Pixels of a frame as grey levels or colours, to compare in one go.
std::vector<QRgb> PixelsAt(const Frame& frame, std::initializer_list<QPoint> points)
{
    std::vector<QRgb> pixels;
    for (const QPoint& p : points)
        pixels.push_back(frame.View().pixel(p) & 0xffffff);
    return pixels;
}

constexpr QRgb kGrey = 0x404040, kHalf = 0xa0a0a0;  // half white over grey

class CaptureJpeg : public FramesOnDisk {
protected:
    TempFolder folder;
    SyntheticScreen source;
    modScreen screen{source};

    void SetUp() override { ASSERT_TRUE(folder.Prepare(nullptr)); }
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

TEST_F(CaptureJpeg, WritesAJpegThatAnIndependentDecoderReadsAtTheCapturedSize)
{
    source.screen = {-1280, 0, 1280, 1024};
    ASSERT_TRUE(screen.CaptureScreenJpeg(folder.FramePath(), 64, 1280, 720, &error)) << error.toStdString();

    QProcess djpeg;
    djpeg.start(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), folder.FramePath()});
    ASSERT_TRUE(djpeg.waitForFinished(-1));
    ASSERT_EQ(djpeg.exitCode(), 0) << djpeg.readAllStandardError().toStdString();
    EXPECT_TRUE(djpeg.readAllStandardOutput().startsWith("P6\n900 720\n255\n"));
    QByteArray file;
    ASSERT_TRUE(modScreen::ReadFileBytes(folder.FramePath(), &file, &error)) << error.toStdString();
    EXPECT_TRUE(screen.LastJpeg() == file);

    QImage picture;
    ASSERT_TRUE(screen.LoadPicture(folder.FramePath(), &picture, &error)) << error.toStdString();
    EXPECT_EQ(picture.size(), QSize(900, 720));
    EXPECT_NEAR(qGray(picture.pixel(450, 360)), 0x40, 2);
}

TEST_F(CaptureJpeg, LeavesNoFileAtAllWhenNoJpegIsProducedAndGrabsNothingWithoutAScreen)
{
    ASSERT_TRUE(screen.CaptureScreenJpeg(folder.FramePath(), 64, 1920, 1080, &error)) << error.toStdString();
    source.grabFails = true;
    EXPECT_FALSE(screen.CaptureScreenJpeg(folder.FramePath(), 64, 1920, 1080, &error));
    EXPECT_EQ(error, QStringLiteral("grab refused"));
    EXPECT_FALSE(QFile::exists(folder.FramePath()));
    EXPECT_TRUE(screen.LastJpeg().isEmpty());  // not the frame before

    source.grabFails = false;
    EXPECT_FALSE(screen.CaptureScreenJpeg(base.path() + "/missing/frame.jpg", 64, 1920, 1080, &error));
    EXPECT_TRUE(screen.LastJpeg().isEmpty());  // encoded, but never written

    source.screen = {0, 0, 0, 768};  // no usable screen: nothing grabbed
    const int grabs = source.grabs;
    EXPECT_EQ(screen.CaptureScreenPicture(0, 0, &error), nullptr);
    EXPECT_EQ(source.grabs, grabs);
}

// On a half-size frame of a screen left of and above the primary one: the
// pointer's position is scaled, its image and hot spot are not.
TEST_F(CaptureJpeg, DrawsThePointerByItsHotSpotBlendingByAlphaAndClippedAtTheEdges)
{
    source.screen = {-100, -50, 400, 200};
    source.cursor = Pointer();
    source.cursor.x = -100, source.cursor.y = -50;
    const Frame* frame = screen.CaptureScreenPicture(200, 100, &error);
    ASSERT_NE(frame, nullptr) << error.toStdString();
    ASSERT_EQ(frame->width(), 200);
    // Only the image's bottom-right pixel is inside, at (0, 0).
    EXPECT_EQ(PixelsAt(*frame, {{0, 0}, {1, 0}}), (std::vector<QRgb>{0x0000ff, kGrey}));

    source.cursor.x = -96, source.cursor.y = -48;  // (2, 1) in the frame: the whole image at (0, 0)
    frame = screen.CaptureScreenPicture(200, 100, nullptr);
    EXPECT_EQ(PixelsAt(*frame, {{0, 0}, {1, 0}, {2, 0}, {0, 1}}),
              (std::vector<QRgb>{kHalf, kGrey, 0xff0000, 0x0000ff}));

    source.cursor.x = 302, source.cursor.y = 150;  // (201, 100): the left column just inside
    frame = screen.CaptureScreenPicture(200, 100, nullptr);
    EXPECT_EQ(PixelsAt(*frame, {{199, 99}, {198, 99}}), (std::vector<QRgb>{kHalf, kGrey}));
}

TEST_F(CaptureJpeg, ReportsAReceivedFrameThatIsNoJpeg)
{
    QImage picture;
    EXPECT_FALSE(screen.DecodePicture("not a jpeg at all", &picture, &error));
    EXPECT_FALSE(error.isEmpty());

    ASSERT_TRUE(screen.CaptureScreenJpeg(folder.FramePath(), 50, 0, 0, &error));
    QByteArray jpeg;
    ASSERT_TRUE(modScreen::ReadFileBytes(folder.FramePath(), &jpeg, &error));
    EXPECT_FALSE(screen.DecodePicture(jpeg.left(jpeg.size() / 2), &picture, &error));
    ASSERT_TRUE(screen.DecodePicture(jpeg, &picture, &error)) << error.toStdString();
    EXPECT_EQ(picture.size(), QSize(640, 480));
}
