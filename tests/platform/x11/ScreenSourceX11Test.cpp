#include "core/imaging/ExactAreaAverage.h"
#include "core/imaging/modScreen.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/FullScreenWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>

using imaging::Frame;
using imaging::JpegEncoder;
using testing_support::ExactAreaAverage;
using testing_support::LargestDeviation;

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
        Hide();
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

    // Noise with every channel independent: the hardest case for a scaler.
    void PaintNoise(unsigned seed)
    {
        std::vector<uint32_t> pixels(static_cast<size_t>(width_) * height_);
        std::mt19937 random(seed);
        for (uint32_t& p : pixels)
            p = random() & 0xffffff;
        Put(pixels);
    }

    // Smooth ramps in every channel with a few flat panels: content whose
    // JPEG error stays small, so that a wrong colour shows.
    void PaintRamps()
    {
        std::vector<uint32_t> pixels(static_cast<size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const uint32_t r = x * 255u / width_, g = y * 255u / height_, b = (x + y) * 255u / (width_ + height_);
                const bool panel = (x / 320 + y / 240) % 3 == 0;
                pixels[static_cast<size_t>(y) * width_ + x] = panel ? 0x2b579au : (r << 16 | g << 8 | b);
            }
        Put(pixels);
    }

    void PaintFlat(uint8_t grey)
    {
        Put(std::vector<uint32_t>(static_cast<size_t>(width_) * height_, grey * 0x010101u));
    }

    // The screen as this client reads it: B, G, R, X per pixel.
    std::vector<uint8_t> ReadScreen()
    {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, width_, height_, AllPlanes, ZPixmap);
        std::vector<uint8_t> bytes(static_cast<size_t>(width_) * height_ * 4);
        for (int y = 0; y < height_; ++y)
            std::memcpy(bytes.data() + static_cast<size_t>(y) * width_ * 4,
                        image->data + static_cast<size_t>(y) * image->bytes_per_line, static_cast<size_t>(width_) * 4);
        XDestroyImage(image);
        return bytes;
    }

    void ShowTextCursor() { Use(XCreateFontCursor(display_, XC_xterm)); }

    // A cursor with no visible pixel, as programs hide the pointer.
    void Hide()
    {
        const Pixmap empty = XCreatePixmap(display_, window_, 1, 1, 1);
        XColor black{};
        Use(XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0));
        XFreePixmap(display_, empty);
    }

    void MovePointer(int x, int y)
    {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
        XSync(display_, False);
    }

    XFixesCursorImage* CursorNow() { return XFixesGetCursorImage(display_); }

private:
    void Put(std::vector<uint32_t> pixels)
    {
        const int screen = DefaultScreen(display_);
        XImage* image = XCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen),
                                     ZPixmap, 0, reinterpret_cast<char*>(pixels.data()), width_, height_, 32, 0);
        XPutImage(display_, window_, gc_, image, 0, 0, 0, 0, width_, height_);
        image->data = nullptr;
        XDestroyImage(image);
        XSync(display_, False);
    }

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

    double DeviationFromExactAverage(int maxWidth, int maxHeight, QSize expected)
    {
        const std::vector<uint8_t> shown = painter.ReadScreen();
        const Frame& frame = Capture(maxWidth, maxHeight);
        EXPECT_EQ(QSize(frame.width(), frame.height()), expected);
        if (frame.empty())
            return 255;
        return LargestDeviation(frame, ExactAreaAverage(shown.data(), painter.width(), painter.height(),
                                                        painter.width() * 4, frame.width(), frame.height()));
    }

    // A JPEG file decoded by an independent decoder: B G R X like a frame.
    static Frame DecodeWithDjpeg(const QString& path)
    {
        QProcess djpeg;
        djpeg.start(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), path});
        Frame picture;
        if (!djpeg.waitForFinished(-1) || djpeg.exitCode() != 0)
            return picture;
        const QByteArray ppm = djpeg.readAllStandardOutput();
        int width = 0, height = 0, end = 0;
        if (std::sscanf(ppm.constData(), "P6 %d %d 255%n", &width, &height, &end) != 2 || width <= 0 || height <= 0
            || ppm.size() != end + 1 + qsizetype{width} * height * 3)
            return picture;
        picture.Resize(width, height);
        const char* rgb = ppm.constData() + end + 1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, rgb += 3) {
                uint8_t* p = picture.row(y) + x * 4;
                p[0] = rgb[2], p[1] = rgb[1], p[2] = rgb[0], p[3] = 0xff;
            }
        return picture;
    }

    struct Difference {
        double mean[3] = {0, 0, 0};  // per channel, grey levels
        int largest = 0;
    };

    static Difference Compare(const Frame& a, const Frame& b)
    {
        Difference d;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                for (int c = 0; c < 3; ++c) {
                    const int delta = std::abs(a.row(y)[x * 4 + c] - b.row(y)[x * 4 + c]);
                    d.mean[c] += delta;
                    d.largest = std::max(d.largest, delta);
                }
        for (double& m : d.mean)
            m /= static_cast<double>(a.width()) * a.height();
        return d;
    }

    Painter painter;
    std::unique_ptr<platform::ScreenSourceX11> source;
    std::unique_ptr<modScreen> screen;
};

}  // namespace

