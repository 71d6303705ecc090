#pragma once

#include <cstdint>

// What the test window paints: every pixel differs from its neighbours, so a
// wrong stride, offset or channel order shows.
inline std::uint32_t PatternPixel(int x, int y)
{
    return 0xff000000u | std::uint32_t((x * 5 + y) & 0xff) << 16 | std::uint32_t((y * 3) & 0xff) << 8
           | std::uint32_t((x ^ y) & 0xff);
}
