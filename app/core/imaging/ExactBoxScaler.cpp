#include "core/imaging/ExactBoxScaler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

// SSE2 is all an x86-64 build may assume; AVX2 versions of both passes are
// compiled beside it and chosen at run time where the processor has them.
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__)
#define MARQUELIN_AVX2 1
#endif

namespace imaging {

namespace {

// 255 × b down must fit a signed 16-bit lane for the pairwise multiply-add,
// and a weight down (at most b − 1) a signed byte.
constexpr int kMaxUnitsDown = 128;
// A sum of at most 255 × D is exact in single precision, and the product by
// 1 ÷ D lands within 2⁻²³ × 255 of the mean, less than the 1 ÷ 2D that
// separates a mean from the nearest half: the rounding is the exact one.
constexpr int kMaxDivisor = 16384;
constexpr int kMaxTaps = 16;

struct Ratio {
    int a;  // units per source pixel
    int b;  // units per destination pixel
};

Ratio Reduce(int src, int dst)
{
    const int g = std::gcd(src, dst);
    return Ratio{dst / g, src / g};
}

// The most source pixels a destination pixel of b units can touch.
int MostTaps(Ratio r)
{
    return (r.b + r.a - 1) / r.a + 1;
}

template <int K>
[[gnu::always_inline]] inline void SumFixed(const uint8_t* const* rows, const uint16_t* weights,
                                            int16_t* __restrict out, size_t n)
{
    const uint8_t* r[K];
    uint16_t w[K];
    for (int k = 0; k < K; ++k)
        r[k] = rows[k], w[k] = weights[k];
    for (size_t i = 0; i < n; ++i) {
        uint16_t s = 0;
        for (int k = 0; k < K; ++k)
            s = static_cast<uint16_t>(s + w[k] * r[k][i]);
        out[i] = static_cast<int16_t>(s);
    }
}

[[gnu::always_inline]] inline void SumAny(const uint8_t* const* rows, const uint16_t* weights, int count,
                                          int16_t* __restrict out, size_t n)
{
    std::fill(out, out + n, int16_t{0});
    for (int k = 0; k < count; ++k) {
        const uint8_t* r = rows[k];
        const uint16_t w = weights[k];
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(out[i] + w * r[i]);
    }
}

// out[i] = Σ weights[k] × rows[k][i]: every channel of a run of source rows
// weighted into one row. Plain loops for the vectorizer (this file is built
// with -O3).
void SumRows(const uint8_t* const* rows, const uint16_t* weights, int count, int16_t* out, size_t n)
{
    switch (count) {
    case 1:
        return SumFixed<1>(rows, weights, out, n);
    case 2:
        return SumFixed<2>(rows, weights, out, n);
    case 3:
        return SumFixed<3>(rows, weights, out, n);
    default:
        return SumAny(rows, weights, count, out, n);
    }
}

// One destination row shrunk across from the row summed down.
struct AcrossRow {
    const int16_t* column;
    const int* first;
    const int16_t* weights;  // `pairs` × 8 per destination pixel
    int pairs;
    int width;
    float inverse;
};

#if defined(__SSE2__)
// Tap pairs known when compiled (the usual 2:1, 3:2, 4:3 need one), or 0 for
// the row's own count.
template <int Pairs>
inline int PairCount(const AcrossRow& row)
{
    return Pairs > 0 ? Pairs : row.pairs;
}

// One destination pixel from its tap pairs: each pair of neighbouring source
// pixels is interleaved channel by channel (B0 B1 G0 G1 ...) so one
// multiply-add weighs both; then the one division, rounded to nearest.
template <int Pairs>
inline __m128i PixelMean(const AcrossRow& row, int x, __m128 inverse)
{
    const int pairs = PairCount<Pairs>(row);
    const int16_t* v = row.column + static_cast<size_t>(row.first[x]) * 4;
    const int16_t* w = row.weights + static_cast<size_t>(x) * pairs * 8;
    __m128i sum = _mm_setzero_si128();
    for (int j = 0; j < pairs; ++j, v += 8, w += 8) {
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
        const __m128i byChannel = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(byChannel, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
    }
    return _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(sum), inverse));
}

// Four pixels at a time, then one by one.
template <int Pairs>
void AcrossSse2(const AcrossRow& row, uint8_t* out)
{
    const __m128 inverse = _mm_set1_ps(row.inverse);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xff000000u));
    int x = 0;
    for (; x + 4 <= row.width; x += 4) {
        const __m128i low = _mm_packs_epi32(PixelMean<Pairs>(row, x, inverse), PixelMean<Pairs>(row, x + 1, inverse));
        const __m128i high =
            _mm_packs_epi32(PixelMean<Pairs>(row, x + 2, inverse), PixelMean<Pairs>(row, x + 3, inverse));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<size_t>(x) * 4),
                         _mm_or_si128(_mm_packus_epi16(low, high), opaque));
    }
    for (; x < row.width; ++x) {
        const __m128i one = _mm_packs_epi32(PixelMean<Pairs>(row, x, inverse), _mm_setzero_si128());
        const auto pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_or_si128(_mm_packus_epi16(one, one), opaque)));
        std::memcpy(out + static_cast<size_t>(x) * 4, &pixel, 4);
    }
}
#endif

