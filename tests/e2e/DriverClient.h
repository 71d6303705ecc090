#pragma once

#include "support/HangLimit.h"

#include <string>
#include <vector>

namespace e2e {

// The test's end of a driver socket: one command line out, one answer line
// back, each within a deadline. A program busy in a blocking web request
// answers late, not never, hence the hang-only default.
class DriverClient {
public:
    DriverClient() = default;
    ~DriverClient();
    DriverClient(const DriverClient&) = delete;
    DriverClient& operator=(const DriverClient&) = delete;

    // Tries to connect to `path` until `ms` pass.
    bool Connect(const std::string& path, int ms);
    void Close();

    // The answer line without its line break; "" when none came in time.
    std::string Call(const std::string& line, int ms = testing_support::kHangMs);

private:
    bool Send(const std::string& text, int ms);
    bool ReadLine(std::string* line, int ms);

    int fd_ = -1;
    std::string pending_;
};

// An answer split: "ok" or "err", then its tab-separated fields.
struct Answer {
    bool ok = false;
    std::vector<std::string> fields;  // unescaped
    std::string raw;
};
Answer ParseAnswer(const std::string& line);

// A command argument that may hold spaces, tabs or line breaks.
std::string EscapeArgument(const std::string& text);

}  // namespace e2e
