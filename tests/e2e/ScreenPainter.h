#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace e2e {

// A small X client on the supported computer's display: one window over the
// whole screen, painted in large flat colour blocks, that records the button
// presses and key presses reaching it. What the technician's viewer shows and
// where its input lands are checked against it.
class ScreenPainter {
public:
    struct Press {
        int x = 0, y = 0;  // root coordinates
        unsigned button = 0;
    };

    ScreenPainter(const std::string& display, int width, int height);
    ~ScreenPainter();
    ScreenPainter(const ScreenPainter&) = delete;
    ScreenPainter& operator=(const ScreenPainter&) = delete;

    bool Ready() const { return display_ != nullptr && window_ != 0; }
    QSize Size() const { return {width_, height_}; }
    // The block colour at a screen point, or nothing within `margin` of a block edge.
    std::optional<QColor> ColourAt(double x, double y, double margin) const;

    // Every block takes the next one's colour: a new picture to see arrive.
    void RotateColours();
    // On top of every other window, with the keyboard focus.
    void RaiseAndFocus();
    // Reads the events that arrived.
    void Pump();
    const std::vector<Press>& Presses() const { return presses_; }
    const std::vector<unsigned long>& KeySyms() const { return keysyms_; }

private:
    QRect Block(int index) const;
    QColor Colour(int index) const;
    void PaintBlocks();

    int width_, height_;
    int rotation_ = 0;
    _XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long pixmap_ = 0;
    std::vector<Press> presses_;
    std::vector<unsigned long> keysyms_;
};

// Whether a view (`grab`, with the remote picture drawn into `picture`) shows
// the painted screen: inside the picture each block's colour within JPEG
// tolerance, away from block edges; outside it the black bands. A few wrong
// pixels (the pointer drawn into the frame) are allowed. `detail` tells the
// first differences.
bool ShowsScreen(const QImage& grab, const QRect& picture, const ScreenPainter& painter, std::string* detail);

}  // namespace e2e
