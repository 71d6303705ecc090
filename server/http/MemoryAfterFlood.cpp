#include "server/http/MemoryAfterFlood.h"

#include <algorithm>
#include <malloc.h>

namespace http {

void MemoryAfterFlood::Opened(std::size_t open) { peak_ = std::max(peak_, open); }

void MemoryAfterFlood::Closed(std::size_t open)
{
    if (peak_ < kFloodConnections || open > peak_ / 8)
        return;
    malloc_trim(0);
    peak_ = open;
}

}  // namespace http
