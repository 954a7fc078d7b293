#include "scan/filesource.h"

#include <cstring>

bool TMemorySource::ReadAt(uint64_t offset, void *out, uint32_t n)
{
    if (offset > FSize || n > FSize - offset)
        return false;
    if (n > 0 && offset + n > FFailOffset)
        return ReadFailed(FFailCode);
    std::memcpy(out, FData + offset, n);
    return true;
}

namespace {

int Folded(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
}

}  // namespace

bool WildcardMatch(const char *pattern, const char *name)
{
    if (std::strcmp(pattern, "*.*") == 0)
        return true;
    // Greedy with one backtrack point: the last "*" seen.
    const char *star = nullptr, *resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && Folded(*pattern) == Folded(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}
