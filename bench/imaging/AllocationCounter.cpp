#include "AllocationCounter.h"

#include <atomic>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<size_t> large{0};

inline void Note(size_t bytes)
{
    if (counting.load(std::memory_order_relaxed) && bytes >= allocation::kLargeBlock)
        large.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace allocation {

void StartCounting()
{
    large = 0;
    counting = true;
}

size_t StopCounting()
{
    counting = false;
    return large;
}

}  // namespace allocation

extern "C" {

void* malloc(size_t bytes)
{
    Note(bytes);
    return __libc_malloc(bytes);
}

void* calloc(size_t count, size_t bytes)
{
    Note(count * bytes);
    return __libc_calloc(count, bytes);
}

void* realloc(void* block, size_t bytes)
{
    Note(bytes);
    return __libc_realloc(block, bytes);
}

void* memalign(size_t alignment, size_t bytes)
{
    Note(bytes);
    return __libc_memalign(alignment, bytes);
}

void* aligned_alloc(size_t alignment, size_t bytes)
{
    return memalign(alignment, bytes);
}

int posix_memalign(void** out, size_t alignment, size_t bytes)
{
    *out = memalign(alignment, bytes);
    return *out ? 0 : 12;  // ENOMEM
}

}  // extern "C"