#if defined(MARQUELIN_AVX2)
// SumRows two rows at a time: their bytes interleaved, one multiply-add of
// unsigned pixels by signed byte weights (a source row is at most 127 units
// high) gives both products summed in 16 bits. The interleave works per
// half, so the halves are put back in order on the way out.
__attribute__((target("avx2"))) void SumRowsAvx2(const uint8_t* const* rows, const uint16_t* weights, int count,
                                                 int16_t* out, size_t n, const uint8_t* upcoming)
{
    const int pairs = (count + 1) / 2;
    const uint8_t* first[kMaxTaps / 2];
    const uint8_t* second[kMaxTaps / 2];
    __m256i pairWeights[kMaxTaps / 2];
    for (int j = 0; j < pairs; ++j) {
        const bool alone = 2 * j + 1 == count;  // paired with itself at weight 0
        first[j] = rows[2 * j];
        second[j] = alone ? rows[2 * j] : rows[2 * j + 1];
        const int w1 = alone ? 0 : weights[2 * j + 1];
        pairWeights[j] = _mm256_set1_epi16(static_cast<int16_t>(weights[2 * j] | (w1 << 8)));
    }
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
        // The screen image is fresh from the X server and mostly not in cache:
        // asking now for the row the next destination row needs first keeps
        // the loads of that row from waiting on memory (they were most of
        // this loop's time).
        if (upcoming && (i & 63) == 0)
            _mm_prefetch(reinterpret_cast<const char*>(upcoming + i), _MM_HINT_T0);
        for (int j = 0; j < pairs; ++j) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first[j] + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second[j] + i));
            low = _mm256_add_epi16(low, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), pairWeights[j]));
            high = _mm256_add_epi16(high, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), pairWeights[j]));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), _mm256_permute2x128_si256(low, high, 0x31));
    }
    for (; i < n; ++i) {
        int sum = 0;
        for (int k = 0; k < count; ++k)
            sum += weights[k] * rows[k][i];
        out[i] = static_cast<int16_t>(sum);
    }
    _mm256_zeroupper();
}

