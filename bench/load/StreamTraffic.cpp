#include "load/StreamTraffic.h"

#include <chrono>

namespace load {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kCharsPerWord = 10;  // 60 of a word's 64 bits, 6 per character
constexpr std::size_t kStampChars = 32;    // sequence number and sending moment, 16 hex digits each
constexpr int kScreenWidth = 2560;
constexpr int kScreenHeight = 1440;

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t Word(std::uint64_t session, std::uint64_t seq, std::size_t word)
{
    return Mix((session << 48) ^ (seq << 24) ^ word);
}

char PayloadChar(std::uint64_t session, std::uint64_t seq, std::size_t at)
{
    const std::uint64_t w = Word(session, seq, at / kCharsPerWord);
    return kAlphabet[(w >> (6 * (at % kCharsPerWord))) & 63];
}

void AppendHex(std::string& out, std::uint64_t value)
{
    for (int shift = 60; shift >= 0; shift -= 4)
        out += "0123456789abcdef"[(value >> shift) & 15];
}

std::string FrameHeader(std::size_t length)
{
    return "FRAME:0:0:" + std::to_string(kScreenWidth) + ":" + std::to_string(kScreenHeight) + ":"
        + std::to_string(length) + ":";
}

}  // namespace

std::uint64_t NowNs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

std::size_t FrameLength(std::uint64_t session, std::uint64_t seq, const FrameSizes& sizes)
{
    const std::size_t span = sizes.maxBytes > sizes.minBytes ? sizes.maxBytes - sizes.minBytes : 1;
    return std::max(kStampChars, sizes.minBytes + static_cast<std::size_t>(Mix(session * 7919 + seq) % span));
}

void AppendFrame(std::string& out, std::uint64_t session, std::uint64_t seq, std::uint64_t sentNs,
                 const FrameSizes& sizes)
{
    const std::size_t length = FrameLength(session, seq, sizes);
    out += FrameHeader(length);
    AppendHex(out, seq);
    AppendHex(out, sentNs);
    const std::size_t start = out.size() - kStampChars;
    out.resize(start + length);
    // PayloadChar's bytes, one word per ten characters.
    for (std::size_t at = kStampChars; at < length;) {
        std::uint64_t w = Word(session, seq, at / kCharsPerWord) >> (6 * (at % kCharsPerWord));
        do {
            out[start + at++] = kAlphabet[w & 63];
            w >>= 6;
        } while (at < length && at % kCharsPerWord != 0);
    }
}

std::string CommandLine(std::uint64_t seq)
{
    return "CMD:MM:" + std::to_string(seq % kScreenWidth) + ":" + std::to_string(seq / kScreenWidth % kScreenHeight)
        + ":0\n";
}

FrameChecker::FrameChecker(std::uint64_t session, FrameSizes sizes) : session_(session), sizes_(sizes)
{
    StartFrame();
}

void FrameChecker::StartFrame()
{
    length_ = FrameLength(session_, seq_, sizes_);
    header_ = FrameHeader(length_);
    headerAt_ = 0;
    payloadAt_ = 0;
    sentNs_ = 0;
}

bool FrameChecker::Fail(const std::string& what)
{
    error_ = "frame " + std::to_string(seq_) + ": " + what;
    return false;
}

bool FrameChecker::Feed(const char* data, std::size_t n)
{
    std::string expected;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (headerAt_ < header_.size()) {
            if (c != header_[headerAt_++])
                return Fail("header byte " + std::to_string(headerAt_ - 1) + " differs");
            continue;
        }
        if (payloadAt_ < kStampChars) {
            expected.clear();
            AppendHex(expected, seq_);
            if (payloadAt_ < 16 && c != expected[payloadAt_])
                return Fail("wrong sequence number (a frame lost or out of order)");
            const int digit = c >= 'a' ? c - 'a' + 10 : c - '0';
            if (payloadAt_ >= 16)
                sentNs_ = (sentNs_ << 4) | static_cast<std::uint64_t>(digit & 15);
        } else if (c != PayloadChar(session_, seq_, payloadAt_)) {
            return Fail("payload byte " + std::to_string(payloadAt_) + " differs");
        }
        if (++payloadAt_ == length_) {
            if (onFrame)
                onFrame(static_cast<double>(NowNs() - sentNs_) / 1e6);
            ++seq_;
            StartFrame();
        }
    }
    return true;
}

}  // namespace load
