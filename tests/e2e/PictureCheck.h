#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <string>

namespace e2e {

class ScreenPainter;

struct PictureCheck {
    bool matches = false;
    long compared = 0;
    long wrong = 0;
    std::string detail;  // the first differences, for the failure message
};

// Compares what a view shows (`grab`, with the remote picture drawn into
// `picture`) with the painted screen of `screenSize`: inside the picture each
// block's colour within JPEG tolerance, away from block edges; outside it the
// black bands. A few wrong pixels (the pointer drawn into the frame) are allowed.
PictureCheck ComparePicture(const QImage& grab, const QRect& picture, QSize screenSize, const ScreenPainter& painter);

// The fit rule, independently: the largest centred rectangle of the screen's
// aspect inside the view, give or take a pixel of rounding.
bool IsFittedAndCentred(const QRect& picture, QSize view, QSize screenSize);

}  // namespace e2e
