#pragma once

#include "core/imaging/ScreenSource.h"

#include <QImage>
#include <cstdint>

struct _XDisplay;

namespace framelink {

// A number painted on the screen as a row of large black and white blocks
// at its top-left corner, framed by two fixed blocks: it survives scaling
// down to 1280 pixels across and JPEG at the lowest quality, so both sides
// can tell which change of the screen a frame shows.
struct Stamp {
    static constexpr int kBits = 24;
    static constexpr int kBlock = 40;
    static constexpr int kLeft = 8;
    static constexpr int kTop = 8;

    // From B G R X row `y` of a picture `width` × `height` made of a screen
    // `screenWidth` × `screenHeight`; -1 when the row does not hold the
    // blocks' middle or they do not read.
    static int RowToRead(int height, int screenHeight);
    static std::int64_t Read(const std::uint8_t* bgrx, int width, int screenWidth);
    static std::int64_t Read(const QImage& picture, int screenWidth, int screenHeight);
};

// The supported computer's screen: a desktop of text pages and panels
// painted over the whole of $DISPLAY, whose stamp counts up at each
// Change(); a clock in the task bar that shows hours and minutes. Xlib, on
// a connection of its own.
class ChangingDesktop {
public:
    enum class Motion {
        PageScroll,  // the whole page scrolls by one line
        // Only a region of 640 x 360 in the page changes: text lines beside
        // a photo-like picture that slides along.
        Region,
    };
    static constexpr int kRegionLeft = 480;
    static constexpr int kRegionTop = 220;
    static constexpr int kRegionWidth = 640;
    static constexpr int kRegionHeight = 360;

    explicit ChangingDesktop(Motion motion = Motion::PageScroll);
    ~ChangingDesktop();
    ChangingDesktop(const ChangingDesktop&) = delete;
    ChangingDesktop& operator=(const ChangingDesktop&) = delete;

    bool Ready() const { return display_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The page or the region changed and the stamp counted up; returns the new stamp.
    std::int64_t Change();
    // Repaints the clock when the minute turned.
    void Clock();

private:
    void Page();
    void Region();
    void PaintStamp();

    Motion motion_;
    ::_XDisplay* display_ = nullptr;
    void* photo_ = nullptr;  // XImage twice the picture's width, slid across
    unsigned long window_ = 0;
    void* gc_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::int64_t stamp_ = 1;
    int minute_ = -1;
};

// The screen source of the supported side, reading the stamp of every
// picture it grabs as its rows go by.
class StampedSource final : public imaging::ScreenSource {
public:
    explicit StampedSource(imaging::ScreenSource& inner) : inner_(inner) {}

    bool Geometry(imaging::ScreenRect* screen, QString* error) override { return inner_.Geometry(screen, error); }
    bool Grab(QSize size, imaging::Frame* into, QString* error) override { return inner_.Grab(size, into, error); }
    bool GrabRows(QSize size, imaging::Frame* scratch, imaging::RowSink& rows, QString* error) override;
    bool ReadCursor(imaging::CursorImage* into, QString* error) override { return inner_.ReadCursor(into, error); }

    std::int64_t LastStamp() const { return stamp_; }
    std::int64_t LastGrabNs() const { return grabNs_; }
    std::uint64_t Grabs() const { return grabs_; }

private:
    imaging::ScreenSource& inner_;
    std::int64_t stamp_ = -1;
    std::int64_t grabNs_ = 0;
    std::uint64_t grabs_ = 0;
};

}  // namespace framelink
