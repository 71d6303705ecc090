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
    if (pid > 0)
        usage.before = ReadProcessUse(pid);
    usage.clientCpuBefore = OwnCpuSeconds();
    const bool ok = RunToEnd(io, what, body);
    usage.clientCpuAfter = OwnCpuSeconds();
    if (pid > 0)
        usage.after = ReadProcessUse(pid);
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
