#include "load/RunSupport.h"

#include <boost/asio/co_spawn.hpp>

#include <cstdio>
#include <exception>

namespace load {

bool RunToEnd(boost::asio::io_context& io, const char* what, const Body& body)
{
    std::string failure;
    boost::asio::co_spawn(io, body(), [&](std::exception_ptr e) {
        try {
            if (e)
                std::rethrow_exception(e);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    });
    io.restart();
    io.run();
    if (!failure.empty())
        std::printf("load: %s failed: %s\n", what, failure.c_str());
    return failure.empty();
}

bool Measured(boost::asio::io_context& io, const char* what, pid_t pid, Usage& usage, const Body& body)
{
    std::vector<Usage> usages;
    const bool ok = Measured(io, what, {{pid}}, usages, body);
    usage = usages.front();
    return ok;
}

bool Measured(boost::asio::io_context& io, const char* what, const std::vector<std::vector<pid_t>>& groups,
              std::vector<Usage>& usages, const Body& body)
{
    usages.assign(groups.size(), Usage{});
    for (std::size_t i = 0; i < groups.size(); ++i)
        usages[i].before = ReadProcessUse(groups[i]);
    const double clientBefore = OwnCpuSeconds();
    const bool ok = RunToEnd(io, what, body);
    const double clientAfter = OwnCpuSeconds();
    for (std::size_t i = 0; i < groups.size(); ++i) {
        usages[i].after = ReadProcessUse(groups[i]);
        usages[i].clientCpuBefore = clientBefore;
        usages[i].clientCpuAfter = clientAfter;
    }
    return ok;
}

void PrintErrors(std::size_t errors, const std::vector<std::string>& first)
{
    for (const std::string& e : first)
        std::printf("    error: %s\n", e.c_str());
    if (errors > first.size())
        std::printf("    ... and %zu more\n", errors - first.size());
}

}  // namespace load