inline __attribute__((target("avx2"))) __m256i LoadTwo(const int16_t* low, const int16_t* high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// PixelMean for pixels x and x + 1, one in each half.
template <int Pairs>
inline __attribute__((target("avx2"))) __m256i TwoPixelMeans(const AcrossRow& row, int x, __m256 inverse)
{
    const int pairs = PairCount<Pairs>(row);
    const int16_t* v0 = row.column + static_cast<size_t>(row.first[x]) * 4;
    const int16_t* v1 = row.column + static_cast<size_t>(row.first[x + 1]) * 4;
    const int16_t* w = row.weights + static_cast<size_t>(x) * pairs * 8;
    __m256i sum = _mm256_setzero_si256();
    for (int j = 0; j < pairs; ++j, v0 += 8, v1 += 8, w += 8) {
        const __m256i two = LoadTwo(v0, v1);
        const __m256i byChannel = _mm256_unpacklo_epi16(two, _mm256_srli_si256(two, 8));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(byChannel, LoadTwo(w, w + pairs * 8)));
    }
    return _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(sum), inverse));
}

// Eight pixels at a time; the packs work per half, so pixels come out as
// x, x+2, x+4, x+6 | x+1, x+3, x+5, x+7 and one permutation restores them.
// The tables run seven pixels past the row, so the last block is whole too;
// staying in AVX2 to the end spares the processor a switch to legacy SSE
// with the upper halves of its registers in use, which costs more than the
// whole row.
template <int Pairs>
__attribute__((target("avx2"))) void AcrossAvx2(const AcrossRow& row, uint8_t* out)
{
    const __m256 inverse = _mm256_set1_ps(row.inverse);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int x = 0; x < row.width; x += 8) {
        const __m256i first = _mm256_packs_epi32(TwoPixelMeans<Pairs>(row, x, inverse),
                                                 TwoPixelMeans<Pairs>(row, x + 2, inverse));
        const __m256i second = _mm256_packs_epi32(TwoPixelMeans<Pairs>(row, x + 4, inverse),
                                                  TwoPixelMeans<Pairs>(row, x + 6, inverse));
        const __m256i pixels =
            _mm256_or_si256(_mm256_permutevar8x32_epi32(_mm256_packus_epi16(first, second), order), opaque);
        uint8_t* to = out + static_cast<size_t>(x) * 4;
        if (x + 8 <= row.width) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), pixels);
        } else {
            alignas(32) uint8_t last[32];
            _mm256_store_si256(reinterpret_cast<__m256i*>(last), pixels);
            std::memcpy(to, last, static_cast<size_t>(row.width - x) * 4);
        }
    }
    _mm256_zeroupper();
}

// The common 4:3 across (2560 → 1920) when the whole divisor is a power of
// two up to 256 (4:3 down gives 16): every group of four source pixels makes
// three destination pixels weighted 3 1, 2 2, 1 3, so two plain loads a
// source pixel apart line the taps up without any gathering, and the sums
// (at most 255 × 256) stay in 16-bit lanes. The shift rounds half to even,
// as the single-precision path does, so the bytes are the same.
struct FourToThree {
    __m256i firstWeights, secondWeights, bias, one;
    __m128i shift;
};

inline __attribute__((target("avx2"))) __m256i ThreeMeans(const int16_t* column, const FourToThree& k)
{
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(column));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(column + 4));
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(first, k.firstWeights),
                                         _mm256_mullo_epi16(second, k.secondWeights));
    const __m256i odd = _mm256_and_si256(_mm256_srl_epi16(sum, k.shift), k.one);
    return _mm256_srl_epi16(_mm256_add_epi16(_mm256_add_epi16(sum, k.bias), odd), k.shift);
}

// Six destination pixels a step from two groups; the packs leave them as
// 0 1 0' 1' | 2 - 2' -, and one permutation closes the gaps.
__attribute__((target("avx2"))) void AcrossFourToThreeAvx2(const int16_t* column, int width, int shift, uint8_t* out)
{
    const FourToThree k{_mm256_setr_epi16(3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 0, 0, 0, 0),
                        _mm256_setr_epi16(1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 0, 0, 0, 0),
                        _mm256_set1_epi16(static_cast<int16_t>((1 << (shift - 1)) - 1)), _mm256_set1_epi16(1),
                        _mm_cvtsi32_si128(shift)};
    const __m256i order = _mm256_setr_epi32(0, 1, 4, 2, 3, 6, 5, 7);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    for (int x = 0; x < width; x += 6, column += 32) {
        const __m256i packed = _mm256_packus_epi16(ThreeMeans(column, k), ThreeMeans(column + 16, k));
        const __m256i pixels = _mm256_or_si256(_mm256_permutevar8x32_epi32(packed, order), opaque);
        auto* to = reinterpret_cast<__m256i*>(out + static_cast<size_t>(x) * 4);
        if (x + 8 <= width) {
            _mm256_storeu_si256(to, pixels);  // the last two are written again by the next step
        } else {
            const int left = std::min(width - x, 6);
            const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
            _mm256_maskstore_epi32(reinterpret_cast<int*>(to), _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lanes),
                                   pixels);
        }
    }
    _mm256_zeroupper();
}
#endif

