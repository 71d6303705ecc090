#include "core/input/PointMapping.h"

#include "core/imaging/FitRule.h"

#include <algorithm>
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

enum class Bands { Refuse, MoveToEdge };

std::optional<RemotePoint> MapPoint(int viewX, int viewY, int viewWidth, int viewHeight, const RemoteGeometry& remote,
                                    Bands bands)
{
    if (viewWidth <= 0 || viewHeight <= 0 || remote.width <= 0 || remote.height <= 0)
        return std::nullopt;
    const imaging::FitLayout fit = imaging::FitRemote(viewWidth, viewHeight, remote.width, remote.height);
    // 64-bit so that a far-off point cannot overflow the edge test.
    qint64 dx = static_cast<qint64>(viewX) - fit.x;
    qint64 dy = static_cast<qint64>(viewY) - fit.y;
    if (bands == Bands::MoveToEdge) {
        dx = std::clamp<qint64>(dx, 0, fit.width);
        dy = std::clamp<qint64>(dy, 0, fit.height);
    }
    if (dx < 0 || dx > fit.width || dy < 0 || dy > fit.height)
        return std::nullopt;
    const auto x = RemoteCoordinate(static_cast<int>(dx), fit.scale, remote.left);
    const auto y = RemoteCoordinate(static_cast<int>(dy), fit.scale, remote.top);
    if (!x || !y)
        return std::nullopt;
    return RemotePoint{*x, *y};
}

}  // namespace

std::optional<RemotePoint> MapearPontoRemoto(int viewX, int viewY, int viewWidth, int viewHeight,
                                             const RemoteGeometry& remote)
{
    return MapPoint(viewX, viewY, viewWidth, viewHeight, remote, Bands::Refuse);
}

std::optional<RemotePoint> NearestRemotePoint(int viewX, int viewY, int viewWidth, int viewHeight,
                                              const RemoteGeometry& remote)
{
    return MapPoint(viewX, viewY, viewWidth, viewHeight, remote, Bands::MoveToEdge);
}

}  // namespace input
