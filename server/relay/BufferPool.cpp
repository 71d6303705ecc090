#include "relay/BufferPool.h"

namespace relay {

BufferPool::BufferPool(std::size_t bufferBytes, std::size_t maxSpare)
    : bufferBytes_(bufferBytes == 0 ? 1 : bufferBytes), maxSpare_(maxSpare)
{
}

RelayBuffer BufferPool::Acquire()
{
    if (spare_.empty())
        return std::make_unique_for_overwrite<char[]>(bufferBytes_);
    RelayBuffer buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void BufferPool::Release(RelayBuffer buffer)
{
    if (buffer && spare_.size() < maxSpare_)
        spare_.push_back(std::move(buffer));
}

}  // namespace relay