TEST_F(ScreenSourceX11Test, CapturesAtFullSizeExactlyWhatAnotherClientReads)
{
    painter.PaintNoise(1);
    const std::vector<uint8_t> shown = painter.ReadScreen();
    for (int round = 0; round < 2; ++round) {  // the second through the kept segment
        const Frame& frame = Capture(0, 0);
        ASSERT_EQ(QSize(frame.width(), frame.height()), QSize(painter.width(), painter.height()));
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                ASSERT_EQ(std::memcmp(frame.row(y) + x * 4, shown.data() + (static_cast<size_t>(y) * frame.width() + x) * 4, 3), 0)
                    << "pixel " << x << "," << y;
    }
    EXPECT_TRUE(source->SharedMemory());
    // The root window is the virtual screen.
    EXPECT_EQ(QRect(screen->ScreenLeft(), screen->ScreenTop(), screen->ScreenWidth(), screen->ScreenHeight()),
              QRect(0, 0, painter.width(), painter.height()));
}

// Half a level from rounding the exact mean, a few thousandths more from the
// fixed-point weights.
constexpr double kHalfLevel = 0.5 + 1.0 / 128;

TEST_F(ScreenSourceX11Test, ShrinksWithinHalfALevelOfTheExactAreaAverage)
{
    ASSERT_EQ(QSize(painter.width(), painter.height()), QSize(2560, 1440)) << "the ratios below assume this screen";
    painter.PaintNoise(2);
    EXPECT_LE(DeviationFromExactAverage(1920, 1080, {1920, 1080}), kHalfLevel);  // 4:3
    EXPECT_LE(DeviationFromExactAverage(1920, 960, {1707, 960}), kHalfLevel);    // 3:2
    EXPECT_LE(DeviationFromExactAverage(1280, 720, {1280, 720}), kHalfLevel);    // 2:1
    EXPECT_LE(DeviationFromExactAverage(1, 1, {1, 1}), kHalfLevel);
}

