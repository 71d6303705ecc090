#pragma once

#include "server/relay/RelayTestClient.h"

// The relay's own test client serves the server's tests too: a blocking
// loopback socket with deadlines, for the Join line and for raw bytes.

namespace server_tests {

using RelayWire = relaytest::RelayTestClient;
using relaytest::JoinLine;
using relaytest::SendJoinV2;

}  // namespace server_tests
