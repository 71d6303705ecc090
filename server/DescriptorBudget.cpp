#include "server/DescriptorBudget.h"

#include <algorithm>
#include <sys/resource.h>

std::optional<std::size_t> RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::nullopt;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    constexpr std::size_t kUnlimited = std::size_t{1} << 20;
    return limit.rlim_cur == RLIM_INFINITY ? kUnlimited : static_cast<std::size_t>(limit.rlim_cur);
}

DescriptorShares ShareDescriptors(std::size_t limit, std::size_t reserve, std::size_t webWanted,
                                  std::size_t relayWanted)
{
    const std::size_t usable = limit > reserve ? limit - reserve : 0;
    const double wanted =
        static_cast<double>(webWanted) + static_cast<double>(relayWanted) * kDescriptorsPerRelayConnection;
    if (wanted <= static_cast<double>(usable))
        return {webWanted, relayWanted, false};
    const double factor = static_cast<double>(usable) / wanted;
    auto lowered = [factor](std::size_t cap) {
        return std::max<std::size_t>(1, static_cast<std::size_t>(static_cast<double>(cap) * factor));
    };
    return {lowered(webWanted), relayWanted ? lowered(relayWanted) : 0, true};
}
