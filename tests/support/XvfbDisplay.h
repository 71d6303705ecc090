#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"

#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace testing_support {

// A private Xvfb on a free display number (-displayfd), ended with the object.
class XvfbDisplay {
public:
    // Xvfb writes its display number, then a line break, once it accepts clients.
    XvfbDisplay(int width, int height, const std::string& logPath)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        const bool started = process_.Start({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", screen,
                                             "-nolisten", "tcp", "-noreset"},
                                            ChildProcess::Inherited({}), logPath, fds[1]);
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        std::string line;
        char c = 0;
        while (started && c != '\n' && poll(&ready, 1, kHangMs) == 1 && read(fds[0], &c, 1) == 1)
            line += c;
        if (c == '\n' && line.size() > 1)
            name_ = ":" + line.substr(0, line.size() - 1);
        else
            process_.Stop();
        close(fds[0]);
    }

    bool Ready() const { return !name_.empty(); }
    const std::string& Name() const { return name_; }  // ":N"
    std::string Log() const { return process_.Output(); }

private:
    std::string name_;
    ChildProcess process_;
};

}  // namespace testing_support
