#include "core/imaging/Base64.h"

#include <array>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define MARQUELIN_BASE64_AVX2 1
#endif

namespace imaging {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t kInvalid = 0xff;
constexpr uint8_t kSpace = 0xfe;
constexpr uint8_t kPad = 0xfd;

// Encoding two characters at a time: every 12-bit group to its pair.
constexpr std::array<uint16_t, 4096> MakePairs()
{
    std::array<uint16_t, 4096> pairs{};
    for (int i = 0; i < 4096; ++i) {
        const auto first = static_cast<uint8_t>(kAlphabet[i >> 6]);
        const auto second = static_cast<uint8_t>(kAlphabet[i & 63]);
        pairs[i] = static_cast<uint16_t>(first | (second << 8));  // memory order on a little-endian machine
    }
    return pairs;
}

constexpr std::array<uint8_t, 256> MakeValues()
{
    std::array<uint8_t, 256> values{};
    for (auto& v : values)
        v = kInvalid;
    for (int i = 0; i < 64; ++i)
        values[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
    for (char c : {' ', '\t', '\n', '\r', '\f', '\v'})
        values[static_cast<uint8_t>(c)] = kSpace;
    values['='] = kPad;
    return values;
}

// Decoding four characters at once: each table places its character's six
// bits and marks anything else with a bit above the 24 data bits.
constexpr std::array<uint32_t, 256> MakeQuad(int position)
{
    constexpr auto values = MakeValues();
    std::array<uint32_t, 256> quad{};
    for (int c = 0; c < 256; ++c)
        quad[c] = values[c] < 64 ? uint32_t{values[c]} << (18 - 6 * position) : 0x01000000u;
    return quad;
}

constexpr auto kPairs = MakePairs();
constexpr auto kValues = MakeValues();
constexpr std::array<std::array<uint32_t, 256>, 4> kQuads = {MakeQuad(0), MakeQuad(1), MakeQuad(2), MakeQuad(3)};

inline void PutPair(char* out, uint32_t twelveBits)
{
    const uint16_t pair = kPairs[twelveBits];
    out[0] = static_cast<char>(pair & 0xff);
    out[1] = static_cast<char>(pair >> 8);
}

#if defined(MARQUELIN_BASE64_AVX2)
// 24 bytes to 32 characters a step, by the well-known multiply-shift
// method: each lane takes 12 bytes; every three are spread over four
// 16-bit-friendly slots (b1 b0 b2 b1), the four 6-bit fields moved into
// place by one high and one low multiply, and the 64 values turned into
// their characters by one byte lookup of the offset of their range.
__attribute__((target("avx2"))) inline __m256i SixBitFields(__m256i twelveBytesALane)
{
    const __m256i spread = _mm256_shuffle_epi8(
        twelveBytesALane, _mm256_setr_epi8(5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14, 1, 0, 2, 1, 4, 3,
                                           5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(spread, _mm256_set1_epi32(0x0fc0fc00)),
                                            _mm256_set1_epi32(0x04000040));
    const __m256i low = _mm256_mullo_epi16(_mm256_and_si256(spread, _mm256_set1_epi32(0x003f03f0)),
                                           _mm256_set1_epi32(0x01000010));
    return _mm256_or_si256(high, low);
}

__attribute__((target("avx2"))) inline __m256i Characters(__m256i values)
{
    // 0 for A–Z, 1 for a–z, 2–11 for the digits, 12 for "+", 13 for "/".
    const __m256i range = _mm256_sub_epi8(_mm256_subs_epu8(values, _mm256_set1_epi8(51)),
                                          _mm256_cmpgt_epi8(values, _mm256_set1_epi8(25)));
    const __m256i offsets = _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0, 65, 71, -4,
                                             -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    return _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, range));
}

// From byte `i` (at least 4: each load starts 4 bytes early, so that both
// lanes find their 12 bytes) while 28 bytes remain; returns where it stopped.
__attribute__((target("avx2"))) qsizetype EncodeBlocksAvx2(const uint8_t* in, qsizetype i, qsizetype n, char*& out)
{
    for (; i + 28 <= n; i += 24, out += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i - 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Characters(SixBitFields(bytes)));
    }
    _mm256_zeroupper();
    return i;
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

inline void PutGroup(const uint8_t* in, char* out)
{
    const uint32_t v = uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
    PutPair(out, v >> 12);
    PutPair(out + 2, v & 0xfff);
}

bool Fail(QByteArray* bytes, QString* error, const char* why)
{
    bytes->clear();
    if (error)
        *error = QString::fromLatin1(why);
    return false;
}

}  // namespace

