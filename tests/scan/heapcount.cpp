// Replaces the global operator new and delete; the block sizes come from the
// C library's heap (_msize), so nothing is added to the blocks.
#include "tests/scan/heapcount.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> Live{0};
std::atomic<size_t> Peak{0};

void *Allocate(size_t size)
{
    void *p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    const size_t now = Live += _msize(p);
    size_t peak = Peak;
    while (now > peak && !Peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void Release(void *p) noexcept
{
    if (!p)
        return;
    Live -= _msize(p);
    std::free(p);
}

}  // namespace

size_t HeapLiveBytes() { return Live; }
size_t HeapPeakBytes() { return Peak; }
void ResetHeapPeak() { Peak = Live.load(); }

void *operator new(size_t size) { return Allocate(size); }
void *operator new[](size_t size) { return Allocate(size); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, size_t) noexcept { Release(p); }
void operator delete[](void *p, size_t) noexcept { Release(p); }
