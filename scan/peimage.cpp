#include "scan/peimage.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace {

const uint32_t Page = 0x1000;
const uint32_t Sector = 0x200;  // the loader reads raw data from sector-aligned offsets
const uint32_t LastPage = 0xFFFFF000u;

// Header field offsets: IMAGE_DOS_HEADER, IMAGE_NT_HEADERS, the optional
// header of PE32 and PE32+, IMAGE_SECTION_HEADER.
const uint32_t DosLfanew = 0x3C;
const uint32_t NtFileHeader = 4;
const uint32_t FileNumberOfSections = 2;
const uint32_t FileSizeOfOptionalHeader = 16;
const uint32_t NtOptionalHeader = 24;
const uint32_t OptImageBase32 = 28, OptImageBase64 = 24;
const uint32_t OptSectionAlignment = 32;
const uint32_t OptFileAlignment = 36;
const uint32_t OptSizeOfImage = 56;
const uint32_t OptSizeOfHeaders = 60;
const uint32_t OptRvaCount32 = 92, OptRvaCount64 = 108;
const uint32_t OptDirectories32 = 96, OptDirectories64 = 112;
const uint32_t SectionHeaderSize = 40;
const uint32_t SecVirtualSize = 8;
const uint32_t SecVirtualAddress = 12;
const uint32_t SecSizeOfRawData = 16;
const uint32_t SecPointerToRawData = 20;

uint64_t RoundUp(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

template <class T> T Field(const uint8_t *p, uint32_t at)
{
    T value;
    std::memcpy(&value, p + at, sizeof value);
    return value;
}

}  // namespace

const uint8_t *TPeImage::FileSpan(uint64_t offset, uint32_t &available) const
{
    const uint64_t start = offset / BlockSize * BlockSize;
    TBlock *block = nullptr;
    for (TBlock &b : FBlocks)
        if (b.Offset == start)
            block = &b;
    if (!block) {
        block = &FBlocks[0];
        for (TBlock &b : FBlocks)
            if (b.Used < block->Used)
                block = &b;
        const uint64_t size = FFile.Size();
        if (start >= size)
            return nullptr;
        block->Data.resize(BlockSize);
        block->Size = static_cast<uint32_t>(std::min<uint64_t>(BlockSize, size - start));
        block->Offset = start;
        if (!FFile.ReadAt(start, block->Data.data(), block->Size)) {
            block->Offset = UINT64_MAX;  // the file shrank or failed: nothing cached
            return nullptr;
        }
    }
    block->Used = ++FClock;
    const uint32_t at = static_cast<uint32_t>(offset - start);
    if (at >= block->Size)
        return nullptr;
    available = block->Size - at;
    return block->Data.data() + at;
}

bool TPeImage::FileRead(uint64_t offset, uint8_t *out, uint32_t n) const
{
    while (n > 0) {
        uint32_t available;
        const uint8_t *p = FileSpan(offset, available);
        if (!p)
            return false;
        const uint32_t take = std::min(n, available);
        std::memcpy(out, p, take);
        out += take;
        offset += take;
        n -= take;
    }
    return true;
}

uint32_t TPeImage::Open()
{
    FRuns.clear();
    FRunBegins.clear();
    FRecent[0] = FRecent[1] = 0;
    uint8_t dos[DosLfanew + 4];
    uint32_t nt;
    if (!FileRead(0, dos, sizeof dos) || Field<uint16_t>(dos, 0) != 0x5A4D)  // "MZ"
        return CodeBadExeFormat;
    nt = Field<uint32_t>(dos, DosLfanew);
    // All header RVAs below are 32-bit sums: keep them from wrapping.
    if (nt > UINT32_MAX - 0x20000)
        return CodeBadExeFormat;
    // Signature, file header and the optional header up to its directories.
    uint8_t head[NtOptionalHeader + OptDirectories64];
    if (!FileRead(nt, head, NtOptionalHeader + OptDirectories32) || Field<uint32_t>(head, 0) != 0x00004550)
        return CodeBadExeFormat;
    const uint16_t magic = Field<uint16_t>(head, NtOptionalHeader);
    if (magic == 0x20B) {
        FIs64 = true;
        if (!FileRead(nt, head, sizeof head))
            return CodeBadExeFormat;
    } else if (magic != 0x10B) {
        return CodeBadExeFormat;
    }
    const uint8_t *opt = head + NtOptionalHeader;
    FImageBase = FIs64 ? Field<uint64_t>(opt, OptImageBase64) : Field<uint32_t>(opt, OptImageBase32);
    FOptional = nt + NtOptionalHeader;
    const uint32_t sectionTable = FOptional + Field<uint16_t>(head, NtFileHeader + FileSizeOfOptionalHeader);
    return LayOut(Field<uint32_t>(opt, OptSizeOfImage), Field<uint32_t>(opt, OptSizeOfHeaders),
                  Field<uint16_t>(head, NtFileHeader + FileNumberOfSections), sectionTable,
                  Field<uint32_t>(opt, OptSectionAlignment), Field<uint32_t>(opt, OptFileAlignment));
}

