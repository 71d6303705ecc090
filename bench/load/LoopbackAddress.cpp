#include "load/LoopbackAddress.h"

#include <sys/resource.h>

namespace load {

boost::asio::ip::address_v4 DeviceAddress(std::size_t device)
{
    const auto host = static_cast<boost::asio::ip::address_v4::uint_type>(device % 250 + 1);
    const auto subnet = static_cast<boost::asio::ip::address_v4::uint_type>(device / 250 % 256);
    return boost::asio::ip::address_v4((127u << 24) | (1u << 16) | (subnet << 8) | host);
}

std::size_t RaiseDescriptorLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace load
