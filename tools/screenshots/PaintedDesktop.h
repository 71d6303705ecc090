#pragma once

#include <QImage>

namespace screenshots {

// A desktop-like picture (wallpaper, a panel, two windows) standing in for
// the supported machine's screen in the viewer and the preview.
QImage PaintedDesktop(int width, int height);

}  // namespace screenshots
