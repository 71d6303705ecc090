#include "core/imaging/TempFolder.h"
#include "core/imaging/modScreen.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using imaging::CursorImage;
using imaging::Frame;
using imaging::ScreenRect;

namespace {

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

// A 3 × 2 pointer, opaque white, with its hot spot at (2, 1).
CursorImage WhiteBlock(int x, int y)
{
    CursorImage cursor;
    cursor.x = x, cursor.y = y, cursor.hotX = 2, cursor.hotY = 1, cursor.width = 3, cursor.height = 2;
    cursor.argb.assign(6, 0xffffffffu);
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

constexpr QRgb kGrey = 0x404040, kWhite = 0xffffff, kHalf = 0xa0a0a0;  // half white over grey

class CaptureJpeg : public ::testing::Test {
protected:
    QTemporaryDir base;
    testing_support::ScopedEnv temp{"TEMP", QFile::encodeName(base.path())};
    imaging::TempFolder folder;
    SyntheticScreen source;
    modScreen screen{source};

    QString error;

    void SetUp() override { ASSERT_TRUE(folder.Prepare(nullptr)); }
};

}  // namespace

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

TEST_F(CaptureJpeg, DrawsThePointerWithItsHotSpotOnThePointerPosition)
{
    source.screen = {-100, -50, 400, 200};
    source.cursor = WhiteBlock(100, 50);  // the middle of the screen
    const Frame* frame = screen.CaptureScreenPicture(200, 100, &error);
    ASSERT_NE(frame, nullptr) << error.toStdString();
    ASSERT_EQ(frame->width(), 200);
    // The pointer lands on (100, 50) of the half-size frame; the block spans
    // x 98..100 and y 49..50, unscaled.
    EXPECT_EQ(PixelsAt(*frame, {{100, 50}, {98, 49}, {101, 50}, {97, 49}, {100, 51}}),
              (std::vector<QRgb>{kWhite, kWhite, kGrey, kGrey, kGrey}));
}

TEST_F(CaptureJpeg, BlendsByAlphaAndClipsThePointerAtTheEdges)
{
    source.cursor = WhiteBlock(0, 0);
    source.cursor.argb = {0x80808080u, 0x00000000u, 0xffff0000u, 0xff0000ffu, 0xff0000ffu, 0xff0000ffu};
    const Frame* frame = screen.CaptureScreenPicture(0, 0, nullptr);
    ASSERT_NE(frame, nullptr);
    // Only the image's bottom-right pixel is inside, at (0, 0).
    EXPECT_EQ(PixelsAt(*frame, {{0, 0}, {1, 0}}), (std::vector<QRgb>{0x0000ff, kGrey}));

    source.cursor.x = 2, source.cursor.y = 1;  // the whole image at (0, 0)
    frame = screen.CaptureScreenPicture(0, 0, nullptr);
    EXPECT_EQ(PixelsAt(*frame, {{0, 0}, {1, 0}, {2, 0}}), (std::vector<QRgb>{kHalf, kGrey, 0xff0000}));

    source.cursor.x = 640 + 1, source.cursor.y = 480;  // the left column just inside
    frame = screen.CaptureScreenPicture(0, 0, nullptr);
    EXPECT_EQ(PixelsAt(*frame, {{639, 479}}), std::vector<QRgb>{kHalf});
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
