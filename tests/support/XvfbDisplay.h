#pragma once

#include "support/ChildProcess.h"

#include <string>

namespace testing_support {

// A private Xvfb on a free display number (-displayfd), ended with the object.
class XvfbDisplay {
public:
    XvfbDisplay(int width, int height, const std::string& logPath);

    bool Ready() const { return !name_.empty(); }
    const std::string& Name() const { return name_; }  // ":N"
    std::string Log() const { return process_.Output(); }

private:
    std::string name_;
    ChildProcess process_;
};

}  // namespace testing_support
