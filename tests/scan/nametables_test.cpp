// The table walks over images in guarded memory: any read outside the image
// faults and fails the run, so these tests prove the bounds as well as the
// results.
#include "scan/modulereader.h"
#include "scan/nametables.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace {

const uint32_t Dir = TPeBuilder::DataRva;

const uint8_t Delay = NameDelayLoaded, Forwarded = NameForwarded, Unnamed = NameUnnamed;

struct TEntry {
    std::string Text;
    uint32_t Number;
    uint8_t Flags = 0;
    bool operator==(const TEntry &o) const { return Text == o.Text && Number == o.Number && Flags == o.Flags; }
};
std::ostream &operator<<(std::ostream &os, const TEntry &e)
{
    return os << e.Text << "/" << e.Number << "/" << int(e.Flags);
}

// The entries, each checked to split its name and its detail at NameSize.
std::vector<TEntry> Entries(const TNameList &list)
{
    std::vector<TEntry> out;
    for (const TNameEntry &e : list) {
        const size_t cr = e.Text.find(NameSeparator);
        EXPECT_EQ(cr == std::string::npos ? e.Text.size() : cr, e.NameSize) << e.Text;
        out.push_back({e.Text, e.Number, e.Flags});
    }
    return out;
}

// The reader over the image as a file: both tables as ReadFunctionNames finds them.
uint32_t ReadImage(const TPeBuilder &b, bool exportTable, TNameList &list, uint32_t *base = nullptr)
{
    TMemorySource source(b.Bytes);
    return ReadModuleNames(source, exportTable, list, nullptr, base);
}

uint32_t Exports(const TPeBuilder &b, TNameList &list, const std::vector<uint32_t> &holes = {},
                 uint32_t dir = Dir)
{
    TGuardedImage image(b.Bytes, holes);
    return WalkExportNames(image.View(), dir, list);
}

uint32_t Imports(const TPeBuilder &b, TNameList &list, uint32_t dir = Dir)
{
    TGuardedImage image(b.Bytes);
    return WalkImportNames(image.View(), dir, list);
}

}  // namespace

TEST(ExportWalk, ListsNamesInTableOrderWithRawOrdinals)
{
    TPeBuilder b;
    b.PutExports(Dir, {"Beta", "Alpha", "Gamma"}, {2, 0, 65535});
    TNameList list;
    EXPECT_EQ(0u, Exports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"Beta", 2}, {"Alpha", 0}, {"Gamma", 65535}}), Entries(list));
}

TEST(ExportWalk, GivesTheOrdinalBaseWhenAsked)
{
    TPeBuilder b;
    b.PutExports(Dir, {"Alpha"}, {3});
    b.Put32(Dir + 16, 0x10000);
    TGuardedImage image(b.Bytes);
    TNameList list;
    uint32_t base = 0;
    EXPECT_EQ(0u, WalkExportNames(image.View(), Dir, list, nullptr, &base));
    EXPECT_EQ(0x10000u, base);
    EXPECT_EQ((std::vector<TEntry>{{"Alpha", 3}}), Entries(list));  // the raw index all the same
}

