#pragma once

// The system's buffers of a connected TCP socket sized to its path: about
// two round trips of what the path delivers, by the system's own measures
// (delivery rate and shortest round trip). Left to themselves, Linux's
// buffers grow to megabytes, so a slow link holds seconds of stale frames
// in the sender's kernel and a writer learns nothing of the reader's pace;
// sized so, the kernel holds little more than the path can carry, and
// writers feel the reader's pace at once. Plain C++ on a descriptor, shared
// by the program's link and the relay; any failure leaves the buffer as it
// was. Linux.
namespace netbuffers {

inline constexpr int kFloorBytes = 16 * 1024;
inline constexpr int kFloorSegments = 4;
inline constexpr int kCeilingBytes = 4 * 1024 * 1024;

// Two round trips at `bytesPerSecond`, never under 16 KiB nor four of the
// path's segments (a buffer smaller than a few segments stalls TCP, and
// loopback's segments are 64 KiB), nor over 4 MiB.
int BytesForPath(double bytesPerSecond, double roundTripSeconds, int segmentBytes);

// The send buffer of `fd` for its own path.
void FitSendBuffer(int fd);
// The receive buffer of `fd`, whose bytes leave through `out`: two of fd's
// round trips at the rate `out` delivers, so a slow reader beyond `out`
// soon closes fd's window instead of filling a buffer.
void FitReceiveBuffer(int fd, int out);

}  // namespace netbuffers