#if !defined(__SSE2__)
void AcrossPlain(const AcrossRow& row, uint8_t* out)
{
    for (int x = 0; x < row.width; ++x, out += 4) {
        const int16_t* v = row.column + static_cast<size_t>(row.first[x]) * 4;
        const int16_t* w = row.weights + static_cast<size_t>(x) * row.pairs * 8;
        for (int c = 0; c < 3; ++c) {
            int32_t sum = 0;
            for (int j = 0; j < row.pairs; ++j)
                sum += w[j * 8] * v[j * 8 + c] + w[j * 8 + 1] * v[j * 8 + 4 + c];
            out[c] = static_cast<uint8_t>(std::nearbyint(static_cast<float>(sum) * row.inverse));
        }
        out[3] = 0xff;
    }
}
#endif

// log2 of the divisor when the across ratio is 4:3 and the divisor a power
// of two that keeps the sums in 16 bits; else 0.
int FourToThreeShift(int sw, int dw, int divisor)
{
    if (int64_t{sw} * 3 != int64_t{dw} * 4 || divisor > 256 || (divisor & (divisor - 1)) != 0)
        return 0;
    return std::countr_zero(static_cast<unsigned>(divisor));
}

}  // namespace

bool ExactBoxScaler::ProcessorHasAvx2()
{
#if defined(MARQUELIN_AVX2)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

bool ExactBoxScaler::Suits(int sw, int sh, int dw, int dh)
{
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || dw > sw || dh > sh)
        return false;
    const Ratio across = Reduce(sw, dw);
    const Ratio down = Reduce(sh, dh);
    return down.b <= kMaxUnitsDown && across.b * down.b < kMaxDivisor && MostTaps(across) <= kMaxTaps
        && MostTaps(down) <= kMaxTaps;
}

ExactBoxScaler::Axis ExactBoxScaler::BuildAxis(int src, int dst, int tapMultiple)
{
    const Ratio r = Reduce(src, dst);
    Axis axis;
    axis.units = r.b;
    axis.first.resize(dst);
    axis.count.resize(dst);
    for (int d = 0; d < dst; ++d) {
        const int64_t start = int64_t{d} * r.b;
        axis.first[d] = static_cast<int>(start / r.a);
        axis.count[d] = static_cast<int>((start + r.b - 1) / r.a) - axis.first[d] + 1;
        axis.taps = std::max(axis.taps, axis.count[d]);
    }
    axis.taps = (axis.taps + tapMultiple - 1) / tapMultiple * tapMultiple;
    axis.weights.assign(static_cast<size_t>(dst) * axis.taps, 0);
    for (int d = 0; d < dst; ++d) {
        const int64_t start = int64_t{d} * r.b, end = start + r.b;
        for (int t = 0; t < axis.count[d]; ++t) {
            const int64_t pixel = axis.first[d] + t;
            const int64_t inside = std::min(end, (pixel + 1) * r.a) - std::max(start, pixel * r.a);
            axis.weights[static_cast<size_t>(d) * axis.taps + t] = static_cast<uint16_t>(inside);
        }
    }
    return axis;
}

