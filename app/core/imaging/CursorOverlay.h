#pragma once

#include <QPoint>

namespace imaging {

class Frame;
struct CursorImage;

// Paints the pointer's image over the frame with its top-left corner at
// `at`, at its natural size, composited by its alpha; the parts outside the
// frame are dropped.
void BlendCursor(const CursorImage& cursor, QPoint at, Frame* frame);

}  // namespace imaging
