#include "relay/RelayServer.h"

#include "relay/RelayListener.h"

namespace relay {

RelayServer::RelayServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
                         SessionCheck& sessions, RelayLimits limits, RelayLogSink log)
    : listener_(std::make_shared<RelayListener>(io, endpoint, sessions, limits, std::move(log)))
{
}

RelayServer::~RelayServer() { Stop(); }

void RelayServer::Start() { listener_->Start(); }

void RelayServer::Stop() { listener_->Stop(); }

unsigned short RelayServer::Port() const { return listener_->Port(); }

}  // namespace relay
