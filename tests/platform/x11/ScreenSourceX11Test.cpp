#include "core/imaging/ExactAreaAverage.h"
#include "core/imaging/modScreen.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QImage>
#include <gtest/gtest.h>
#include <random>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

#include <X11/extensions/Xfixes.h>

using imaging::Frame;
using testing_support::ExactAreaAverage;
using testing_support::LargestDeviation;

namespace {

constexpr uint8_t kGrey = 0x80;

class ScreenSourceX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(painter.Ready()) << "no X display";
        painter.ShowPointer(false);
        QString error;
        source = platform::ScreenSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(source) << error.toStdString();
        screen = std::make_unique<modScreen>(*source);
    }

    const Frame& Capture(int maxWidth, int maxHeight)
    {
        QString error;
        const Frame* frame = screen->CaptureScreenPicture(maxWidth, maxHeight, &error);
        EXPECT_NE(frame, nullptr) << error.toStdString();
        static const Frame none;
        return frame ? *frame : none;
    }

    testing_support::XScreen painter;
    std::unique_ptr<platform::ScreenSourceX11> source;
    std::unique_ptr<modScreen> screen;
};

// Noise with every channel independent: any byte out of place shows.
uint32_t Noise(int, int)
{
    static std::mt19937 random(1);
    return random() & 0xffffff;
}

}  // namespace

TEST_F(ScreenSourceX11Test, CapturesAtFullSizeExactlyWhatIsShown)
{
    const QImage shown = painter.Paint(Noise);
    for (int round = 0; round < 2; ++round) {  // the second through the kept segment
        const QImage frame = Capture(0, 0).View();
        EXPECT_TRUE(frame == shown);  // RGB32: every pixel's colour, the unused byte aside
    }
    EXPECT_TRUE(source->SharedMemory());
    // The root window is the virtual screen.
    EXPECT_EQ(QRect(screen->ScreenLeft(), screen->ScreenTop(), screen->ScreenWidth(), screen->ScreenHeight()),
              QRect(0, 0, painter.width(), painter.height()));
}

// The scaler's own ratios and edges are tested in the core; here the root's
// pixels and stride reach it. Half a level from rounding the exact mean, a few
// thousandths more from the fixed-point weights.
TEST_F(ScreenSourceX11Test, ShrinksWithinHalfALevelOfTheExactAreaAverage)
{
    constexpr double kHalfLevel = 0.5 + 1.0 / 128;
    ASSERT_EQ(QSize(painter.width(), painter.height()), QSize(2560, 1440)) << "the ratio below assumes this screen";
    const QImage shown = painter.Paint(Noise);
    const Frame& frame = Capture(1920, 960);
    ASSERT_EQ(QSize(frame.width(), frame.height()), QSize(1707, 960));  // 3:2
    EXPECT_LE(LargestDeviation(frame, ExactAreaAverage(shown.constBits(), shown.width(), shown.height(),
                                                       shown.bytesPerLine(), frame.width(), frame.height())),
              kHalfLevel);
}

// Where the pointer lands in a scaled frame is the core's business; here, that
// XFixes' image and hot spot arrive whole. (A hidden pointer drawing nothing is
// shown by the exact full-size capture above: the painter hides it.)
TEST_F(ScreenSourceX11Test, DrawsThePointerWithItsHotSpotWhereThePointerIs)
{
    painter.Paint([](int, int) { return kGrey * 0x010101u; });
    painter.ShowPointer(true);
    painter.MovePointer(1001, 601);
    XFixesCursorImage* cursor = XFixesGetCursorImage(painter.display());
    ASSERT_NE(cursor, nullptr);
    ASSERT_GT(cursor->xhot + cursor->yhot, 0) << "the I-beam's hot spot is not its corner";
    const QImage view = Capture(0, 0).View();
    ASSERT_FALSE(view.isNull());
    int opaque = 0;
    for (int j = 0; j < static_cast<int>(cursor->height); ++j)
        for (int i = 0; i < static_cast<int>(cursor->width); ++i) {
            const auto argb = static_cast<uint32_t>(cursor->pixels[j * cursor->width + i]);
            const QPoint at = QPoint(1001 + i - cursor->xhot, 601 + j - cursor->yhot);
            if (argb >> 24 == 0xff) {
                ++opaque;
                EXPECT_EQ(view.pixel(at) & 0xffffff, argb & 0xffffff) << "image pixel " << i << "," << j;
            } else if (argb >> 24 == 0) {
                EXPECT_EQ(qGray(view.pixel(at)), kGrey) << "image pixel " << i << "," << j;
            }
        }
    EXPECT_GT(opaque, 0);
    XFree(cursor);
}
