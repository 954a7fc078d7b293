#include "tests/scan/imagebuilder.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const uint32_t Page = 0x1000;
const uint32_t SectionHeaderSize = 40;

std::vector<TByteRange> RangesWithout(uint32_t size, const std::vector<uint32_t> &holes)
{
    std::vector<TByteRange> ranges;
    for (uint32_t p = 0; p < size; p += Page) {
        bool hole = false;
        for (uint32_t h : holes)
            hole = hole || (h / Page == p / Page);
        if (!hole)
            ranges.push_back({p, p + Page});
    }
    return ranges;
}

}  // namespace

TPeBuilder::TPeBuilder(uint32_t dataPages, uint32_t imageBase, bool pe32plus)
    : Bytes((1 + dataPages) * Page, 0), FIs64(pe32plus)
{
    Put16(0, 0x5A4D);  // "MZ"
    Put32(0x3C, Nt);
    Put32(Nt, 0x00004550);  // "PE\0\0"
    Put16(Nt + 4, FIs64 ? 0x8664 : 0x14C);                      // Machine
    Put16(Nt + 6, 1);                                           // NumberOfSections
    Put16(Nt + 20, FIs64 ? 240 : 224);                          // SizeOfOptionalHeader
    Put16(Nt + 22, 0x2000 | 0x0002 | (FIs64 ? 0x0020 : 0x0100)); // DLL, executable, 32-bit / large address
    Put16(MagicAt, FIs64 ? 0x20B : 0x10B);
    if (FIs64)
        Put64(Optional + 24, uint64_t(imageBase) << 8);
    else
        Put32(Optional + 28, imageBase);
    Put32(SectionAlignmentAt, Page);
    Put32(FileAlignmentAt, Page);
    Put16(Optional + 40, FIs64 ? 6 : 4);  // operating system version
    Put16(Optional + 48, FIs64 ? 6 : 4);  // subsystem version
    Put32(SizeOfImageAt, Size());
    Put32(SizeOfHeadersAt, Page);
    Put32(Optional + 8, dataPages * Page);  // SizeOfInitializedData
    Put16(Optional + 68, 2);                // Subsystem: GUI
    // Stack and heap sizes, 64-bit fields in PE32+, then NumberOfRvaAndSizes.
    const uint32_t sizes = Optional + 72;
    const uint32_t width = FIs64 ? 8 : 4;
    const uint32_t values[] = {0x100000, Page, 0x100000, Page};
    for (int i = 0; i < 4; ++i)
        FIs64 ? Put64(sizes + width * i, values[i]) : Put32(sizes + width * i, values[i]);
    Put32(DirectoryAt(0) - 4, 16);
    const uint32_t sec = SectionAt();
    std::memcpy(&Bytes[sec], ".data", 5);
    Put32(sec + 8, dataPages * Page);   // VirtualSize
    Put32(sec + 12, DataRva);           // VirtualAddress
    Put32(sec + 16, dataPages * Page);  // SizeOfRawData
    Put32(sec + 20, DataRva);           // PointerToRawData
    Put32(sec + 36, 0x40 | 0x40000000 | 0x80000000);  // initialized data, read, write
}

uint32_t TPeBuilder::DirectoryAt(int index) const
{
    return Optional + (FIs64 ? 112 : 96) + 8 * index;
}

uint32_t TPeBuilder::SectionAt() const
{
    return Optional + (FIs64 ? 240 : 224);
}

void TPeBuilder::SetDirectory(int index, uint32_t rva, uint32_t size)
{
    Put32(DirectoryAt(index), rva);
    Put32(DirectoryAt(index) + 4, size);
}

void TPeBuilder::Put16(uint32_t rva, uint16_t value)
{
    std::memcpy(&Bytes.at(rva + 1) - 1, &value, sizeof value);
}

void TPeBuilder::Put32(uint32_t rva, uint32_t value)
{
    std::memcpy(&Bytes.at(rva + 3) - 3, &value, sizeof value);
}

void TPeBuilder::Put64(uint32_t rva, uint64_t value)
{
    std::memcpy(&Bytes.at(rva + 7) - 7, &value, sizeof value);
}

void TPeBuilder::PutString(uint32_t rva, const std::string &text)
{
    Bytes.at(rva + text.size());
    std::memcpy(&Bytes[rva], text.c_str(), text.size() + 1);
}

bool TPeBuilder::WriteTo(const std::string &path) const
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(Bytes.data(), 1, Bytes.size(), f) == Bytes.size();
    return std::fclose(f) == 0 && ok;
}

uint32_t TPeBuilder::PutExports(uint32_t dirRva, const std::vector<std::string> &names,
                                const std::vector<uint16_t> &ordinals)
{
    const uint32_t count = static_cast<uint32_t>(names.size());
    const uint32_t nameArray = dirRva + ExportDirectorySize;
    const uint32_t ordinalArray = nameArray + 4 * count;
    uint32_t text = ordinalArray + 2 * count;
    Put32(dirRva + 16, 1);  // Base
    Put32(dirRva + NumberOfNamesAt, count);
    Put32(dirRva + 32, nameArray);     // AddressOfNames
    Put32(dirRva + 36, ordinalArray);  // AddressOfNameOrdinals
    for (uint32_t i = 0; i < count; ++i) {
        Put32(nameArray + 4 * i, text);
        Put16(ordinalArray + 2 * i, ordinals.at(i));
        PutString(text, names[i]);
        text += static_cast<uint32_t>(names[i].size()) + 1;
    }
    SetDirectory(0, dirRva, text - dirRva);
    return text;
}

