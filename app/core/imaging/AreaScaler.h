#pragma once

#include "core/imaging/ExactBoxScaler.h"
#include "core/imaging/Frame.h"
#include "core/imaging/RowSink.h"

#include <cstdint>
#include <vector>

namespace imaging {

// Shrinks a BGRX picture by true area averaging: every destination pixel is
// the mean of the source area it covers, partial source pixels weighted by
// the part that falls inside. One pass over the source, no full-size
// intermediate; the weight tables and row buffers are kept while the sizes
// stay the same. Ratios of small whole numbers (the usual screen and frame
// sizes) go to the exact integer scaler; any other pair is weighed here in
// fixed point. Not thread-safe: one scaler per capture loop.
class AreaScaler {
public:
    // `src` is sw × sh with `srcStride` bytes per row; `dst` is already sized
    // and no larger than the source in either direction.
    void Scale(const uint8_t* src, int sw, int sh, int srcStride, Frame* dst);
    // The same rows of dw × dh, handed to `rows` one by one.
    void Scale(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, RowSink& rows);

private:
    // One destination pixel (or row) of an axis: the source run it covers and
    // where its weights start in the weight table.
    struct Span {
        int first = 0;
        int count = 0;
        int weights = 0;
    };
    // A source row: the destination row it mostly feeds, its weight there,
    // and the rest for the next row.
    struct RowShare {
        int dest = 0;
        uint32_t here = 0;
        uint32_t next = 0;
    };

    void Prepare(int sw, int sh, int dw, int dh);
    void ShrinkRow(const uint8_t* src);
    void AddRow(uint32_t weight, std::vector<uint32_t>& into) const;
    void EmitRow(const std::vector<uint32_t>& sums, uint8_t* out) const;

    int sw_ = 0, sh_ = 0, dw_ = 0, dh_ = 0;
    std::vector<Span> columns_;
    std::vector<uint32_t> columnWeights_;
    std::vector<RowShare> rows_;
    std::vector<uint16_t> shrunk_;  // one source row shrunk across, B G R per pixel, × 256
    std::vector<uint32_t> current_;  // sums of the destination row being built
    std::vector<uint32_t> following_;  // and of the row after it
    ExactBoxScaler exact_;
};

}  // namespace imaging
