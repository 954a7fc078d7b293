// The table walks over images in guarded memory: any read outside the image
// faults and fails the run, so these tests prove the bounds as well as the
// results.
#include "scan/nametables.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

const uint32_t Dir = TPeBuilder::DataRva;

struct TEntry {
    std::string Text;
    uint32_t Number;
    bool operator==(const TEntry &o) const { return Text == o.Text && Number == o.Number; }
};
std::ostream &operator<<(std::ostream &os, const TEntry &e) { return os << e.Text << "/" << e.Number; }

std::vector<TEntry> Entries(const TNameList &list)
{
    std::vector<TEntry> out;
    for (const TNameEntry &e : list)
        out.push_back({e.Text, e.Number});
    return out;
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
    auto get32 = [&b](uint32_t rva) {
        uint32_t v;
        std::memcpy(&v, &b.Bytes.at(rva), 4);
        return v;
    };
    const uint32_t name = get32(Dir + 12);
    for (uint32_t d = 1; get32(Dir + 20 * d) != 0; ++d)
        if (d % 2)
            b.Put32(Dir + 20 * d + 12, name + 1);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, Imports(b, list));
    EXPECT_TRUE(list.empty());
}

TEST(NameWalks, RandomlyDamagedImagesNeverReadOutsideTheImage)
{
    TPeBuilder good;
    const uint32_t end = good.PutExports(Dir, {"Alpha", "Beta", "Gamma", "Delta"}, {0, 1, 2, 3});
    good.PutImports(end + 16, {{"K.dll", {"F", "G"}, {5}}, {"U.dll", {"H"}, {7}}});
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
        const uint32_t e = WalkExportNames(image.View(), Dir, exports);
        const uint32_t i = WalkImportNames(image.View(), end + 16, imports);
        EXPECT_TRUE(e == 0 || e == CodeWalkFault);
        EXPECT_TRUE(i == 0 || i == CodeWalkFault);
    }
}
