#include "tests/scan/imagebuilder.h"

#include "scan/nametables.h"
#include "scan/peimage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const uint32_t Page = 0x1000;
const uint32_t Sector = 0x200;
const uint32_t SectionHeaderSize = 40;

uint32_t RoundUp(uint32_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

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
    : Bytes((1 + dataPages) * Page, 0), FIs64(pe32plus), FImageBase(pe32plus ? uint64_t(imageBase) << 8 : imageBase)
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
        Put64(Optional + 24, FImageBase);
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

uint32_t TPeBuilder::Get32(uint32_t rva) const
{
    uint32_t value;
    std::memcpy(&value, &Bytes.at(rva + 3) - 3, sizeof value);
    return value;
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
                                const std::vector<uint16_t> &ordinals, const std::vector<TSlot> &slots)
{
    const uint32_t count = static_cast<uint32_t>(names.size()), functions = static_cast<uint32_t>(slots.size());
    const uint32_t nameArray = dirRva + ExportDirectorySize;
    const uint32_t ordinalArray = nameArray + 4 * count;
    const uint32_t addressArray = ordinalArray + 2 * count;
    uint32_t text = addressArray + 4 * functions;
    Put32(dirRva + 16, 1);  // Base
    Put32(dirRva + 20, functions);
    Put32(dirRva + NumberOfNamesAt, count);
    Put32(dirRva + 28, functions ? addressArray : 0);  // AddressOfFunctions
    Put32(dirRva + 32, nameArray);     // AddressOfNames
    Put32(dirRva + 36, ordinalArray);  // AddressOfNameOrdinals
    auto putText = [&](const std::string &s) {
        PutString(text, s);
        text += static_cast<uint32_t>(s.size()) + 1;
    };
    for (uint32_t i = 0; i < count; ++i) {
        Put32(nameArray + 4 * i, text);
        Put16(ordinalArray + 2 * i, ordinals.at(i));
        putText(names[i]);
    }
    for (uint32_t i = 0; i < functions; ++i) {
        Put32(addressArray + 4 * i, slots[i].Forwarder.empty() ? slots[i].Code : text);
        if (!slots[i].Forwarder.empty())
            putText(slots[i].Forwarder);
    }
    SetDirectory(0, dirRva, text - dirRva);
    return text;
}

uint32_t TPeBuilder::PutDescriptors(uint32_t dirRva, const std::vector<TImport> &imports, uint32_t descSize,
                                    uint32_t nameAt, uint32_t tableAt, uint32_t iatAt, uint64_t va)
{
    const uint32_t thunk = FIs64 ? 8 : 4;
    auto putThunk = [&](uint32_t slot, uint64_t value) {
        FIs64 ? Put64(slot, value) : Put32(slot, static_cast<uint32_t>(value));
    };
    uint32_t next = dirRva + descSize * static_cast<uint32_t>(imports.size() + 1);
    for (size_t d = 0; d < imports.size(); ++d) {
        const TImport &imp = imports[d];
        const uint32_t desc = dirRva + descSize * static_cast<uint32_t>(d);
        const uint32_t lookup = next;
        next += thunk * static_cast<uint32_t>(imp.Names.size() + imp.Ordinals.size() + 1);
        Put32(desc + tableAt, static_cast<uint32_t>(lookup + va));
        Put32(desc + iatAt, static_cast<uint32_t>(lookup + va));  // never read, any value
        Put32(desc + nameAt, static_cast<uint32_t>(next + va));
        PutString(next, imp.Module);
        next += static_cast<uint32_t>(imp.Module.size()) + 1;
        uint32_t slot = lookup;
        for (size_t i = 0; i < imp.Names.size(); ++i, slot += thunk) {
            putThunk(slot, next + va);
            Put16(next, static_cast<uint16_t>(100 + i));
            PutString(next + 2, imp.Names[i]);
            next += 2 + static_cast<uint32_t>(imp.Names[i].size()) + 1;
        }
        for (uint16_t ordinal : imp.Ordinals) {
            putThunk(slot, (FIs64 ? 0x8000000000000000u : 0x80000000u) | ordinal);
            slot += thunk;
        }
    }
    return next;
}

uint32_t TPeBuilder::PutImports(uint32_t dirRva, const std::vector<TImport> &imports)
{
    // OriginalFirstThunk at 0, Name at 12, FirstThunk at 16.
    const uint32_t end = PutDescriptors(dirRva, imports, 20, 12, 0, 16, 0);
    SetDirectory(1, dirRva, 20 * static_cast<uint32_t>(imports.size() + 1));
    return end;
}

uint32_t TPeBuilder::PutDelayImports(uint32_t dirRva, const std::vector<TImport> &imports, bool oldStyle)
{
    // Attributes at 0, DllNameRVA at 4, ImportAddressTableRVA at 12,
    // ImportNameTableRVA at 16.
    const uint32_t end = PutDescriptors(dirRva, imports, 32, 4, 16, 12, oldStyle ? FImageBase : 0);
    for (size_t d = 0; d < imports.size(); ++d)
        Put32(dirRva + 32 * static_cast<uint32_t>(d), oldStyle ? 0 : 1);
    SetDirectory(13, dirRva, 32 * static_cast<uint32_t>(imports.size() + 1));
    return end;
}

TPeBuilder SharedNameImports(uint32_t size, bool delayLoad)
{
    TPeBuilder b(size / Page - 1);
    const uint32_t half = size / 2;
    const uint32_t empty = half;          // a zero thunk
    const uint32_t name = half + 4;       // the module name runs to the last byte
    // Import descriptor: lookup table at 0, name at 12, address table at 16;
    // delay-load descriptor: attributes at 0, name at 4, name table at 16.
    const uint32_t descSize = delayLoad ? 32 : 20, nameAt = delayLoad ? 4 : 12;
    const uint32_t count = (half - TPeBuilder::DataRva) / descSize - 1;
    for (uint32_t d = 0; d < count; ++d) {
        const uint32_t desc = TPeBuilder::DataRva + descSize * d;
        b.Put32(desc + 0, delayLoad ? 1 : empty);
        b.Put32(desc + nameAt, name);
        b.Put32(desc + 16, empty);
    }
    std::memset(&b.Bytes[name], 'N', size - 1 - name);
    b.SetDirectory(delayLoad ? 13 : 1, TPeBuilder::DataRva, descSize * (count + 1));
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

TPeBuilder SpreadExports(uint32_t sections, uint32_t names, bool oneSection)
{
    // Window t shows the names' raw data from sector t - 1 on for a page, so
    // the names of sector c show in windows c and c + 1: the names alternate
    // between them, and the sectors are as many as the windows allow.
    TPeBuilder b(0);
    const uint32_t windows = sections - 1, sectors = sections > 2 ? sections - 2 : 1;
    const uint32_t perSector = (names + sectors - 1) / sectors, slot = perSector ? Sector / perSector : 0;
    if (sections < 3 || slot < 16)
        return b;  // too few sections for the names: an image without them
    const uint32_t table = b.SectionAt();
    const uint32_t headers = RoundUp(table + SectionHeaderSize * sections, Sector);
    const uint32_t arrays = RoundUp(TPeBuilder::ExportDirectorySize + 6 * names, Sector);
    const uint32_t nameData = headers + arrays;  // file offset of sector 0
    const uint32_t fileSize = nameData + Sector * sectors + Page;
    const uint32_t dirRva = RoundUp(headers, Page);
    const uint32_t windowRva = dirRva + RoundUp(arrays, Page);
    b.Bytes.resize(table);
    b.Bytes.resize(fileSize, 0);
    b.Put16(TPeBuilder::Nt + 6, static_cast<uint16_t>(oneSection ? 1 : sections));
    b.Put32(TPeBuilder::FileAlignmentAt, Sector);
    b.Put32(TPeBuilder::SizeOfHeadersAt, headers);
    auto putSection = [&](uint32_t i, uint32_t rva, uint32_t size, uint32_t raw) {
        const uint32_t at = table + SectionHeaderSize * i;
        std::memcpy(&b.Bytes[at], ".data", 5);
        b.Put32(at + 8, size);   // VirtualSize
        b.Put32(at + 12, rva);
        b.Put32(at + 16, size);  // SizeOfRawData
        b.Put32(at + 20, raw);
        b.Put32(at + 36, 0x40 | 0x40000000);  // initialized data, read
    };
    if (oneSection) {
        putSection(0, dirRva, fileSize - headers, headers);
        b.Put32(TPeBuilder::SizeOfImageAt, dirRva + RoundUp(fileSize - headers, Page));
    } else {
        putSection(0, dirRva, arrays, headers);
        for (uint32_t t = 0; t < windows; ++t)
            putSection(1 + t, windowRva + t * Page, Page, nameData + t * Sector - Sector);
        b.Put32(TPeBuilder::SizeOfImageAt, windowRva + windows * Page);
    }
    // The export directory and its arrays hold RVAs; they are written at file
    // offsets, the first section's raw data starting at headers.
    const uint32_t nameArray = dirRva + TPeBuilder::ExportDirectorySize;
    const uint32_t ordinalArray = nameArray + 4 * names;
    b.Put32(headers + 16, 1);  // Base
    b.Put32(headers + TPeBuilder::NumberOfNamesAt, names);
    b.Put32(headers + 32, nameArray);
    b.Put32(headers + 36, ordinalArray);
    b.SetDirectory(0, dirRva, TPeBuilder::ExportDirectorySize + 6 * names);
    for (uint32_t i = 0; i < names; ++i) {
        const uint32_t sector = i / perSector, k = i % perSector;
        const uint32_t at = Sector * sector + slot * k;  // from sector 0 on
        char text[16];
        std::snprintf(text, sizeof text, "F%07u", unsigned(i));
        b.PutString(nameData + at, text);
        const uint32_t t = sector + 1 - k % 2;
        const uint32_t rva = oneSection ? dirRva + arrays + at : windowRva + t * Page + Sector + at - t * Sector;
        b.Put32(headers + (nameArray - dirRva) + 4 * i, rva);
        b.Put16(headers + (ordinalArray - dirRva) + 2 * i, static_cast<uint16_t>(i));
    }
    return b;
}

namespace {

const TNamePairs TwoExports{{"Alpha", 0}, {"Beta", 1}};

// The RVA of export name i's pointer.
uint32_t NameSlot(uint32_t i)
{
    return TPeBuilder::DataRva + TPeBuilder::ExportDirectorySize + 4 * i;
}

void LowAlignment(TPeBuilder &b, uint32_t alignment = 0x200)
{
    b.Put32(TPeBuilder::SectionAlignmentAt, alignment);
    b.Put32(TPeBuilder::FileAlignmentAt, alignment);
}

// Low alignment, the exports moved to 0x1800 and 96 section headers, the
// first as built.
void SectionTableIntoSecondPage(TPeBuilder &b, uint32_t sizeOfImage)
{
    LowAlignment(b);
    std::fill(b.Bytes.begin() + TPeBuilder::DataRva, b.Bytes.begin() + 0x1800, 0);
    b.PutExports(0x1800, {"Alpha", "Beta"}, {0, 1});
    b.Put16(TPeBuilder::Nt + 6, 96);
    b.Put32(TPeBuilder::SizeOfImageAt, sizeOfImage);
}

}  // namespace

TPeBuilder LayoutCaseImage(const TLayoutCase &c, bool pe32plus)
{
    TPeBuilder b(2, 0x30000000, pe32plus);
    b.PutExports(TPeBuilder::DataRva, {"Alpha", "Beta"}, {0, 1});
    if (c.Change)
        c.Change(b, b.SectionAt());
    return b;
}

const std::vector<TLayoutCase> &LayoutCases()
{
    static const std::vector<TLayoutCase> cases = {
        {"as built", nullptr, 0, TwoExports, nullptr},
        // The section's raw data ends before its virtual size: the rest reads
        // as zeros, so a name there is empty.
        {"name in the zero-filled tail",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 16, 0x200);  // SizeOfRawData
             b.Put32(NameSlot(1), 0x2100);
         },
         0, {{"Alpha", 0}, {"", 1}}, nullptr},
        // Raw data past the virtual size shows to the end of its last page,
        // and no further.
        {"name past the virtual size in its last page",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 8, 0x1100);  // VirtualSize
             b.PutString(0x2200, "Shown");
             b.Put32(NameSlot(1), 0x2200);
         },
         0, {{"Alpha", 0}, {"Shown", 1}}, nullptr},
        {"name past the virtual size's last page",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 8, 0x1000);
             b.PutString(0x2000, "Cut");
             b.Put32(NameSlot(1), 0x2000);
         },
         0, {{"Alpha", 0}, {"", 1}}, nullptr},
        // The headers reach SizeOfHeaders or the section table's end, which
        // is further: the section's own name shows, the byte after the table
        // does not.
        {"name in the section table past SizeOfHeaders",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(TPeBuilder::SizeOfHeadersAt, 0x100);
             b.Put32(NameSlot(1), sec);
         },
         0, {{"Alpha", 0}, {".data", 1}}, nullptr},
        {"name past the section table and SizeOfHeaders",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(TPeBuilder::SizeOfHeadersAt, 0x100);
             b.PutString(sec + 40, "Cut");
             b.Put32(NameSlot(1), sec + 40);
         },
         0, {{"Alpha", 0}, {"", 1}}, nullptr},
        {"name in the headers",
         [](TPeBuilder &b, uint32_t) {
             b.PutString(0x400, "InHeader");
             b.Put32(NameSlot(0), 0x400);
         },
         0, {{"InHeader", 0}, {"Beta", 1}}, nullptr},
        {"RVA past the image", [](TPeBuilder &b, uint32_t) { b.Put32(NameSlot(1), 0x00F00000); }, CodeWalkFault,
         {{"Alpha", 0}}, nullptr},
        // The section moves a page up, its data stays: the directory's arrays
        // now lie in the gap below it and read as zeros, so both names are
        // read at RVA 0, the headers' "MZ".
        {"arrays in a gap between the headers and the section",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 12, 0x2000);
             b.Put32(TPeBuilder::SizeOfImageAt, 0x4000);
             b.SetDirectory(0, 0x2000, 0x40);
         },
         0, {{"MZ", 0}, {"MZ", 0}}, nullptr},
        // Raw data is read from the sector below its pointer, as the loader does.
        {"raw pointer inside a sector",
         [](TPeBuilder &b, uint32_t sec) { b.Put32(sec + 20, TPeBuilder::DataRva + 0x10); }, 0, TwoExports, nullptr},
        {"file cut inside the section's raw data", [](TPeBuilder &b, uint32_t) { b.Bytes.resize(0x2000); },
         CodeBadExeFormat, Untouched, nullptr},
        {"section past SizeOfImage",
         [](TPeBuilder &b, uint32_t) { b.Put32(TPeBuilder::SizeOfImageAt, 0x2000); }, CodeBadExeFormat, Untouched,
         nullptr},
        {"SizeOfImage 0 without sections",
         [](TPeBuilder &b, uint32_t) {
             b.Put16(TPeBuilder::Nt + 6, 0);
             b.Put32(TPeBuilder::SizeOfImageAt, 0);
         },
         CodeBadExeFormat, Untouched, nullptr},
        {"SizeOfImage that rounds up past 32 bits",
         [](TPeBuilder &b, uint32_t) { b.Put32(TPeBuilder::SizeOfImageAt, 0xFFFFF001); }, CodeBadExeFormat, Untouched,
         nullptr},
        {"sizes at the 32-bit limit",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(TPeBuilder::SizeOfImageAt, 0xFFFFF000);
             b.Put32(TPeBuilder::SizeOfHeadersAt, 0xFFFFFFFF);
             b.Put32(sec + 8, 0xFFFFE000);  // ends at the last page
             b.Put32(NameSlot(1), 0xFFFFF010);
         },
         CodeWalkFault, {{"Alpha", 0}}, "a 32-bit process has no room for a 4 GiB image"},
        // Section alignment not a multiple of a page: the image is the file.
        {"low alignment", [](TPeBuilder &b, uint32_t) { LowAlignment(b); }, 0, TwoExports, nullptr},
        // Section alignment above a page but no multiple of it lays the image
        // out as the file too: the section's raw data past its virtual
        // size's last page shows.
        {"alignment above a page, no multiple of it",
         [](TPeBuilder &b, uint32_t sec) {
             LowAlignment(b, 0x1100);
             b.Put32(sec + 8, 0x1000);
             b.PutString(0x2000, "Flat");
             b.Put32(NameSlot(1), 0x2000);
         },
         0, {{"Alpha", 0}, {"Flat", 1}}, nullptr},
        // Alignment 0 is a multiple of a page: the sections are laid out.
        {"alignment 0, raw pointer inside a sector",
         [](TPeBuilder &b, uint32_t sec) {
             LowAlignment(b, 0);
             b.Put32(sec + 20, TPeBuilder::DataRva + 0x10);
         },
         0, TwoExports, nullptr},
        {"low alignment, section away from its raw data",
         [](TPeBuilder &b, uint32_t sec) {
             LowAlignment(b);
             b.Put32(sec + 20, 0x1200);
         },
         CodeBadExeFormat, Untouched, nullptr},
        {"low alignment, section without raw data at pointer 0",
         [](TPeBuilder &b, uint32_t sec) {
             LowAlignment(b);
             b.Put32(sec + 16, 0);
             b.Put32(sec + 20, 0);
         },
         CodeBadExeFormat, Untouched, nullptr},
        {"low alignment, alignments differ",
         [](TPeBuilder &b, uint32_t) {
             b.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
             b.Put32(TPeBuilder::FileAlignmentAt, 0x100);
         },
         CodeBadExeFormat, Untouched, nullptr},
        // The file shows as far as the image reaches, whatever the sections say.
        {"low alignment, section past SizeOfImage",
         [](TPeBuilder &b, uint32_t) {
             LowAlignment(b);
             b.Put32(TPeBuilder::SizeOfImageAt, 0x1800);
         },
         0, TwoExports, nullptr},
        {"low alignment, name past SizeOfImage",
         [](TPeBuilder &b, uint32_t) {
             LowAlignment(b);
             b.Put32(TPeBuilder::SizeOfImageAt, 0x2000);
             b.Put32(NameSlot(1), 0x2100);
         },
         CodeWalkFault, {{"Alpha", 0}}, nullptr},
        {"low alignment, raw data past the file's end",
         [](TPeBuilder &b, uint32_t) {
             LowAlignment(b);
             b.Bytes.resize(0x1400);
             b.PutString(0x13FC, "End");
             b.Put32(NameSlot(1), 0x13FC);
         },
         0, {{"Alpha", 0}, {"End", 1}}, nullptr},
        {"low alignment, name past the file's end",
         [](TPeBuilder &b, uint32_t) {
             LowAlignment(b);
             b.Bytes.resize(0x1400);
             b.Put32(NameSlot(1), 0x2000);
         },
         0, {{"Alpha", 0}, {"", 1}}, nullptr},
        // 96 sections: the table ends 0x78 bytes into the second page; the
        // headers after the first are all zeros (RVA 0 at raw pointer 0).
        {"low alignment, section table past the image",
         [](TPeBuilder &b, uint32_t) { SectionTableIntoSecondPage(b, 0x1000); }, CodeBadExeFormat, Untouched,
         nullptr},
        {"low alignment, section table inside the image",
         [](TPeBuilder &b, uint32_t) { SectionTableIntoSecondPage(b, 0x2000); }, 0, TwoExports, nullptr},
        {"no export directory", [](TPeBuilder &b, uint32_t) { b.SetDirectory(0, 0, 0); }, 0, Untouched, nullptr},
        {"directory count below the entry", [](TPeBuilder &b, uint32_t) { b.Put32(b.DirectoryAt(0) - 4, 0); }, 0,
         Untouched, nullptr},
        {"directory outside the image", [](TPeBuilder &b, uint32_t) { b.SetDirectory(0, 0x7FFFFFF0, 40); },
         CodeWalkFault, {}, nullptr},
        {"section table past the file", [](TPeBuilder &b, uint32_t) { b.Put16(TPeBuilder::Nt + 6, 0xFFFF); },
         CodeBadExeFormat, Untouched, nullptr},
        {"ROM magic", [](TPeBuilder &b, uint32_t) { b.Put16(TPeBuilder::MagicAt, 0x107); }, CodeBadExeFormat,
         Untouched, nullptr},
        {"no PE signature", [](TPeBuilder &b, uint32_t) { b.Put32(TPeBuilder::Nt, 0x00004551); }, CodeBadExeFormat,
         Untouched, nullptr},
        {"no MZ", [](TPeBuilder &b, uint32_t) { b.Put16(0, 0x5A4E); }, CodeBadExeFormat, Untouched, nullptr},
        {"e_lfanew past the file", [](TPeBuilder &b, uint32_t) { b.Put32(0x3C, 0x10000); }, CodeBadExeFormat,
         Untouched, nullptr},
        {"e_lfanew at the 32-bit limit", [](TPeBuilder &b, uint32_t) { b.Put32(0x3C, 0xFFFFFFFE); },
         CodeBadExeFormat, Untouched, nullptr},
        {"headers cut short", [](TPeBuilder &b, uint32_t) { b.Bytes.resize(TPeBuilder::Optional + 40); },
         CodeBadExeFormat, Untouched, nullptr},
        {"empty file", [](TPeBuilder &b, uint32_t) { b.Bytes.clear(); }, CodeBadExeFormat, Untouched, nullptr},
    };
    return cases;
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

std::string NameListText(uint32_t code, uint32_t base, const TNameList &list)
{
    std::string text = std::to_string(code) + " " + std::to_string(base) + "\n";
    for (const TNameEntry &e : list)
        text += e.Text + "|" + std::to_string(e.Number) + "|" + std::to_string(e.NameSize) + "|" +
                std::to_string(e.Flags) + "\n";
    return text;
}
