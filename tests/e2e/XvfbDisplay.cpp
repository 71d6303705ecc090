#include "XvfbDisplay.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace e2e {

XvfbDisplay::XvfbDisplay(int width, int height, const std::string& logPath) : width_(width), height_(height)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const bool started = process_.Start({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten",
                                         "tcp", "-noreset"},
                                        ChildProcess::Inherited({}), logPath, fds[1]);
    close(fds[1]);
    if (started && !ReadDisplayNumber(fds[0], kHangMs))
        process_.Stop();
    close(fds[0]);
}

// Xvfb writes its display number and a line break once it accepts clients.
bool XvfbDisplay::ReadDisplayNumber(int fd, int ms)
{
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            return false;
        if (c == '\n') {
            name_ = ":" + number;
            return !number.empty();
        }
        number += c;
    }
    return false;
}

}  // namespace e2e
