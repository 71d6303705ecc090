#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include "load/ProcessMeter.h"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace load {

using Body = std::function<boost::asio::awaitable<void>()>;

// Runs one coroutine on `io` to its end; false, with the reason printed, when it threw.
bool RunToEnd(boost::asio::io_context& io, const char* what, const Body& body);

// What a process under load and this client used during one run.
struct Usage {
    ProcessUse before, after;
    double clientCpuBefore = 0, clientCpuAfter = 0;
    double Cpu() const { return after.cpuSeconds - before.cpuSeconds; }
    double ClientCpu() const { return clientCpuAfter - clientCpuBefore; }
};

// RunToEnd, reading what `pid` (none when not positive) and this client used meanwhile.
bool Measured(boost::asio::io_context& io, const char* what, pid_t pid, Usage& usage, const Body& body);
// The same for groups of processes: usages[i] what groups[i] used together.
bool Measured(boost::asio::io_context& io, const char* what, const std::vector<std::vector<pid_t>>& groups,
              std::vector<Usage>& usages, const Body& body);

// The first errors of a run, and how many more there were.
void PrintErrors(std::size_t errors, const std::vector<std::string>& first);

}  // namespace load
