#include "load/ParallelSteps.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <exception>
#include <memory>

namespace load {

namespace asio = boost::asio;

asio::awaitable<void> ForEach(std::size_t count, std::size_t parallel,
                              std::function<asio::awaitable<void>(std::size_t)> step)
{
    struct Shared {
        std::size_t next = 0, running = 0;
        std::exception_ptr failure;
    };
    auto shared = std::make_shared<Shared>();
    const auto executor = co_await asio::this_coro::executor;
    asio::steady_timer done(executor, asio::steady_timer::time_point::max());
    auto worker = [shared, count, step, &done]() -> asio::awaitable<void> {
        while (shared->next < count && !shared->failure) {
            try {
                co_await step(shared->next++);
            } catch (...) {
                shared->failure = std::current_exception();
            }
        }
        if (--shared->running == 0)
            done.cancel();
    };
    const std::size_t workers = std::min(count, std::max<std::size_t>(1, parallel));
    shared->running = workers;
    for (std::size_t i = 0; i < workers; ++i)
        asio::co_spawn(executor, worker, asio::detached);
    // Workers may all have finished already; nothing runs between this test and the wait.
    boost::system::error_code ec;
    if (shared->running > 0)
        co_await done.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    if (shared->failure)
        std::rethrow_exception(shared->failure);
}

}  // namespace load
