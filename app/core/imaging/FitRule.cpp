#include "core/imaging/FitRule.h"

namespace imaging {

FitLayout FitRemote(int tw, int th, int rw, int rh)
{
    FitLayout fit;
    const double sx = static_cast<double>(tw) / rw;
    const double sy = static_cast<double>(th) / rh;
    fit.scale = sx < sy ? sx : sy;
    fit.width = RoundHalfEven(rw * fit.scale);
    fit.height = RoundHalfEven(rh * fit.scale);
    fit.x = (tw - fit.width) / 2;
    fit.y = (th - fit.height) / 2;
    return fit;
}

}  // namespace imaging