uint32_t TPeImage::LayOut(uint32_t sizeOfImage, uint32_t sizeOfHeaders, uint16_t sections,
                          uint32_t sectionTable, uint32_t sectionAlignment, uint32_t fileAlignment)
{
    // An empty image, or one whose size rounds up past 32 bits, the loader
    // refuses; so it does one whose section table ends outside the image.
    if (sizeOfImage == 0 || sizeOfImage > LastPage)
        return CodeBadExeFormat;
    const uint64_t fileSize = FFile.Size();
    const uint32_t total = static_cast<uint32_t>(RoundUp(sizeOfImage, Page));
    std::vector<uint8_t> table(uint64_t(sections) * SectionHeaderSize);
    const uint64_t tableEnd = uint64_t(sectionTable) + table.size();
    if (tableEnd > total)
        return CodeBadExeFormat;
    if (!table.empty() && (sectionTable < FOptional || !FileRead(sectionTable, table.data(), uint32_t(table.size()))))
        return CodeBadExeFormat;
    auto section = [&](uint32_t i, uint32_t field) {
        return Field<uint32_t>(table.data(), i * SectionHeaderSize + field);
    };

    // The whole image reads as zeros where no file data lies over it.
    std::vector<TPart> parts{{0, total, 0, 0}};
    if (sectionAlignment % Page != 0) {
        // Such an image is the file itself, as far as the image reaches: every
        // section must stand where its raw data is, or the loader refuses it,
        // but neither the image's size nor the file's end bounds a section.
        if (fileAlignment != sectionAlignment)
            return CodeBadExeFormat;
        for (uint32_t i = 0; i < sections; ++i)
            if (section(i, SecVirtualAddress) != section(i, SecPointerToRawData))
                return CodeBadExeFormat;
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(total, fileSize));
        parts.push_back({0, end, 0, end});
        Resolve(parts);
        return 0;
    }

    // The headers as far as SizeOfHeaders or the section table's end, then
    // each section in table order over what lies below: its raw data from the
    // sector it starts in, as far as the last page of its virtual size (raw
    // data past the virtual size shows to that page's end), zeros after it.
    const uint32_t headers =
        static_cast<uint32_t>(std::min<uint64_t>({std::max<uint64_t>(sizeOfHeaders, tableEnd), fileSize, total}));
    parts.push_back({0, headers, 0, headers});
    for (uint32_t i = 0; i < sections; ++i) {
        const uint32_t virtualSize = section(i, SecVirtualSize);
        const uint32_t rawSize = section(i, SecSizeOfRawData);
        const uint32_t rawPointer = section(i, SecPointerToRawData);
        const uint64_t begin = section(i, SecVirtualAddress);
        const uint64_t mapSize = RoundUp(virtualSize ? virtualSize : rawSize, Page);
        if (begin + mapSize > total)
            return CodeBadExeFormat;  // the loader's "section too large"
        if (rawSize == 0 || rawPointer == 0 || mapSize == 0)
            continue;
        const uint64_t fileStart = rawPointer / Sector * Sector;
        const uint64_t fileBytes = std::min(RoundUp(uint64_t(rawSize) + rawPointer % Sector, Sector), mapSize);
        if (rawPointer >= fileSize || fileStart + fileBytes > RoundUp(fileSize, Sector))
            return CodeBadExeFormat;  // raw data past the end: a truncated file
        const uint64_t end = begin + std::min(RoundUp(fileBytes, Page), mapSize);
        parts.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(end), fileStart,
                         static_cast<uint32_t>(std::min(fileBytes, fileSize - fileStart))});
    }
    Resolve(parts);
    return 0;
}

