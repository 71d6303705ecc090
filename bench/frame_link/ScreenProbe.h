#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct _XDisplay;

namespace framelink {

// The whole of an X display's screen, as RGB32; null when it cannot be read.
QImage GrabDisplay(const std::string& display);
// Peak signal-to-noise ratio of `shown` against `truth` over their R, G and
// B values, `excluded` left out; NAN when their sizes differ, infinity when
// they are equal.
double Psnr(const QImage& truth, const QImage& shown, const QRect& excluded);

// The technician's screen when a viewer other than ours shows the remote
// desktop there: finds the viewer's window that shows it (the innermost
// window of the remote screen's size), then a thread logs each new stamp
// that window shows and when, woken by the X server's damage events on the
// root window, reading the stamp's row only.
class ViewerProbe {
public:
    using Shown = std::vector<std::pair<std::int64_t, std::int64_t>>;  // stamp, CLOCK_MONOTONIC ns

    // Waits up to 20 s for the window.
    static std::unique_ptr<ViewerProbe> Open(const std::string& display, QSize remote, std::string* problem);
    ~ViewerProbe();
    ViewerProbe(const ViewerProbe&) = delete;
    ViewerProbe& operator=(const ViewerProbe&) = delete;

    size_t ShownSoFar() const { return count_.load(); }
    // Ends the thread; every new stamp it read, in order.
    Shown Finish();
    // The window's contents now; after Finish.
    QImage Grab();

private:
    ViewerProbe() = default;
    void Watch();
    std::int64_t ReadStamp();

    ::_XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long damage_ = 0;
    int damageEvent_ = 0;
    QSize size_;
    int stop_ = -1;  // eventfd
    Shown shown_;
    std::atomic<size_t> count_{0};
    std::thread thread_;
};

}  // namespace framelink
