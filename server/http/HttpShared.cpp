#include "server/http/HttpShared.h"

#include "server/ServerLog.h"
#include "server/http/ClientAddress.h"

#include <algorithm>

namespace http {

HttpShared::HttpShared(api::Service& service, boost::asio::ssl::context& tls,
                       std::vector<boost::asio::ip::address> trustedProxies, const HttpLimits& limits,
                       bool proxyProtocol)
    : service(service),
      tls(tls),
      trustedProxies(std::move(trustedProxies)),
      proxyProtocol(proxyProtocol),
      limits(limits),
      connections(limits.maxConnectionsPerSource, limits.maxConnections,
                  [this](std::size_t open) { memory.Closed(open); })
{
}

bool HttpShared::SendsProxyHeader(const boost::asio::ip::address& peer) const
{
    return proxyProtocol && std::find(trustedProxies.begin(), trustedProxies.end(), peer) != trustedProxies.end();
}

void HttpShared::LogRefusal(const boost::asio::ip::address& client) const
{
    if (connections.RefusalWorthLogging())
        ServerLog("http: %s refused at the door, %s (refusal %zu)", AddressText(client).c_str(),
                  connections.Full() ? "all connections taken" : "its source holds its share", connections.Refusals());
}

}  // namespace http