void TPeImage::Resolve(const std::vector<TPart> &parts)
{
    // A sweep over the parts' edges: between two edges the latest part that
    // covers them shows. Edges are at most twice the parts, so are the runs.
    std::vector<uint32_t> edges, order;
    for (uint32_t i = 0; i < parts.size(); ++i)
        if (parts[i].Begin < parts[i].End) {
            edges.push_back(parts[i].Begin);
            edges.push_back(parts[i].End);
            order.push_back(i);
        }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return parts[a].Begin < parts[b].Begin; });
    std::priority_queue<uint32_t> covering;  // part indexes; ended ones leave when on top
    size_t next = 0;
    for (size_t e = 0; e + 1 < edges.size(); ++e) {
        const uint32_t begin = edges[e], end = edges[e + 1];
        for (; next < order.size() && parts[order[next]].Begin <= begin; ++next)
            covering.push(order[next]);
        while (!covering.empty() && parts[covering.top()].End <= begin)
            covering.pop();
        if (covering.empty())
            continue;
        const TPart &part = parts[covering.top()];
        const uint32_t at = begin - part.Begin;
        const uint32_t fileBytes = at < part.FileBytes ? std::min(part.FileBytes - at, end - begin) : 0;
        if (!FRuns.empty() && FRuns.back().End == begin) {
            // Joined to the run before when its bytes go on from there.
            TPart &last = FRuns.back();
            const uint32_t length = begin - last.Begin;
            if (fileBytes == 0 || (last.FileBytes == length && last.File + length == part.File + at)) {
                last.End = end;
                last.FileBytes += fileBytes;
                continue;
            }
        }
        FRuns.push_back({begin, end, part.File + at, fileBytes});
    }
    // Searched on their own, the begins take a sixth of the runs' room.
    for (const TPart &run : FRuns)
        FRunBegins.push_back(run.Begin);
}

bool TPeImage::Directory(uint32_t index, TDirectory &dir, bool &fault) const
{
    uint32_t &rva = dir.Rva;
    // Read through the image, as the system's lookup reads the mapped headers.
    uint32_t count;
    fault = false;
    const uint32_t countAt = FOptional + (FIs64 ? OptRvaCount64 : OptRvaCount32);
    const uint32_t entryAt = FOptional + (FIs64 ? OptDirectories64 : OptDirectories32) + 8 * index;
    if (!ReadU32(countAt, count)) {
        fault = true;
        return false;
    }
    if (index >= count)
        return false;
    if (!ReadU32(entryAt, rva) || !ReadU32(entryAt + 4, dir.Size)) {
        fault = true;
        return false;
    }
    return rva != 0;
}

const TPeImage::TPart *TPeImage::RunAt(uint32_t rva) const
{
    // A walk's reads go on within one run or switch between a table and the
    // data its entries point at: the two runs found last are looked at first.
    for (int i = 0; i < 2; ++i) {
        const size_t r = FRecent[i];
        if (r < FRuns.size() && rva >= FRuns[r].Begin && rva < FRuns[r].End) {
            std::swap(FRecent[0], FRecent[i]);
            return &FRuns[r];
        }
    }
    // The runs tile the image from RVA 0: the last one that begins at or
    // below rva holds it, if any does.
    const size_t after = static_cast<size_t>(std::upper_bound(FRunBegins.begin(), FRunBegins.end(), rva) -
                                             FRunBegins.begin());
    if (after == 0 || rva >= FRuns[after - 1].End)
        return nullptr;
    FRecent[1] = FRecent[0];
    FRecent[0] = after - 1;
    return &FRuns[after - 1];
}

bool TPeImage::CopyFrom(const TPart &part, uint32_t rva, uint8_t *out, uint32_t n) const
{
    const uint32_t at = rva - part.Begin;
    uint32_t fromFile = 0;
    if (at < part.FileBytes) {
        fromFile = std::min(n, part.FileBytes - at);
        if (!FileRead(part.File + at, out, fromFile))
            return false;
    }
    std::memset(out + fromFile, 0, n - fromFile);
    return true;
}

bool TPeImage::Read(uint32_t rva, void *out, uint32_t n) const
{
    uint8_t *p = static_cast<uint8_t *>(out);
    while (n > 0) {
        const TPart *part = RunAt(rva);
        if (!part)
            return false;
        const uint32_t take = std::min(n, part->End - rva);
        if (!CopyFrom(*part, rva, p, take))
            return false;
        p += take;
        n -= take;
        if (n > 0 && rva > UINT32_MAX - take)
            return false;
        rva += take;
    }
    return true;
}

bool TPeImage::ReadString(uint32_t rva, std::string &text, uint64_t maxLength) const
{
    text.clear();
    for (;;) {
        const TPart *part = RunAt(rva);
        if (!part)
            return false;
        const uint32_t run = part->End - rva;
        // Up to the zero byte that may stand maxLength bytes on.
        const uint64_t left = maxLength - text.size();
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(run, left < UINT32_MAX ? left + 1 : UINT32_MAX));
        const uint32_t at = rva - part->Begin;
        if (at >= part->FileBytes)
            return true;  // zeros: the text ends here
        // Scanned where the file's block holds it, without a copy.
        uint32_t available;
        const uint8_t *p = FileSpan(part->File + at, available);
        if (!p)
            return false;
        take = std::min({take, available, part->FileBytes - at});
        const void *nul = std::memchr(p, 0, take);
        if (nul) {
            text.append(reinterpret_cast<const char *>(p), static_cast<const uint8_t *>(nul) - p);
            return true;
        }
        text.append(reinterpret_cast<const char *>(p), take);
        if (text.size() > maxLength || rva > UINT32_MAX - take)
            return false;
        rva += take;
    }
}