TEST(ExportWalk, NoNamesIsAnEmptySuccess)
{
    TPeBuilder b;
    b.PutExports(Dir, {}, {});
    TNameList list;
    EXPECT_EQ(0u, Exports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(ExportWalk, KeepsEntriesBeforeANameRvaPastTheImage)
{
    TPeBuilder b;
    b.PutExports(Dir, {"One", "Two", "Three"}, {0, 1, 2});
    const uint32_t nameArray = Dir + TPeBuilder::ExportDirectorySize;
    for (uint32_t bad : {b.Size(), 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        b.Put32(nameArray + 8, bad);
        TNameList list;
        EXPECT_EQ(CodeWalkFault, Exports(b, list)) << bad;
        EXPECT_EQ((std::vector<TEntry>{{"One", 0}, {"Two", 1}}), Entries(list)) << bad;
    }
}

TEST(ExportWalk, NameEndingAtTheLastByteIsReadOneByteMoreIsNot)
{
    TPeBuilder b;
    b.PutExports(Dir, {"A"}, {0});
    const uint32_t nameArray = Dir + TPeBuilder::ExportDirectorySize;
    b.PutString(b.Size() - 4, "xyz");  // zero byte is the image's last byte
    b.Put32(nameArray, b.Size() - 4);
    TNameList list;
    EXPECT_EQ(0u, Exports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"xyz", 0}}), Entries(list));

    b.Bytes.back() = 'z';  // no zero byte before the end
    list.clear();
    EXPECT_EQ(CodeWalkFault, Exports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(ExportWalk, NameInAnUnreadablePageFaults)
{
    TPeBuilder b(3);
    b.PutExports(Dir, {"Good", "Bad"}, {0, 1});
    const uint32_t nameArray = Dir + TPeBuilder::ExportDirectorySize;
    b.PutString(0x2000, "InHole");
    b.Put32(nameArray + 4, 0x2000);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Exports(b, list, {0x2000}));
    EXPECT_EQ((std::vector<TEntry>{{"Good", 0}}), Entries(list));
}

TEST(ExportWalk, ArraysRunningOffTheImageEndTheWalk)
{
    // NumberOfNames far beyond the arrays: the walk ends at the image's end.
    TPeBuilder b;
    b.PutExports(Dir, {"A", "B"}, {0, 1});
    b.Put32(Dir + TPeBuilder::NumberOfNamesAt, 0xFFFFFFFFu);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Exports(b, list));
    EXPECT_LE(list.size(), b.Size() / 4);
    EXPECT_EQ("A", list.at(0).Text);

    // An ordinal array that starts in the last two bytes: the second read fails.
    TPeBuilder c;
    c.PutExports(Dir, {"A", "B"}, {0, 1});
    c.Put32(Dir + 36 /* AddressOfNameOrdinals */, c.Size() - 2);
    list.clear();
    EXPECT_EQ(CodeWalkFault, Exports(c, list));
    EXPECT_EQ(1u, list.size());
}

TEST(ExportWalk, DirectoryOutsideTheImageFaults)
{
    TPeBuilder b;
    for (uint32_t dir : {b.Size() - 36, b.Size(), 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        TNameList list;
        EXPECT_EQ(CodeWalkFault, Exports(b, list, {}, dir)) << dir;
        EXPECT_TRUE(list.empty());
    }
}

TEST(ImportWalk, ListsByNameAndByOrdinalWithModuleAfterACarriageReturn)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"KERNEL32.dll", {"GetTickCount", "Sleep"}, {}}, {"WS2_32.dll", {}, {17, 0}}});
    TNameList list;
    EXPECT_EQ(0u, Imports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"GetTickCount\rKERNEL32.dll", 100},
                                   {"Sleep\rKERNEL32.dll", 101},
                                   {"%17\rWS2_32.dll", 0},
                                   {"%0\rWS2_32.dll", 0}}),
              Entries(list));
}

TEST(ImportWalk, OrdinalIsTheLowSixteenBits)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"X.dll", {}, {1}}});
    const uint32_t lookup = Dir + 40;
    b.Put32(lookup, 0xFFFFFFFFu);
    TNameList list;
    EXPECT_EQ(0u, Imports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"%65535\rX.dll", 0}}), Entries(list));
}

TEST(ImportWalk, ZeroLookupTableInTheFirstDescriptorGivesNothing)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    b.Put32(Dir, 0);
    TNameList list;
    EXPECT_EQ(0u, Imports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(ImportWalk, ZeroLookupTableInALaterDescriptorEndsTheWalk)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"A.dll", {"F"}, {}}, {"B.dll", {"G"}, {}}, {"C.dll", {"H"}, {}}});
    b.Put32(Dir + 20, 0);
    TNameList list;
    EXPECT_EQ(0u, Imports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"F\rA.dll", 100}}), Entries(list));
}

