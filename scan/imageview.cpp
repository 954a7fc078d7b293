#include "scan/imageview.h"

#include <algorithm>
#include <cstring>

TImageView::TImageView(const uint8_t *base, uint32_t size, std::vector<TByteRange> readable)
    : FBase(base), FSize(size)
{
    for (TByteRange &r : readable)
        r.End = std::min(r.End, size);
    readable.erase(std::remove_if(readable.begin(), readable.end(),
                                  [](const TByteRange &r) { return r.Begin >= r.End; }),
                   readable.end());
    std::sort(readable.begin(), readable.end(),
              [](const TByteRange &a, const TByteRange &b) { return a.Begin < b.Begin; });
    for (const TByteRange &r : readable) {
        if (!FRanges.empty() && r.Begin <= FRanges.back().End)
            FRanges.back().End = std::max(FRanges.back().End, r.End);
        else
            FRanges.push_back(r);
    }
}

uint32_t TImageView::Readable(uint32_t rva) const
{
    // First range that ends after rva; it holds rva if it begins at or before it.
    auto it = std::upper_bound(FRanges.begin(), FRanges.end(), rva,
                               [](uint32_t v, const TByteRange &r) { return v < r.End; });
    if (it == FRanges.end() || it->Begin > rva)
        return 0;
    return it->End - rva;
}

bool TImageView::Read(uint32_t rva, void *out, uint32_t n) const
{
    if (Readable(rva) < n)
        return false;
    std::memcpy(out, FBase + rva, n);
    return true;
}

bool TImageView::ReadString(uint32_t rva, std::string &text, uint64_t maxLength) const
{
    uint32_t n = Readable(rva);
    if (maxLength < n)
        n = static_cast<uint32_t>(maxLength) + 1;  // the zero byte may stand maxLength bytes on
    if (n == 0)
        return false;
    const char *p = reinterpret_cast<const char *>(FBase + rva);
    const void *nul = std::memchr(p, 0, n);
    if (!nul)
        return false;
    text.assign(p, static_cast<const char *>(nul));
    return true;
}

bool FIImage::ElementRva(uint32_t array, uint32_t index, uint32_t elementSize, uint32_t &rva)
{
    const uint64_t r = uint64_t(array) + uint64_t(index) * elementSize;
    if (r > UINT32_MAX)
        return false;
    rva = static_cast<uint32_t>(r);
    return true;
}
