#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace load {

// What a streaming session carries, in the link's own message shapes: Frame
// messages from the cliente (a 2560 × 1440 desktop, a Base64-alphabet payload
// of 60 to 120 KB) and mouse-move command lines from the tecnico. Every byte
// follows from the session and the sequence number, so the receiver checks
// each one; the payload opens with its sequence number and the moment its
// sending began (steady clock, nanoseconds), both in hex.
struct FrameSizes {
    std::size_t minBytes = 60000;
    std::size_t maxBytes = 120000;
};

std::size_t FrameLength(std::uint64_t session, std::uint64_t seq, const FrameSizes& sizes);
// Appends the whole Frame message (header and payload) to `out`.
void AppendFrame(std::string& out, std::uint64_t session, std::uint64_t seq, std::uint64_t sentNs,
                 const FrameSizes& sizes);
std::string CommandLine(std::uint64_t seq);  // "CMD:MM:x:y:0\n"
std::uint64_t NowNs();

// Checks a cliente's byte stream as it arrives, in any chunking, and reports
// each whole frame's latency (its sending began to its last byte here).
class FrameChecker {
public:
    FrameChecker(std::uint64_t session, FrameSizes sizes);
    // False on the first byte that is not the expected one; Error() says where.
    bool Feed(const char* data, std::size_t n);
    std::uint64_t Frames() const { return seq_; }
    const std::string& Error() const { return error_; }
    std::function<void(double ms)> onFrame;  // every whole frame's latency

private:
    bool Fail(const std::string& what);
    void StartFrame();
    std::uint64_t session_;
    FrameSizes sizes_;
    std::uint64_t seq_ = 0;
    std::string header_;         // the expected header of the frame under way
    std::size_t headerAt_ = 0;   // header bytes matched
    std::size_t length_ = 0;     // payload length of the frame under way
    std::size_t payloadAt_ = 0;  // payload bytes matched
    std::uint64_t sentNs_ = 0;   // read from the payload's opening
    std::string error_;
};

}  // namespace load
