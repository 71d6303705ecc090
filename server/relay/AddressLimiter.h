#pragma once

#include "server/net/SourceLimiter.h"

// The relay counts its connections with the server's per-source limiter
// (an IPv4 address, an IPv6 /64), under the names its code has always used.

namespace relay {

using AddressLimiter = net::SourceLimiter;
using AddressTicket = net::SourceTicket;

}  // namespace relay