uint32_t TPeBuilder::PutImports(uint32_t dirRva, const std::vector<TImport> &imports)
{
    const uint32_t thunk = FIs64 ? 8 : 4;
    uint32_t next = dirRva + 20 * static_cast<uint32_t>(imports.size() + 1);
    for (size_t d = 0; d < imports.size(); ++d) {
        const TImport &imp = imports[d];
        const uint32_t desc = dirRva + 20 * static_cast<uint32_t>(d);
        const uint32_t lookup = next;
        next += thunk * static_cast<uint32_t>(imp.Names.size() + imp.Ordinals.size() + 1);
        Put32(desc + 0, lookup);
        Put32(desc + 12, next);
        Put32(desc + 16, lookup);  // FirstThunk: never read, any value
        PutString(next, imp.Module);
        next += static_cast<uint32_t>(imp.Module.size()) + 1;
        uint32_t slot = lookup;
        for (size_t i = 0; i < imp.Names.size(); ++i, slot += thunk) {
            FIs64 ? Put64(slot, next) : Put32(slot, next);
            Put16(next, static_cast<uint16_t>(100 + i));
            PutString(next + 2, imp.Names[i]);
            next += 2 + static_cast<uint32_t>(imp.Names[i].size()) + 1;
        }
        for (uint16_t ordinal : imp.Ordinals) {
            FIs64 ? Put64(slot, 0x8000000000000000u | ordinal) : Put32(slot, 0x80000000u | ordinal);
            slot += thunk;
        }
    }
    SetDirectory(1, dirRva, 20 * static_cast<uint32_t>(imports.size() + 1));
    return next;
}

TPeBuilder SharedNameImports(uint32_t size)
{
    TPeBuilder b(size / Page - 1);
    const uint32_t half = size / 2;
    const uint32_t empty = half;          // a zero thunk
    const uint32_t name = half + 4;       // the module name runs to the last byte
    const uint32_t count = (half - TPeBuilder::DataRva) / 20 - 1;
    for (uint32_t d = 0; d < count; ++d) {
        const uint32_t desc = TPeBuilder::DataRva + 20 * d;
        b.Put32(desc + 0, empty);
        b.Put32(desc + 12, name);
        b.Put32(desc + 16, empty);
    }
    std::memset(&b.Bytes[name], 'N', size - 1 - name);
    b.SetDirectory(1, TPeBuilder::DataRva, 20 * (count + 1));
    return b;
}

TPeBuilder OrdinalFloodImports(uint32_t descriptors, uint32_t thunks)
{
    const uint32_t lookup = TPeBuilder::DataRva + 20 * (descriptors + 1);
    const uint32_t name = lookup + 4 * (thunks + 1);
    TPeBuilder b((name + 2 - TPeBuilder::DataRva + Page - 1) / Page);
    for (uint32_t d = 0; d < descriptors; ++d) {
        const uint32_t desc = TPeBuilder::DataRva + 20 * d;
        b.Put32(desc + 0, lookup);
        b.Put32(desc + 12, name);
        b.Put32(desc + 16, lookup);
    }
    for (uint32_t t = 0; t < thunks; ++t)
        b.Put32(lookup + 4 * t, 0x80000000u | (t & 0xFFFF));
    b.PutString(name, "A");
    b.SetDirectory(1, TPeBuilder::DataRva, 20 * (descriptors + 1));
    return b;
}

#ifdef _WIN32
TGuardedImage::TGuardedImage(const std::vector<uint8_t> &bytes, const std::vector<uint32_t> &holes)
    : FBlock(static_cast<uint8_t *>(
          VirtualAlloc(nullptr, bytes.size() + 2 * Page, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS))),
      FData(FBlock + Page),
      FView(FData, static_cast<uint32_t>(bytes.size()),
            RangesWithout(static_cast<uint32_t>(bytes.size()), holes))
{
    DWORD old;
    // The size is whole pages, so the page after the image is the guard.
    VirtualProtect(FData, bytes.size(), PAGE_READWRITE, &old);
    std::memcpy(FData, bytes.data(), bytes.size());
    for (uint32_t h : holes)
        VirtualProtect(FData + h / Page * Page, Page, PAGE_NOACCESS, &old);
}

TGuardedImage::~TGuardedImage()
{
    VirtualFree(FBlock, 0, MEM_RELEASE);
}
#else
TGuardedImage::TGuardedImage(const std::vector<uint8_t> &bytes, const std::vector<uint32_t> &holes)
    : FBlock(new uint8_t[bytes.size()]),
      FData(FBlock),
      FView(FData, static_cast<uint32_t>(bytes.size()),
            RangesWithout(static_cast<uint32_t>(bytes.size()), holes))
{
    std::memcpy(FData, bytes.data(), bytes.size());
}

TGuardedImage::~TGuardedImage()
{
    delete[] FBlock;
}
#endif
