// Private memory committed by this process: the heaps, stacks and other
// memory of our own, summed over the address space (Wine's PagefileUsage is
// not this figure). For the soak test and the list benchmark.
#pragma once

#include <windows.h>

inline SIZE_T PrivateCommittedBytes()
{
    SIZE_T bytes = 0;
    MEMORY_BASIC_INFORMATION m;
    for (const char *p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p += m.RegionSize) {
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE)
            bytes += m.RegionSize;
        if (static_cast<const char *>(m.BaseAddress) + m.RegionSize <= p)
            break;  // wrapped at the top of the address space
    }
    return bytes;
}
