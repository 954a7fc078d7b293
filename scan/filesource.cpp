#include "scan/filesource.h"

#include <cstring>

bool TMemorySource::ReadAt(uint64_t offset, void *out, uint32_t n)
{
    if (offset > FSize || n > FSize - offset)
        return false;
    std::memcpy(out, FData + offset, n);
    return true;
}
