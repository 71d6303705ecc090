#include "core/imaging/AreaScaler.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

// Weights across are 16-bit fractions of a destination pixel, weights down
// 15-bit, so a row sum (255 × 256 per channel) times a row weight stays in
// 32 bits.
constexpr int kAcrossBits = 16;
constexpr int kDownBits = 15;
constexpr int kShrunkBits = 8;  // fraction bits kept in a row shrunk across
constexpr int kResultShift = kShrunkBits + kDownBits;

// Where the start of source pixel i falls on the destination axis, in
// fractions of a destination pixel. Rounding positions rather than weights
// makes the weights of every destination pixel add up to exactly one.
int64_t Boundary(int64_t i, int dst, int src, int bits)
{
    return (i * dst * (int64_t{1} << bits) + src / 2) / src;
}

// For each source pixel: the destination pixel its start falls in, the part
// of it inside that pixel and the part in the next one.
template <typename Visit>
void ShareAxis(int src, int dst, int bits, Visit visit)
{
    const int64_t one = int64_t{1} << bits;
    for (int i = 0; i < src; ++i) {
        const int64_t start = Boundary(i, dst, src, bits);
        const int64_t end = Boundary(i + 1, dst, src, bits);
        const int dest = static_cast<int>(start / one);
        const int64_t split = (dest + 1) * one;
        const int64_t here = std::min(end, split) - start;
        visit(i, dest, static_cast<uint32_t>(here), static_cast<uint32_t>(end - start - here));
    }
}

}  // namespace

void AreaScaler::Prepare(int sw, int sh, int dw, int dh)
{
    if (sw == sw_ && sh == sh_ && dw == dw_ && dh == dh_)
        return;
    sw_ = sw, sh_ = sh, dw_ = dw, dh_ = dh;

    columns_.assign(dw, Span{});
    columnWeights_.clear();
    std::vector<std::pair<int, uint32_t>> spill;  // the part of a pixel that belongs to the next column
    ShareAxis(sw, dw, kAcrossBits, [&](int i, int dest, uint32_t here, uint32_t next) {
        Span& span = columns_[dest];
        if (span.count == 0) {
            span.weights = static_cast<int>(columnWeights_.size());
            span.first = i;
            if (!spill.empty() && spill.back().first == i - 1 && dest > 0) {
                span.first = i - 1;
                columnWeights_.push_back(spill.back().second);
                ++span.count;
            }
        }
        columnWeights_.push_back(here);
        ++span.count;
        spill.clear();
        if (next)
            spill.emplace_back(i, next);
    });

    rows_.assign(sh, RowShare{});
    ShareAxis(sh, dh, kDownBits, [&](int i, int dest, uint32_t here, uint32_t next) {
        rows_[i] = RowShare{dest, here, next};
    });

    shrunk_.assign(static_cast<size_t>(dw) * 3, 0);
    current_.assign(static_cast<size_t>(dw) * 3, 0);
    following_.assign(static_cast<size_t>(dw) * 3, 0);
}

void AreaScaler::ShrinkRow(const uint8_t* src)
{
    const uint32_t* weights = columnWeights_.data();
    uint16_t* out = shrunk_.data();
    for (const Span& span : columns_) {
        const uint8_t* p = src + static_cast<size_t>(span.first) * 4;
        const uint32_t* w = weights + span.weights;
        uint32_t b = 0, g = 0, r = 0;
        for (int t = 0; t < span.count; ++t, p += 4) {
            b += w[t] * p[0];
            g += w[t] * p[1];
            r += w[t] * p[2];
        }
        constexpr int shift = kAcrossBits - kShrunkBits;
        constexpr uint32_t half = 1u << (shift - 1);
        out[0] = static_cast<uint16_t>((b + half) >> shift);
        out[1] = static_cast<uint16_t>((g + half) >> shift);
        out[2] = static_cast<uint16_t>((r + half) >> shift);
        out += 3;
    }
}

void AreaScaler::AddRow(uint32_t weight, std::vector<uint32_t>& into) const
{
    const uint16_t* in = shrunk_.data();
    uint32_t* sums = into.data();
    const size_t n = into.size();
    for (size_t i = 0; i < n; ++i)
        sums[i] += in[i] * weight;
}

void AreaScaler::EmitRow(const std::vector<uint32_t>& sums, uint8_t* out) const
{
    constexpr uint32_t half = 1u << (kResultShift - 1);
    const uint32_t* s = sums.data();
    for (int x = 0; x < dw_; ++x, s += 3, out += 4) {
        out[0] = static_cast<uint8_t>((s[0] + half) >> kResultShift);
        out[1] = static_cast<uint8_t>((s[1] + half) >> kResultShift);
        out[2] = static_cast<uint8_t>((s[2] + half) >> kResultShift);
        out[3] = 0xff;
    }
}

void AreaScaler::Scale(const uint8_t* src, int sw, int sh, int srcStride, Frame* dst)
{
    FrameRows rows(dst);
    Scale(src, sw, sh, srcStride, dst->width(), dst->height(), rows);
}

void AreaScaler::Scale(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, RowSink& rows)
{
    if (dw == sw && dh == sh) {
        for (int y = 0; y < sh; ++y) {
            std::memcpy(rows.Row(y), src + static_cast<size_t>(y) * srcStride, static_cast<size_t>(sw) * 4);
            rows.Done(y);
        }
        return;
    }
    if (ExactBoxScaler::Suits(sw, sh, dw, dh))
        return exact_.Scale(src, sw, sh, srcStride, dw, dh, rows);
    Prepare(sw, sh, dw, dh);

    std::fill(current_.begin(), current_.end(), 0u);
    std::fill(following_.begin(), following_.end(), 0u);
    int building = 0;
    auto finish = [&] {
        EmitRow(current_, rows.Row(building));
        rows.Done(building);
    };
    for (int y = 0; y < sh; ++y) {
        const RowShare& share = rows_[y];
        if (share.dest != building) {
            finish();
            current_.swap(following_);
            std::fill(following_.begin(), following_.end(), 0u);
            building = share.dest;
        }
        ShrinkRow(src + static_cast<size_t>(y) * srcStride);
        AddRow(share.here, current_);
        if (share.next)
            AddRow(share.next, following_);
    }
    finish();
}

}  // namespace imaging
