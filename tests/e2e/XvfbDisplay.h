#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"

#include <string>

namespace e2e {

using testing_support::ChildProcess;
using testing_support::kHangMs;

// A private Xvfb on a free display number (-displayfd), ended with the object.
class XvfbDisplay {
public:
    XvfbDisplay(int width, int height, const std::string& logPath);

    bool Ready() const { return !name_.empty(); }
    const std::string& Name() const { return name_; }  // ":N"
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    bool ReadDisplayNumber(int fd, int ms);

    int width_;
    int height_;
    std::string name_;
    ChildProcess process_;
};

}  // namespace e2e
