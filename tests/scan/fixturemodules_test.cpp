// The reader on the fixture modules that the cross build links into its test
// folder (PE32 and PE32+ twins): every entry with its flags, and the export
// table's ordinal base. A missing fixture fails: the build makes them first.
#include "scan/modulereader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

const std::string Folder = KALVEX_CROSS_TESTS "/";
const uint8_t Delay = NameDelayLoaded, Forwarded = NameForwarded, Unnamed = NameUnnamed;

struct TRow {
    std::string Text;
    uint32_t Number;
    uint8_t Flags;
    bool operator==(const TRow &o) const { return Text == o.Text && Number == o.Number && Flags == o.Flags; }
};
std::ostream &operator<<(std::ostream &os, const TRow &r)
{
    return os << r.Text << "/" << r.Number << "/" << int(r.Flags);
}

std::vector<TRow> Rows(const TNameList &list)
{
    std::vector<TRow> out;
    for (const TNameEntry &e : list)
        out.push_back({e.Text, e.Number, e.Flags});
    return out;
}

// fixforward.def: base 10, ordinal 13 an empty slot.
const std::vector<TRow> ForwardRows = {{"ByOrdinal\rNTDLL.#17", 2, Forwarded},
                                       {"HeapSize\rNTDLL.RtlSizeHeap", 1, Forwarded},
                                       {"Local", 0, 0},
                                       {"%14\rNTDLL.RtlFreeHeap", 4, Unnamed | Forwarded},
                                       {"%15", 5, Unnamed}};
// fixexports.def: base 5, Hidden (8) by ordinal only.
const std::vector<TRow> ExportRows = {
    {"AlphaFunc", 1, 0}, {"HeapAlloc", 0, 0}, {"Zeta", 4, 0}, {"heapalloc", 2, 0}, {"%8", 3, Unnamed}};
// lld writes hint 0 into the delay-load name table.
const std::vector<TRow> DelayRows = {{"GetTickCount\rKERNEL32.dll", 500, 0},
                                     {"DelayedByName\rFIXDELAYED.dll", 0, Delay},
                                     {"%7\rFIXDELAYED.dll", 0, Delay}};

std::vector<uint8_t> FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t U32(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, &b.at(at + 3) - 3, 4);
    return v;
}

void Put32(std::vector<uint8_t> &b, size_t at, uint32_t value)
{
    std::memcpy(&b.at(at + 3) - 3, &value, 4);
}

// The file offset of rva, through the section table.
size_t FileOffset(const std::vector<uint8_t> &b, uint32_t rva)
{
    const uint32_t nt = U32(b, 0x3C), sections = U32(b, nt + 4) >> 16;
    const uint32_t table = nt + 24 + (U32(b, nt + 20) & 0xFFFF);
    for (uint32_t i = 0; i < sections; ++i) {
        const uint32_t at = table + 40 * i, va = U32(b, at + 12), raw = U32(b, at + 16);
        if (rva >= va && rva - va < raw)
            return U32(b, at + 20) + (rva - va);
    }
    ADD_FAILURE() << "RVA " << rva << " in no section";
    return 0;
}

}  // namespace

TEST(FixtureModules, EveryEntryOfBothBitnessesWithItsFlagsAndTheBase)
{
    const struct {
        const char *File;
        bool Export;
        uint32_t Base;  // exports only
        const std::vector<TRow> &Rows;
    } cases[] = {
        {"fixforward.dll", true, 10, ForwardRows},
        {"fixforward64.dll", true, 10, ForwardRows},
        {"fixexports.dll", true, 5, ExportRows},
        {"fixexports64.dll", true, 5, ExportRows},
        {"fixdelay.exe", false, 0, DelayRows},
        {"fixdelay64.exe", false, 0, DelayRows},
    };
    for (const auto &c : cases) {
        TNameList list;
        uint32_t base = 0;
        EXPECT_EQ(0u, ReadFunctionNames(Folder + c.File, c.Export, list, nullptr, &base)) << c.File;
        EXPECT_EQ(c.Rows, Rows(list)) << c.File;
        EXPECT_EQ(c.Base, base) << c.File;
    }
    TNameList list;
    EXPECT_EQ(0u, ReadFunctionNames(Folder + "fixnoname.dll", true, list));
    EXPECT_EQ((std::vector<TRow>{{"%1", 0, Unnamed}, {"%2", 1, Unnamed}}), Rows(list));
}

TEST(FixtureModules, AnOldStyleDelayLoadDescriptorReadsAsTheRvaOne)
{
    // fixdelay.exe rewritten as an old linker wrote it: attributes 0, and its
    // addresses, and those of the name table's hint-name records, as virtual
    // addresses. Read as RVAs they would lie far beyond the image.
    std::vector<uint8_t> b = FileBytes(Folder + "fixdelay.exe");
    ASSERT_GT(b.size(), 0x400u) << "no fixdelay.exe in " << Folder;
    const uint32_t optional = U32(b, 0x3C) + 24, base = U32(b, optional + 28);
    const size_t desc = FileOffset(b, U32(b, optional + 96 + 8 * 13));
    const size_t table = FileOffset(b, U32(b, desc + 16));
    Put32(b, desc, 0);
    for (size_t field = desc + 4; field < desc + 28; field += 4)
        if (const uint32_t value = U32(b, field))
            Put32(b, field, value + base);
    for (size_t thunk = table; U32(b, thunk) != 0; thunk += 4)
        if (const uint32_t value = U32(b, thunk); !(value & 0x80000000u))
            Put32(b, thunk, value + base);
    TMemorySource source(b);
    TNameList list;
    EXPECT_EQ(0u, ReadModuleNames(source, false, list));
    EXPECT_EQ(DelayRows, Rows(list));
}
