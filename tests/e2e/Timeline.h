#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace e2e {

// Elapsed milliseconds at each step of a test, printed at its end (also
// when it fails, so a slow or stuck step shows).
class Timeline {
public:
    void Mark(const std::string& step)
    {
        const auto now = Clock::now();
        char line[64];
        std::snprintf(line, sizeof line, "[ timeline ] %7lld ms (+%6lld)  ", Ms(start_, now), Ms(last_, now));
        lines_ += line + step + "\n";
        last_ = now;
    }

    void Print(const std::string& title) const
    {
        std::printf("[ timeline ] %s\n%s", title.c_str(), lines_.c_str());
        std::fflush(stdout);
    }

private:
    using Clock = std::chrono::steady_clock;
    static long long Ms(Clock::time_point from, Clock::time_point to)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    }

    Clock::time_point start_ = Clock::now(), last_ = start_;
    std::string lines_;
};

}  // namespace e2e
