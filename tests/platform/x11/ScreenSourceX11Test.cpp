#include "core/imaging/modScreen.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QImage>
#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/FullScreenWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>

using imaging::Frame;

namespace {

constexpr uint8_t kGrey = 0x80;

// A second X client that owns what the screen shows: one window over the
// whole screen, filled with known pixels, a pointer of its choosing, and
// reads of the screen that do not go through the source under test.
class Painter {
public:
    Painter() : display_(XOpenDisplay(nullptr))
    {
        if (!display_)
            return;
        window_ = testing_support::OpenFullScreenWindow(display_, &width_, &height_);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        // A cursor with no visible pixel, as programs hide the pointer.
        const Pixmap empty = XCreatePixmap(display_, window_, 1, 1, 1);
        XColor black{};
        Use(XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0));
        XFreePixmap(display_, empty);
    }
    ~Painter()
    {
        if (!display_)
            return;
        XFreeGC(display_, gc_);
        XCloseDisplay(display_);
    }

    bool Ready() const { return display_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Every pixel from `colour` (0xRRGGBB), row by row.
    void Paint(const std::function<uint32_t(int x, int y)>& colour)
    {
        std::vector<uint32_t> pixels(static_cast<size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                pixels[static_cast<size_t>(y) * width_ + x] = colour(x, y);
        const int screen = DefaultScreen(display_);
        XImage* image = XCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen),
                                     ZPixmap, 0, reinterpret_cast<char*>(pixels.data()), width_, height_, 32, 0);
        XPutImage(display_, window_, gc_, image, 0, 0, 0, 0, width_, height_);
        image->data = nullptr;
        XDestroyImage(image);
        XSync(display_, False);
    }

    // The screen as this client reads it, in a frame's pixel layout.
    QImage ReadScreen()
    {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, width_, height_, AllPlanes, ZPixmap);
        QImage shown(width_, height_, QImage::Format_RGB32);
        for (int y = 0; y < height_; ++y)
            std::memcpy(shown.scanLine(y), image->data + static_cast<size_t>(y) * image->bytes_per_line, width_ * 4);
        XDestroyImage(image);
        return shown;
    }

    void ShowTextCursor() { Use(XCreateFontCursor(display_, XC_xterm)); }

    void MovePointer(int x, int y)
    {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
        XSync(display_, False);
    }

    XFixesCursorImage* CursorNow() { return XFixesGetCursorImage(display_); }

private:
    void Use(Cursor cursor)
    {
        XDefineCursor(display_, window_, cursor);
        XFreeCursor(display_, cursor);
        XSync(display_, False);
    }

    Display* display_;
    Window window_ = 0;
    GC gc_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

class ScreenSourceX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(painter.Ready()) << "no X display";
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

    Painter painter;
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

TEST_F(ScreenSourceX11Test, CapturesAtFullSizeExactlyWhatAnotherClientReads)
{
    painter.Paint(Noise);
    const QImage shown = painter.ReadScreen();
    for (int round = 0; round < 2; ++round) {  // the second through the kept segment
        const QImage frame = Capture(0, 0).View();
        EXPECT_TRUE(frame == shown);  // RGB32: every pixel's colour, the unused byte aside
    }
    EXPECT_TRUE(source->SharedMemory());
    // The root window is the virtual screen.
    EXPECT_EQ(QRect(screen->ScreenLeft(), screen->ScreenTop(), screen->ScreenWidth(), screen->ScreenHeight()),
              QRect(0, 0, painter.width(), painter.height()));
}

// Where the pointer lands in a scaled frame is the core's business; here, that
// XFixes' image and hot spot arrive whole. (A hidden pointer drawing nothing is
// shown by the exact full-size capture above: the painter hides it.)
TEST_F(ScreenSourceX11Test, DrawsThePointerWithItsHotSpotWhereThePointerIs)
{
    painter.Paint([](int, int) { return kGrey * 0x010101u; });
    painter.ShowTextCursor();
    painter.MovePointer(1001, 601);
    XFixesCursorImage* cursor = painter.CursorNow();
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
