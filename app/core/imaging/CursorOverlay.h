#pragma once

#include <QPoint>
#include <cstdint>

namespace imaging {

class Frame;
struct CursorImage;

// Paints the pointer's image over the frame with its top-left corner at
// `at`, at its natural size, composited by its alpha; the parts outside the
// frame are dropped.
void BlendCursor(const CursorImage& cursor, QPoint at, Frame* frame);
// The same for row y alone of a picture `width` pixels wide, B G R X.
void BlendCursorRow(const CursorImage& cursor, QPoint at, int y, uint8_t* row, int width);

}  // namespace imaging
