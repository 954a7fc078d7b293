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

bool TImageView::ReadU16(uint32_t rva, uint16_t &value) const
{
    if (Readable(rva) < sizeof value)
        return false;
    std::memcpy(&value, FBase + rva, sizeof value);
    return true;
}

bool TImageView::ReadU32(uint32_t rva, uint32_t &value) const
{
    if (Readable(rva) < sizeof value)
        return false;
    std::memcpy(&value, FBase + rva, sizeof value);
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

bool TImageView::ElementRva(uint32_t array, uint32_t index, uint32_t elementSize, uint32_t &rva)
{
    const uint64_t r = uint64_t(array) + uint64_t(index) * elementSize;
    if (r > UINT32_MAX)
        return false;
    rva = static_cast<uint32_t>(r);
    return true;
}

uint32_t CheckPe32(const TImageView &image)
{
    // IMAGE_DOS_HEADER.e_lfanew at 0x3C leads to the "PE\0\0" signature; the
    // optional header's magic follows it and the 20-byte file header.
    uint32_t nt, signature, magicRva;
    uint16_t magic;
    if (!image.ReadU32(0x3C, nt) || !image.ReadU32(nt, signature) || signature != 0x00004550 ||
        !TImageView::ElementRva(nt, 24, 1, magicRva) || !image.ReadU16(magicRva, magic) || magic != 0x10B)
        return CodeBadExeFormat;
    return 0;
}
