#pragma once

#include <optional>

// Maps a point of a view that shows the remote desktop, fitted and centred,
// back to the remote desktop: the inverse of the frame display's fit rule.

namespace input {

struct RemoteGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct RemotePoint {
    int x = 0;
    int y = 0;
};

// Nothing when a size is not positive, the point lies in a band outside the
// drawn picture, or the remote coordinate would not fit in 32 bits. The
// picture's edges count as inside, so its far edge maps one past the last
// remote pixel.
std::optional<RemotePoint> MapearPontoRemoto(int viewX, int viewY, int viewWidth, int viewHeight,
                                             const RemoteGeometry& remote);

// The same, with a point in a band first moved to the nearest edge of the
// picture: for a release that must reach the remote machine wherever it is.
std::optional<RemotePoint> NearestRemotePoint(int viewX, int viewY, int viewWidth, int viewHeight,
                                              const RemoteGeometry& remote);

}  // namespace input
