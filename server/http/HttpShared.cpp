#include "server/http/HttpShared.h"

namespace http {

HttpShared::HttpShared(api::Service& service, boost::asio::ssl::context& tls,
                       std::vector<boost::asio::ip::address> trustedProxies, const HttpLimits& limits)
    : service(service),
      tls(tls),
      trustedProxies(std::move(trustedProxies)),
      limits(limits),
      connections(limits.maxConnectionsPerSource, limits.maxConnections,
                  [this](std::size_t open) { memory.Closed(open); })
{
}

}  // namespace http
