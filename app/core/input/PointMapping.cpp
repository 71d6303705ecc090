#include "core/input/PointMapping.h"

#include "core/imaging/FitRule.h"

#include <limits>

namespace input {
namespace {

std::optional<int> RemoteCoordinate(int offsetInPicture, double scale, int origin)
{
    const double unscaled = offsetInPicture / scale;
    if (unscaled >= std::numeric_limits<int>::max())
        return std::nullopt;
    const qint64 value = static_cast<qint64>(imaging::RoundHalfEven(unscaled)) + origin;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

std::optional<RemotePoint> MapearPontoRemoto(int viewX, int viewY, int viewWidth, int viewHeight,
                                             const RemoteGeometry& remote)
{
    if (viewWidth <= 0 || viewHeight <= 0 || remote.width <= 0 || remote.height <= 0)
        return std::nullopt;
    const imaging::FitLayout fit = imaging::FitRemote(viewWidth, viewHeight, remote.width, remote.height);
    // 64-bit so that a far-off point cannot overflow the edge test.
    const qint64 dx = static_cast<qint64>(viewX) - fit.x;
    const qint64 dy = static_cast<qint64>(viewY) - fit.y;
    if (dx < 0 || dx > fit.width || dy < 0 || dy > fit.height)
        return std::nullopt;
    const auto x = RemoteCoordinate(static_cast<int>(dx), fit.scale, remote.left);
    const auto y = RemoteCoordinate(static_cast<int>(dy), fit.scale, remote.top);
    if (!x || !y)
        return std::nullopt;
    return RemotePoint{*x, *y};
}

}  // namespace input