void ExactBoxScaler::Prepare(int sw, int sh, int dw, int dh)
{
    if (sw == sw_ && sh == sh_ && dw == dw_ && dh == dh_)
        return;
    sw_ = sw, sh_ = sh, dw_ = dw, dh_ = dh;
    across_ = BuildAxis(sw, dw, 2);
    down_ = BuildAxis(sh, dh, 1);
    inverse_ = 1.0f / static_cast<float>(across_.units * down_.units);
    fourToThreeShift_ = FourToThreeShift(sw, dw, across_.units * down_.units);

    const int pairs = across_.taps / 2;
    // Seven more pixels at the end, zero weights, for the last block of eight.
    across_.first.resize(static_cast<size_t>(dw) + 7, across_.first.back());
    pairWeights_.assign(static_cast<size_t>(dw + 7) * pairs * 8, 0);
    int16_t* out = pairWeights_.data();
    for (int x = 0; x < dw; ++x)
        for (int j = 0; j < pairs; ++j)
            for (int c = 0; c < 4; ++c, out += 2) {
                const uint16_t* w = &across_.weights[static_cast<size_t>(x) * across_.taps + 2 * j];
                out[0] = static_cast<int16_t>(w[0]);
                out[1] = static_cast<int16_t>(w[1]);
            }
    // The taps of the last pixels may reach past the row, and the 4:3 loop's
    // last step by up to five pixels: zeros there.
    column_.assign(static_cast<size_t>(sw + std::max(across_.taps, 5)) * 4, 0);
}

const uint8_t* ExactBoxScaler::Upcoming(const uint8_t* src, int srcStride, int y) const
{
    if (y + 1 >= dh_)
        return nullptr;
    const int last = down_.first[y + 1] + down_.count[y + 1] - 1;
    return last > down_.first[y] + down_.count[y] - 1 ? src + static_cast<size_t>(last) * srcStride : nullptr;
}

void ExactBoxScaler::SumDown(const uint8_t* src, int srcStride, int y)
{
    const uint8_t* rows[kMaxTaps];
    const int count = down_.count[y];
    for (int k = 0; k < count; ++k)
        rows[k] = src + static_cast<size_t>(down_.first[y] + k) * srcStride;
    const uint16_t* weights = &down_.weights[static_cast<size_t>(y) * down_.taps];
    const size_t n = static_cast<size_t>(sw_) * 4;
#if defined(MARQUELIN_AVX2)
    if (wide_)
        return SumRowsAvx2(rows, weights, count, column_.data(), n, Upcoming(src, srcStride, y));
#endif
    SumRows(rows, weights, count, column_.data(), n);
}

void ExactBoxScaler::SumAcross(uint8_t* out) const
{
    const AcrossRow row{column_.data(), across_.first.data(), pairWeights_.data(), across_.taps / 2, dw_, inverse_};
#if defined(MARQUELIN_AVX2)
    if (wide_ && fourToThreeShift_ > 0)
        return AcrossFourToThreeAvx2(column_.data(), dw_, fourToThreeShift_, out);
    if (wide_)
        return row.pairs == 1 ? AcrossAvx2<1>(row, out) : AcrossAvx2<0>(row, out);
#endif
#if defined(__SSE2__)
    return row.pairs == 1 ? AcrossSse2<1>(row, out) : AcrossSse2<0>(row, out);
#else
    AcrossPlain(row, out);
#endif
}

void ExactBoxScaler::Scale(const uint8_t* src, int sw, int sh, int srcStride, Frame* dst)
{
    FrameRows rows(dst);
    Scale(src, sw, sh, srcStride, dst->width(), dst->height(), rows);
}

void ExactBoxScaler::Scale(const uint8_t* src, int sw, int sh, int srcStride, int dw, int dh, RowSink& rows)
{
    Prepare(sw, sh, dw, dh);
    for (int y = 0; y < dh_; ++y) {
        SumDown(src, srcStride, y);
        SumAcross(rows.Row(y));
        rows.Done(y);
    }
}

}  // namespace imaging
