#pragma once

#include "core/common/Numbers.h"

// The rule that fits a remote desktop into a drawing surface: scaled to the
// smaller of the two ratios, rounded, centred, with bands on the spare sides.
// Frame display draws with it and the mouse mapping inverts it, so both must
// share this one piece of arithmetic.

namespace imaging {

struct FitLayout {
    double scale = 0;  // surface pixels per remote pixel
    int x = 0;         // offset of the drawn rectangle in the surface
    int y = 0;
    int width = 0;     // size of the drawn rectangle
    int height = 0;
};

// Layout of a rw × rh desktop in a tw × th surface. Callers check rw, rh
// (and tw, th where they need them) for being positive first.
FitLayout FitRemote(int tw, int th, int rw, int rh);

using common::RoundHalfEven;

}  // namespace imaging
