#pragma once

#include <array>
#include <unordered_set>

#include "relay/AddressLimiter.h"
#include "relay/BufferPool.h"
#include "relay/RelayLog.h"
#include "relay/RelayServer.h"
#include "relay/Rendezvous.h"
#include "relay/SessionCheck.h"
#include "relay/SplicePipe.h"

namespace relay {

class RelaySide;

// What every connection of one relay shares. Owned jointly by the listener and
// the connections, so it outlives whichever handler runs last. Single-threaded.
struct RelayState {
    RelayState(SessionCheck& check, const RelayLimits& relayLimits, RelayLogSink sink)
        : sessions(check),
          limits(relayLimits),
          log(std::move(sink)),
          addresses(relayLimits.maxConnectionsPerAddress, relayLimits.maxConnections),
          pipes(relayLimits.pipeBytes, relayLimits.spareBuffers),
          buffers(relayLimits.bufferBytes, relayLimits.spareBuffers)
    {
    }

    SessionCheck& sessions;
    const RelayLimits limits;
    const RelayLog log;
    AddressLimiter addresses;
    PipePool pipes;
    // Only for a pump that could not get a pipe.
    BufferPool buffers;
    Rendezvous rendezvous;
    // Every open connection, so Stop() can close them.
    std::unordered_set<RelaySide*> live;
    bool stopping = false;
    // Bytes read only to be thrown away (a closing socket's input) land here.
    std::array<char, 4096> discard{};
};

}  // namespace relay
