#include "core/link/PathBuffers.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>

namespace netbuffers {

namespace {

struct PathMeasure {
    double bytesPerSecond = 0;
    double roundTripSeconds = 0;
    int segmentBytes = 0;  // the larger of what this side sends and what it lets the peer send
};

PathMeasure Measure(int fd)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (fd < 0 || getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return {};
    // Kernels before 4.10 fill less of the structure; their fields read as 0.
    return {static_cast<double>(info.tcpi_delivery_rate), info.tcpi_min_rtt / 1e6,
            static_cast<int>(std::max(info.tcpi_snd_mss, info.tcpi_advmss))};
}

// The system doubles what it is asked for (its own bookkeeping is counted in).
void Set(int fd, int option, int bytes)
{
    const int asked = bytes / 2;
    setsockopt(fd, SOL_SOCKET, option, &asked, sizeof asked);
}

}  // namespace

int BytesForPath(double bytesPerSecond, double roundTripSeconds, int segmentBytes)
{
    const int floor = std::clamp(kFloorSegments * segmentBytes, kFloorBytes, kCeilingBytes);
    const double bytes = 2.0 * bytesPerSecond * roundTripSeconds;
    if (!(bytes > floor))
        return floor;
    return bytes >= kCeilingBytes ? kCeilingBytes : static_cast<int>(std::lround(bytes));
}

void FitSendBuffer(int fd)
{
    const PathMeasure path = Measure(fd);
    Set(fd, SO_SNDBUF, BytesForPath(path.bytesPerSecond, path.roundTripSeconds, path.segmentBytes));
}

void FitReceiveBuffer(int fd, int out)
{
    const PathMeasure in = Measure(fd);
    Set(fd, SO_RCVBUF, BytesForPath(Measure(out).bytesPerSecond, in.roundTripSeconds, in.segmentBytes));
}

}  // namespace netbuffers
