#pragma once

#include <string>
#include <string_view>

#include "relay/RelayServer.h"

namespace relay {

// "address:port", "[v6 address]:port": a peer as relay log lines name it.
std::string PeerText(const boost::asio::ip::tcp::endpoint& remote);

// One line per relay event. Only validated identifiers and addresses go in;
// stream keys never do.
class RelayLog {
public:
    explicit RelayLog(RelayLogSink sink);

    void Write(std::string_view line) const;

private:
    RelayLogSink sink_;
};

}  // namespace relay
