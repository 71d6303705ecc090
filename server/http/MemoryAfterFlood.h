#pragma once

#include <cstddef>

// Gives the allocator's free memory back to the system once a flood of
// connections has drained. The TLS streams of thousands of connections leave
// the heap full of free space that the allocator would otherwise keep for good.

namespace http {

class MemoryAfterFlood {
public:
    // Connections at least this many at once make a flood.
    static constexpr std::size_t kFloodConnections = 256;

    void Opened(std::size_t open);
    // Once the open connections fall to an eighth of the flood's peak.
    void Closed(std::size_t open);

private:
    std::size_t peak_ = 0;
};

}  // namespace http
