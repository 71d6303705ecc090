#include "PictureCheck.h"

#include "ScreenPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace e2e {
namespace {

constexpr int kStep = 3;               // view pixels between samples
constexpr int kTolerance = 40;         // per channel, JPEG on flat colour
constexpr double kWrongShare = 0.01;   // the pointer's few pixels
constexpr int kBandEdge = 2;           // view pixels left alone around the picture
constexpr double kEdgeScreenPx = 12;   // JPEG blocks and scaling blur a block's edge

int Distance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

std::optional<QColor> Expected(int x, int y, const QRect& picture, QSize screen, const ScreenPainter& painter)
{
    const QRect band = picture.adjusted(-kBandEdge, -kBandEdge, kBandEdge, kBandEdge);
    if (!band.contains(x, y))
        return QColor(Qt::black);
    if (!picture.contains(x, y))
        return std::nullopt;
    const double scale = static_cast<double>(picture.width()) / screen.width();
    const double sx = (x - picture.x() + 0.5) / scale, sy = (y - picture.y() + 0.5) / scale;
    return painter.ColourAt(sx, sy, std::max(kEdgeScreenPx, 3 / scale));
}

}  // namespace

PictureCheck ComparePicture(const QImage& grab, const QRect& picture, QSize screen, const ScreenPainter& painter)
{
    PictureCheck check;
    std::ostringstream detail;
    for (int y = 0; y < grab.height(); y += kStep)
        for (int x = 0; x < grab.width(); x += kStep) {
            const std::optional<QColor> expected = Expected(x, y, picture, screen, painter);
            if (!expected)
                continue;
            ++check.compared;
            const QColor seen = grab.pixelColor(x, y);
            if (Distance(seen, *expected) <= kTolerance)
                continue;
            if (check.wrong++ < 5)
                detail << " (" << x << "," << y << ") " << seen.name().toStdString() << " not "
                       << expected->name().toStdString() << ";";
        }
    check.matches = check.compared > 0 && check.wrong <= check.compared * kWrongShare;
    check.detail = std::to_string(check.wrong) + " of " + std::to_string(check.compared) + " samples differ:" + detail.str();
    return check;
}

bool IsFittedAndCentred(const QRect& picture, QSize view, QSize screen)
{
    const double scale = std::min(static_cast<double>(view.width()) / screen.width(),
                                  static_cast<double>(view.height()) / screen.height());
    const double width = screen.width() * scale, height = screen.height() * scale;
    const auto near = [](double a, double b) { return std::abs(a - b) <= 1.5; };
    return near(picture.width(), width) && near(picture.height(), height)
        && near(picture.x(), (view.width() - width) / 2) && near(picture.y(), (view.height() - height) / 2);
}

}  // namespace e2e
