#pragma once

#include <string>

namespace e2e {

// The end-to-end tests run in a network namespace of their own: loopback
// plus a local network card (a veth pair) with the private address
// kLanAddress, as an office computer has. Nothing they listen on meets other
// programs of the machine (the direct route's fixed port included), and the
// firewall rules a test adds stay inside. Must run before any thread starts.
constexpr const char* kLanAddress = "10.77.0.2";
bool EnterPrivateNetwork();
bool InPrivateNetwork();
const std::string& PrivateNetworkProblem();  // why there is none

// Nothing listens on the TCP port (of every interface) right now.
bool PortIsFree(int port);

// While it lives, TCP connections to `port` go nowhere (SYN dropped), so the
// technician's direct connects neither succeed nor fail fast.
class BlockedPort {
public:
    explicit BlockedPort(int port);
    ~BlockedPort();
    BlockedPort(const BlockedPort&) = delete;
    BlockedPort& operator=(const BlockedPort&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

}  // namespace e2e
