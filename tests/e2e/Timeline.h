#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

// Elapsed milliseconds at each step of a test, printed at its end (also
// when it fails, so a slow or stuck step shows).
class Timeline {
public:
    void Mark(const std::string& step)
    {
        const auto now = std::chrono::steady_clock::now();
        steps_.push_back({step, Ms(start_, now), Ms(last_, now)});
        last_ = now;
    }

    void Print(const std::string& title) const
    {
        std::printf("[ timeline ] %s\n", title.c_str());
        for (const Step& s : steps_)
            std::printf("[ timeline ] %7lld ms (+%6lld)  %s\n", s.at, s.delta, s.name.c_str());
        std::fflush(stdout);
    }

private:
    struct Step {
        std::string name;
        long long at, delta;
    };
    static long long Ms(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    }

    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
    std::vector<Step> steps_;
};

}  // namespace e2e
