#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include <boost/asio/awaitable.hpp>

#include <cstddef>
#include <functional>

namespace load {

// Runs `step` for every index in [0, count) with at most `parallel` at once
// on the caller's executor (all at once when parallel >= count); the first
// failure stops new steps and is rethrown once the running ones are done.
boost::asio::awaitable<void> ForEach(std::size_t count, std::size_t parallel,
                                     std::function<boost::asio::awaitable<void>(std::size_t)> step);

}  // namespace load
