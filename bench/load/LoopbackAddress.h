#pragma once

#include <boost/asio/ip/address_v4.hpp>
#include <cstddef>

namespace load {

// Every simulated computer speaks from an address of its own in 127/8
// (127.1.x.y), as separate machines would: the service's per-address
// throttles and the relay's per-address cap then see one machine each, and
// short connections never run out of ports.
boost::asio::ip::address_v4 DeviceAddress(std::size_t device);

// Raises the soft descriptor limit to the hard one; returns the new soft limit.
std::size_t RaiseDescriptorLimit();

}  // namespace load