TEST_F(ScreenSourceX11Test, DrawsThePointerWithItsHotSpotWhereThePointerIsAndNothingWhenItIsHidden)
{
    painter.PaintFlat(kGrey);
    painter.ShowTextCursor();
    painter.MovePointer(1001, 601);
    XFixesCursorImage* cursor = painter.CursorNow();
    ASSERT_NE(cursor, nullptr);
    ASSERT_GT(cursor->xhot + cursor->yhot, 0) << "the I-beam's hot spot is not its corner";

    struct Case {
        int maxWidth, maxHeight;
        QPoint pointer;  // where the pointer is in the frame
    };
    for (const Case& c : {Case{0, 0, {1001, 601}}, Case{1280, 720, {500, 300}}}) {
        const Frame& frame = Capture(c.maxWidth, c.maxHeight);
        ASSERT_FALSE(frame.empty());
        const QImage view = frame.View();
        int opaque = 0;
        for (int j = 0; j < static_cast<int>(cursor->height); ++j)
            for (int i = 0; i < static_cast<int>(cursor->width); ++i) {
                const auto argb = static_cast<uint32_t>(cursor->pixels[j * cursor->width + i]);
                const QPoint at = c.pointer + QPoint(i - cursor->xhot, j - cursor->yhot);
                if (argb >> 24 == 0xff) {
                    ++opaque;
                    EXPECT_EQ(view.pixel(at) & 0xffffff, argb & 0xffffff) << "image pixel " << i << "," << j;
                } else if (argb >> 24 == 0) {
                    EXPECT_EQ(qGray(view.pixel(at)), kGrey) << "image pixel " << i << "," << j;
                }
            }
        EXPECT_GT(opaque, 0);
    }
    XFree(cursor);

    // A hidden pointer leaves the frame alone.
    painter.Hide();
    const Frame& frame = Capture(0, 0);
    ASSERT_FALSE(frame.empty());
    for (int y = 580; y < 620; ++y)
        for (int x = 980; x < 1020; ++x)
            ASSERT_EQ(qGray(frame.View().pixel(x, y)), kGrey) << x << "," << y;
}

// The sender's JPEG is made from planes filled row by row, not from the RGB
// frame: decoded by djpeg it must show the frame CaptureScreenPicture gives
// (pointer included) within JPEG's own error, and nearly the same picture as
// the frame encoded the plain way.
TEST_F(ScreenSourceX11Test, SendsTheJpegOfThePictureItCaptures)
{
    painter.PaintRamps();
    painter.ShowTextCursor();
    painter.MovePointer(1001, 601);
    QTemporaryDir folder;
    const QString sent = folder.path() + "/marquelin_frame.jpg";
    const QString plain = folder.path() + "/plain.jpg";

    const Frame rgb = Capture(1920, 1080);
    ASSERT_EQ(QSize(rgb.width(), rgb.height()), QSize(1920, 1080));
    QString error;
    ASSERT_TRUE(screen->CaptureScreenJpeg(sent, 64, 1920, 1080, &error)) << error.toStdString();
    JpegEncoder encoder;
    ASSERT_TRUE(encoder.Encode(rgb, 64, &error) && modScreen::WriteFileBytes(plain, encoder.bytes(), &error))
        << error.toStdString();

    const Frame decoded = DecodeWithDjpeg(sent);
    ASSERT_EQ(QSize(decoded.width(), decoded.height()), QSize(1920, 1080));
    const Frame plainDecoded = DecodeWithDjpeg(plain);
    ASSERT_EQ(QSize(plainDecoded.width(), plainDecoded.height()), QSize(1920, 1080));

    // From the picture: JPEG's error, and no more than the plain way's.
    const Difference fromPicture = Compare(decoded, rgb);
    const Difference plainFromPicture = Compare(plainDecoded, rgb);
    for (int c = 0; c < 3; ++c) {
        EXPECT_LT(fromPicture.mean[c], 1.5) << "channel " << c;
        EXPECT_LE(fromPicture.mean[c], plainFromPicture.mean[c] + 0.1) << "channel " << c;
    }
    EXPECT_LE(fromPicture.largest, plainFromPicture.largest + 8);

    // From the plain JPEG: the rounding of the two colour conversions apart,
    // where a quantiser step may flip; a missing pointer would differ by far more.
    const Difference fromPlain = Compare(decoded, plainDecoded);
    for (int c = 0; c < 3; ++c)
        EXPECT_LT(fromPlain.mean[c], 0.5) << "channel " << c;
    EXPECT_LE(fromPlain.largest, 32);
}
