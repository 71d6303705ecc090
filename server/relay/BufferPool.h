#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace relay {

using RelayBuffer = std::unique_ptr<char[]>;

// Fixed-size forwarding buffers. A paired session takes one per direction only
// while bytes flow and gives it back when its source has nothing to read, so
// idle sessions hold none. Single-threaded.
class BufferPool {
public:
    BufferPool(std::size_t bufferBytes, std::size_t maxSpare);

    RelayBuffer Acquire();
    void Release(RelayBuffer buffer);

    std::size_t BufferBytes() const { return bufferBytes_; }
    std::size_t SpareCount() const { return spare_.size(); }

private:
    std::size_t bufferBytes_;
    std::size_t maxSpare_;
    std::vector<RelayBuffer> spare_;
};

}  // namespace relay