void Base64EncodeInto(QByteArrayView bytes, QByteArray* text)
{
    text->resize(0);  // keeps the buffer
    Base64EncodeAppend(bytes, text);
}

void Base64EncodeAppend(QByteArrayView bytes, QByteArray* text)
{
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    const qsizetype n = bytes.size();
    const qsizetype at = text->size();
    text->resize(at + Base64EncodedLength(n));
    char* out = text->data() + at;
    qsizetype i = 0;
#if defined(MARQUELIN_BASE64_AVX2)
    if (HasAvx2() && n >= 34) {
        for (; i < 6; i += 3, out += 4)
            PutGroup(in + i, out);
        i = EncodeBlocksAvx2(in, i, n, out);
    }
#endif
    for (; i + 3 <= n; i += 3, out += 4)
        PutGroup(in + i, out);
    if (n - i == 1) {
        const uint32_t v = uint32_t{in[i]} << 16;
        PutPair(out, v >> 12);
        out[2] = out[3] = '=';
    } else if (n - i == 2) {
        const uint32_t v = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8;
        PutPair(out, v >> 12);
        out[2] = kAlphabet[(v >> 6) & 63];
        out[3] = '=';
    }
}

bool Base64DecodeInto(QByteArrayView text, QByteArray* bytes, QString* error)
{
    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    const qsizetype n = text.size();
    bytes->resize(n / 4 * 3);
    auto* out = reinterpret_cast<uint8_t*>(bytes->data());
    uint8_t* const start = out;

    qsizetype i = 0;
    uint32_t group = 0;  // data bits of a group being gathered around white space
    int have = 0;
    int padding = 0;
    while (i < n) {
        if (have == 0 && padding == 0 && i + 4 <= n) {
            const uint32_t v = kQuads[0][in[i]] | kQuads[1][in[i + 1]] | kQuads[2][in[i + 2]] | kQuads[3][in[i + 3]];
            if (v < 0x01000000u) {
                out[0] = static_cast<uint8_t>(v >> 16);
                out[1] = static_cast<uint8_t>(v >> 8);
                out[2] = static_cast<uint8_t>(v);
                out += 3;
                i += 4;
                continue;
            }
        }
        const uint8_t value = kValues[in[i++]];
        if (value == kSpace)
            continue;
        if (value == kInvalid)
            return Fail(bytes, error, "invalid Base64 character");
        if (value == kPad) {
            if (have < 2 || have + padding >= 4)
                return Fail(bytes, error, "misplaced Base64 padding");
            ++padding;
            if (have + padding == 4) {
                group <<= 6 * padding;
                *out++ = static_cast<uint8_t>(group >> 16);
                if (have == 3)
                    *out++ = static_cast<uint8_t>(group >> 8);
            }
            continue;
        }
        if (padding)
            return Fail(bytes, error, "Base64 text after its padding");
        group = group << 6 | value;
        if (++have == 4) {
            out[0] = static_cast<uint8_t>(group >> 16);
            out[1] = static_cast<uint8_t>(group >> 8);
            out[2] = static_cast<uint8_t>(group);
            out += 3;
            have = 0;
            group = 0;
        }
    }
    if (have != 0 && have + padding != 4)
        return Fail(bytes, error, "truncated Base64 text");
    bytes->resize(out - start);
    return true;
}

}  // namespace imaging
