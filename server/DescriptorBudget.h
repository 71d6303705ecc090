#pragma once

#include <cstddef>
#include <optional>

// The process's descriptors, shared out at start so that neither the web
// service nor the relay can take the ones the other needs: a part is kept
// for the store, the log, the mail and the listeners, and the rest is split
// between the two connection caps.

struct DescriptorShares {
    std::size_t webConnections = 0;
    std::size_t relayConnections = 0;
    bool lowered = false;  // the wanted caps did not fit and were lowered
};

// A relay connection may hold a pipe (two descriptors) besides its socket
// while bytes flow.
inline constexpr std::size_t kDescriptorsPerRelayConnection = 3;

// Raises the soft descriptor limit to the hard one; returns the soft limit
// in force, nothing when it cannot be read.
std::optional<std::size_t> RaiseDescriptorLimit();

// Keeps `reserve` of `limit`, then gives each side its wanted cap when both
// fit, or lowers both by the same factor when they do not (at least one each).
DescriptorShares ShareDescriptors(std::size_t limit, std::size_t reserve, std::size_t webWanted,
                                  std::size_t relayWanted);
