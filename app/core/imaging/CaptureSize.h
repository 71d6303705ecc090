#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

// The arithmetic of a capture, apart from any platform: how large the frame
// is, and where the pointer's image goes in it.

namespace imaging {

struct CursorImage;
struct ScreenRect;

// The frame size for a w × h screen and the given limits (either 0 or less:
// no limit): shrunk by the smaller ratio when it does not fit, never
// enlarged, rounded half to even, at least 1 × 1.
QSize CaptureSize(int w, int h, int maxWidth, int maxHeight);

// Where the top-left corner of the cursor's image goes in a frame of `frame`
// size: the pointer scaled into the frame, less the hot spot at the image's
// natural size, so that the drawn tip sits where clicks land. False when the
// arithmetic leaves 32 bits.
bool CursorDrawPoint(const ScreenRect& screen, QSize frame, const CursorImage& cursor, QPoint* at,
                     QString* error);

}  // namespace imaging
