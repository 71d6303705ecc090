#pragma once

#include "core/imaging/Frame.h"
#include "core/imaging/RowSink.h"

#include <cstdint>
#include <vector>

namespace imaging {

// Area averaging in small integers, for the size pairs whose ratio has a
// small numerator and denominator (2560 → 1920 is 4:3): measured in units
// of gcd, a source pixel is a units wide and a destination pixel b, so every
// weight is a whole number of units and every destination channel is an
// exact integer sum divided once by b across × b down. Rows are summed down
// first, over whole rows in 16-bit lanes, then across on the few rows left.
// The weight tables are kept while the sizes stay the same. Not thread-safe.
class ExactBoxScaler {
public:
    // `wide`: the AVX2 loops, where the processor has them; the SSE2 ones
    // (plain loops elsewhere) give the same bytes.
    explicit ExactBoxScaler(bool wide = ProcessorHasAvx2()) : wide_(wide && ProcessorHasAvx2()) {}
    static bool ProcessorHasAvx2();

    // Whether the pair is small enough for exact 16-bit sums and a rounding
    // through single precision that cannot go wrong.
    static bool Suits(int sw, int sh, int dw, int dh);

    // Only for sizes Suits accepts; `dst` is already sized.
    void Scale(const uint8_t* src, int sw, int sh, int srcStride, Frame* dst);
    // The same rows of dw × dh, handed to `rows` one by one.
    void Scale(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, RowSink& rows);

    // One axis: for each destination pixel the first source pixel it covers
    // and `taps` whole-unit weights from there (zeros past its end).
    struct Axis {
        int taps = 0;
        int units = 0;  // b: what the weights of one destination pixel add up to
        std::vector<int> first;
        std::vector<int> count;
        std::vector<uint16_t> weights;  // taps per destination pixel
    };
    static Axis BuildAxis(int src, int dst, int tapMultiple);

private:
    void Prepare(int sw, int sh, int dw, int dh);
    void SumDown(const uint8_t* src, int srcStride, int y);
    // The source row the next destination row is the first to need, or nullptr.
    const uint8_t* Upcoming(const uint8_t* src, int srcStride, int y) const;
    void SumAcross(uint8_t* out) const;

    bool wide_;
    int sw_ = 0, sh_ = 0, dw_ = 0, dh_ = 0;
    Axis across_;
    Axis down_;
    float inverse_ = 0;  // 1 ÷ (b across × b down)
    int fourToThreeShift_ = 0;  // > 0: the 16-bit 4:3 loop across, dividing by this shift
    // Weights across laid out for pairwise multiply-add: for each destination
    // pixel and tap pair, w0 w1 repeated for the four channels.
    std::vector<int16_t> pairWeights_;
    std::vector<int16_t> column_;  // one destination row summed down, B G R X per source pixel, zero tail
};

}  // namespace imaging
