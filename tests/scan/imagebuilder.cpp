#include "tests/scan/imagebuilder.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

const uint32_t Page = 0x1000;

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

TPeBuilder::TPeBuilder(uint32_t dataPages, uint32_t imageBase)
    : Bytes((1 + dataPages) * Page, 0)
{
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = 0x80;
    std::memcpy(&Bytes[0], &dos, sizeof dos);
    FNt = dos.e_lfanew;

    IMAGE_NT_HEADERS32 nt = {};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
    nt.FileHeader.NumberOfSections = 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
    nt.FileHeader.Characteristics =
        IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE | IMAGE_FILE_DLL;
    IMAGE_OPTIONAL_HEADER32 &opt = nt.OptionalHeader;
    opt.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    opt.ImageBase = imageBase;
    opt.SectionAlignment = Page;
    opt.FileAlignment = Page;
    opt.MajorOperatingSystemVersion = 4;
    opt.MajorSubsystemVersion = 4;
    opt.SizeOfImage = Size();
    opt.SizeOfHeaders = Page;
    opt.SizeOfInitializedData = dataPages * Page;
    opt.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    opt.SizeOfStackReserve = 0x100000;
    opt.SizeOfStackCommit = Page;
    opt.SizeOfHeapReserve = 0x100000;
    opt.SizeOfHeapCommit = Page;
    opt.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    std::memcpy(&Bytes[FNt], &nt, sizeof nt);

    IMAGE_SECTION_HEADER sec = {};
    std::memcpy(sec.Name, ".data", 5);
    sec.Misc.VirtualSize = dataPages * Page;
    sec.VirtualAddress = DataRva;
    sec.SizeOfRawData = dataPages * Page;
    sec.PointerToRawData = DataRva;
    sec.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
    std::memcpy(&Bytes[FNt + sizeof nt], &sec, sizeof sec);
}

void TPeBuilder::SetDirectory(int index, uint32_t rva, uint32_t size)
{
    const uint32_t at = FNt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory) +
                        index * sizeof(IMAGE_DATA_DIRECTORY);
    Put32(at, rva);
    Put32(at + 4, size);
}

void TPeBuilder::Put16(uint32_t rva, uint16_t value)
{
    std::memcpy(&Bytes.at(rva + 1) - 1, &value, sizeof value);
}

void TPeBuilder::Put32(uint32_t rva, uint32_t value)
{
    std::memcpy(&Bytes.at(rva + 3) - 3, &value, sizeof value);
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
    const uint32_t nameArray = dirRva + sizeof(IMAGE_EXPORT_DIRECTORY);
    const uint32_t ordinalArray = nameArray + 4 * count;
    uint32_t text = ordinalArray + 2 * count;
    Put32(dirRva + offsetof(IMAGE_EXPORT_DIRECTORY, Base), 1);
    Put32(dirRva + offsetof(IMAGE_EXPORT_DIRECTORY, NumberOfNames), count);
    Put32(dirRva + offsetof(IMAGE_EXPORT_DIRECTORY, AddressOfNames), nameArray);
    Put32(dirRva + offsetof(IMAGE_EXPORT_DIRECTORY, AddressOfNameOrdinals), ordinalArray);
    for (uint32_t i = 0; i < count; ++i) {
        Put32(nameArray + 4 * i, text);
        Put16(ordinalArray + 2 * i, ordinals.at(i));
        PutString(text, names[i]);
        text += static_cast<uint32_t>(names[i].size()) + 1;
    }
    SetDirectory(IMAGE_DIRECTORY_ENTRY_EXPORT, dirRva, text - dirRva);
    return text;
}

uint32_t TPeBuilder::PutImports(uint32_t dirRva, const std::vector<TImport> &imports)
{
    uint32_t next = dirRva + 20 * static_cast<uint32_t>(imports.size() + 1);
    for (size_t d = 0; d < imports.size(); ++d) {
        const TImport &imp = imports[d];
        const uint32_t desc = dirRva + 20 * static_cast<uint32_t>(d);
        const uint32_t lookup = next;
        next += 4 * static_cast<uint32_t>(imp.Names.size() + imp.Ordinals.size() + 1);
        Put32(desc + 0, lookup);
        Put32(desc + 12, next);
        Put32(desc + 16, lookup);  // FirstThunk: never read, any value
        PutString(next, imp.Module);
        next += static_cast<uint32_t>(imp.Module.size()) + 1;
        uint32_t slot = lookup;
        for (size_t i = 0; i < imp.Names.size(); ++i, slot += 4) {
            Put32(slot, next);
            Put16(next, static_cast<uint16_t>(100 + i));
            PutString(next + 2, imp.Names[i]);
            next += 2 + static_cast<uint32_t>(imp.Names[i].size()) + 1;
        }
        for (uint16_t ordinal : imp.Ordinals) {
            Put32(slot, 0x80000000u | ordinal);
            slot += 4;
        }
    }
    SetDirectory(IMAGE_DIRECTORY_ENTRY_IMPORT, dirRva, 20 * static_cast<uint32_t>(imports.size() + 1));
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
    b.SetDirectory(IMAGE_DIRECTORY_ENTRY_IMPORT, TPeBuilder::DataRva, 20 * (count + 1));
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
    b.SetDirectory(IMAGE_DIRECTORY_ENTRY_IMPORT, TPeBuilder::DataRva, 20 * (descriptors + 1));
    return b;
}

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
