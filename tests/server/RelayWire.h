#pragma once

#include "LoopbackWire.h"

#include <string>

// The relay's Join line, for tests that see the relay ask the real store.

namespace server_tests {

using RelayWire = LoopbackWire;

std::string JoinLine(const std::string& sessaoId, const std::string& streamKey, const std::string& papel);

}  // namespace server_tests