TEST(ImportWalk, LookupTableRunningOffTheImageFaults)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"A.dll", {"F"}, {}}, {"B.dll", {}, {3}}});
    // The second descriptor's lookup table: the last four bytes, not ended.
    b.Put32(Dir + 20, b.Size() - 4);
    b.Put32(b.Size() - 4, 0x80000009u);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(b, list));
    EXPECT_EQ((std::vector<TEntry>{{"F\rA.dll", 100}, {"%9\rB.dll", 0}}), Entries(list));
}

TEST(ImportWalk, BadRecordAndModuleNameRvasFault)
{
    for (uint32_t bad : {0x7FFFFFFEu, 0x7FFFFFFFu, 0x3000u}) {
        TPeBuilder b;
        b.PutImports(Dir, {{"A.dll", {"F", "G"}, {}}});
        b.Put32(Dir + 40 + 4, bad);  // second thunk: record RVA
        TNameList list;
        EXPECT_EQ(CodeWalkFault, Imports(b, list)) << bad;
        EXPECT_EQ(1u, list.size()) << bad;
    }
    TPeBuilder c;
    c.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    c.Put32(Dir + 12, 0xFFFFFFFFu);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(c, list));
    EXPECT_TRUE(list.empty());
}

TEST(ImportWalk, DescriptorArrayRunningOffTheImageFaults)
{
    TPeBuilder b;
    b.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    // Eight bytes before the end: the first field reads, the Name field does not.
    b.Put32(b.Size() - 8, 0x2000);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(b, list, b.Size() - 8));
    EXPECT_EQ(CodeWalkFault, Imports(b, list, 0xFFFFFFF8u));
    EXPECT_TRUE(list.empty());
}

TEST(ImportWalk, SelfOverlappingTableEndsAtTheMemoryLimitNotInExhaustion)
{
    // 300 thunks all naming one record of nearly 1 MB: 300 MB to read and
    // 300 MB of texts.
    const uint32_t pages = 260;
    TPeBuilder b(pages);
    const uint32_t record = 0x3000;
    b.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    const uint32_t lookup = 0x2000;
    b.Put32(Dir, lookup);
    for (uint32_t i = 0; i < 300; ++i)
        b.Put32(lookup + 4 * i, record);
    std::fill(b.Bytes.begin() + record + 2, b.Bytes.end() - 1, 'N');
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(b, list));
    // Each entry reads its name and holds a copy of it.
    const uint64_t perEntry = 2 * (b.Size() - record);
    EXPECT_LE(list.size(), NameWalkByteLimit / perEntry);
    EXPECT_GE(list.size(), NameWalkByteLimit / perEntry / 2);
}

TEST(ImportWalk, DescriptorsSharingOneLongModuleNameReadItOnce)
{
    // 200,000 descriptors with empty lookup tables naming one 4 MB name:
    // some 800 GB to read if each read it again. Nothing is listed.
    const TPeBuilder b = SharedNameImports(8u << 20);
    TNameList list;
    EXPECT_EQ(0u, Imports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(ImportWalk, ModuleNamesReadAgainCountAgainstTheLimit)
{
    // The same, but the descriptors take turns between two names (the second
    // one byte into the first), so each reads its name anew: the reads end
    // the walk once they pass the limit.
    TPeBuilder b = SharedNameImports(1u << 20);
    const uint32_t name = b.Get32(Dir + 12);
    for (uint32_t d = 1; b.Get32(Dir + 20 * d) != 0; ++d)
        if (d % 2)
            b.Put32(Dir + 20 * d + 12, name + 1);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(ExportWalk, ForwardersAndUnnamedExportsFollowTheAddressTable)
{
    // Base 5; slots: code, two forwarders, an empty slot, code no name
    // points to, an unnamed forwarder. "Far" names ordinal 9, past the table.
    // Code lies below the directory, so that no case makes it a forwarder.
    const std::vector<TEntry> all = {{"HeapSize\rNTDLL.RtlSizeHeap", 1, Forwarded},
                                     {"ByOrdinal\rNTDLL.#17", 2, Forwarded},
                                     {"Local", 0},
                                     {"Far", 9},
                                     {"%9", 4, Unnamed},
                                     {"%10\rNTDLL.RtlFreeHeap", 5, Unnamed | Forwarded}};
    const struct {
        const char *Name;
        std::function<void(TPeBuilder &)> Change;
        uint32_t Code;
        std::vector<TEntry> Entries;
    } cases[] = {
        {"as built", nullptr, 0, all},
        {"last forwarder's zero byte one past the directory",
         [](TPeBuilder &b) { b.SetDirectory(0, Dir, b.Get32(b.DirectoryAt(0) + 4) - 1); }, CodeWalkFault,
         {all.begin(), all.end() - 1}},
        {"forwarder running to the image's end",
         [](TPeBuilder &b) {
             b.SetDirectory(0, Dir, b.Size() + 0x100 - Dir);
             b.Put32(b.Get32(Dir + 28) + 8, b.Size() - 3);  // slot 2
             b.Put16(b.Size() - 3, 0x7878);
             b.Bytes.back() = 'x';
         },
         CodeWalkFault, {all[0]}},
        {"code right after the directory is no forwarder",
         [](TPeBuilder &b) { b.Put32(b.Get32(Dir + 28) + 16, Dir + b.Get32(b.DirectoryAt(0) + 4)); }, 0, all},
        {"no address table: names alone",
         [](TPeBuilder &b) { b.Put32(Dir + 20, 0); }, 0,
         {{"HeapSize", 1}, {"ByOrdinal", 2}, {"Local", 0}, {"Far", 9}}},
        {"address table running off the image",
         [](TPeBuilder &b) { b.Put32(Dir + 28, b.Size() - 8); }, CodeWalkFault, {{"HeapSize", 1}}},
    };
    for (const auto &c : cases) {
        TPeBuilder b;
        b.PutExports(Dir, {"HeapSize", "ByOrdinal", "Local", "Far"}, {1, 2, 0, 9},
                     {{0x800}, {0, "NTDLL.RtlSizeHeap"}, {0, "NTDLL.#17"}, {0}, {0x900}, {0, "NTDLL.RtlFreeHeap"}});
        b.Put32(Dir + 16, 5);
        if (c.Change)
            c.Change(b);
        TNameList list;
        uint32_t base = 0;
        EXPECT_EQ(c.Code, ReadImage(b, true, list, &base)) << c.Name;
        EXPECT_EQ(c.Entries, Entries(list)) << c.Name;
        EXPECT_EQ(5u, base) << c.Name;
    }
}

TEST(ImportWalk, DelayLoadedImportsFollowTheOrdinaryOnesInBothDescriptorKinds)
{
    // K.dll imported as usual; D.dll and E.dll delay-loaded, their
    // descriptors at delay. PE32 based at 0x400000, PE32+ at 0x40000000.
    const std::vector<TEntry> all = {
        {"F\rK.dll", 100}, {"G\rD.dll", 100, Delay}, {"%5\rD.dll", 0, Delay}, {"%9\rE.dll", 0, Delay}};
    const struct {
        const char *Name;
        bool Pe32Plus, OldStyle;
        std::function<void(TPeBuilder &, uint32_t delay, uint32_t table)> Change;  // table: D.dll's name table
        uint32_t Code;
        std::vector<TEntry> Entries;
    } cases[] = {
        {"RVAs", false, false, nullptr, 0, all},
        {"RVAs, PE32+", true, false, nullptr, 0, all},
        {"old-style", false, true, nullptr, 0, all},
        {"old-style, PE32+", true, true, nullptr, 0, all},
        {"PE32+: bit 31 is no ordinal flag",
         true, false, [](TPeBuilder &b, uint32_t, uint32_t table) { b.Put64(table + 8, 0x80000005u); },
         CodeWalkFault, {all.begin(), all.begin() + 2}},
        {"old-style module name below the image base",
         false, true, [](TPeBuilder &b, uint32_t delay, uint32_t) { b.Put32(delay + 4, 0x3FFFFF); },
         CodeWalkFault, {all[0]}},
        {"old-style name-table entry below the image base",
         false, true, [](TPeBuilder &b, uint32_t, uint32_t table) { b.Put32(table, b.Get32(table) - 0x400000); },
         CodeWalkFault, {all[0]}},
        {"no import directory",
         false, false, [](TPeBuilder &b, uint32_t, uint32_t) { b.SetDirectory(1, 0, 0); }, 0,
         {all.begin() + 1, all.end()}},
        {"descriptor cut by the image's end",
         false, false,
         [](TPeBuilder &b, uint32_t, uint32_t) {
             b.SetDirectory(13, b.Size() - 16, 32);
             b.Put32(b.Size() - 12, Dir);
         },
         CodeWalkFault, {all[0]}},
    };
    for (const auto &c : cases) {
        TPeBuilder b(2, 0x400000, c.Pe32Plus);
        const uint32_t delay = b.PutImports(Dir, {{"K.dll", {"F"}, {}}}) + 16;
        b.PutDelayImports(delay, {{"D.dll", {"G"}, {5}}, {"E.dll", {}, {9}}}, c.OldStyle);
        if (c.Change)
            c.Change(b, delay, b.Get32(delay + 16) - (c.OldStyle ? uint32_t(b.ImageBase()) : 0));
        TNameList list;
        EXPECT_EQ(c.Code, ReadImage(b, false, list)) << c.Name;
        EXPECT_EQ(c.Entries, Entries(list)) << c.Name;
    }
}

TEST(ImportWalk, DelayLoadDescriptorsThatReadTheirNameAnewEndAtTheMemoryLimit)
{
    // As DescriptorsSharingOneLongModuleNameReadItOnce, but each delay-load
    // descriptor reads its module name again: the reads pass the limit long
    // before the descriptors end.
    TNameList list;
    EXPECT_EQ(CodeWalkFault, ReadImage(SharedNameImports(8u << 20, true), false, list));
    EXPECT_TRUE(list.empty());
}

TEST(NameWalks, RandomlyDamagedImagesNeverReadOutsideTheImage)
{
    TPeBuilder good;
    const uint32_t end = good.PutExports(Dir, {"Alpha", "Beta", "Gamma", "Delta"}, {0, 1, 2, 3},
                                         {{0x800}, {0, "K.F"}, {0}, {0x900}, {0, "K.#3"}});
    TImportTables tables;
    tables.Imports = end + 16;
    tables.DelayLoad = good.PutImports(tables.Imports, {{"K.dll", {"F", "G"}, {5}}, {"U.dll", {"H"}, {7}}}) + 16;
    good.PutDelayImports(tables.DelayLoad, {{"D.dll", {"I"}, {4}}});
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        TPeBuilder b = good;
        const int changes = 1 + round % 8;
        for (int i = 0; i < changes; ++i) {
            // Hit the tables mostly, sometimes anywhere.
            const uint32_t at = (round % 4) ? Dir + random() % 0x200 : random() % b.Size();
            b.Bytes[at] = static_cast<uint8_t>(random());
        }
        TGuardedImage image(b.Bytes);
        TNameList exports, imports;
        const uint32_t e = WalkExportNames(image.View(), TDirectory(Dir, end - Dir), exports);
        const uint32_t i = WalkImportTables(image.View(), tables, imports);
        EXPECT_TRUE(e == 0 || e == CodeWalkFault);
        EXPECT_TRUE(i == 0 || i == CodeWalkFault);
    }
}
