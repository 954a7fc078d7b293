// Our reader over module bytes laid out the loader's way: PE32 and PE32+
// images from the image builder, each case one change to a good image.
#include "scan/modulereader.h"
#include "scan/peimage.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>


namespace {

const uint32_t Dir = TPeBuilder::DataRva;
using TPairs = TNamePairs;

uint32_t Read(const std::vector<uint8_t> &bytes, bool exportTable, TPairs &pairs)
{
    TMemorySource source(bytes);
    TNameList list{{Untouched[0].first, Untouched[0].second, 0, 0}};
    const uint32_t code = ReadModuleNames(source, exportTable, list);
    pairs.clear();
    for (const TNameEntry &e : list)
        pairs.emplace_back(e.Text, e.Number);
    return code;
}

// The entries at indexes.
TPairs At(const TNameList &list, std::initializer_list<size_t> indexes)
{
    TPairs pairs;
    for (size_t i : indexes)
        pairs.emplace_back(list.at(i).Text, list.at(i).Number);
    return pairs;
}

const TPairs TwoExports{{"Alpha", 0}, {"Beta", 1}};

}  // namespace

TEST(PeImage, Pe32PlusTablesHaveThePe32Forms)
{
    for (bool pe32plus : {false, true}) {
        TPeBuilder b(2, 0x30000000, pe32plus);
        const uint32_t end = b.PutExports(Dir, {"Alpha", "Beta"}, {0, 1});
        b.PutImports(end + 8, {{"K.dll", {"F", "G"}, {17, 0xFFFF}}, {"W.dll", {}, {3}}});
        TPairs pairs;
        EXPECT_EQ(0u, Read(b.Bytes, true, pairs)) << pe32plus;
        EXPECT_EQ(TwoExports, pairs) << pe32plus;
        EXPECT_EQ(0u, Read(b.Bytes, false, pairs)) << pe32plus;
        EXPECT_EQ((TPairs{{"F\rK.dll", 100}, {"G\rK.dll", 101}, {"%17\rK.dll", 0}, {"%65535\rK.dll", 0},
                          {"%3\rW.dll", 0}}),
                  pairs)
            << pe32plus;
    }
}

TEST(PeImage, SixtyFourBitThunksAreReadWhole)
{
    // Bit 31 alone is no ordinal flag in a PE32+ image: the thunk names a
    // record beyond 32 bits, which leads nowhere. Bit 63 with high bits set
    // is still an ordinal in the low 16 bits.
    const uint32_t lookup = Dir + 40;  // after the descriptor and the zero one
    TPeBuilder b(2, 0x30000000, true);
    b.PutImports(Dir, {{"K.dll", {}, {5}}});
    b.Put64(lookup, 0x8000123400000009u);
    TPairs pairs;
    EXPECT_EQ(0u, Read(b.Bytes, false, pairs));
    EXPECT_EQ((TPairs{{"%9\rK.dll", 0}}), pairs);
    b.Put64(lookup, 0x0000000180000009u);
    EXPECT_EQ(CodeWalkFault, Read(b.Bytes, false, pairs));
    EXPECT_TRUE(pairs.empty());
}

TEST(PeImage, LayoutCases)
{
    for (bool pe32plus : {false, true})
        for (const TLayoutCase &c : LayoutCases()) {
            TPairs pairs;
            EXPECT_EQ(c.Code, Read(LayoutCaseImage(c, pe32plus).Bytes, true, pairs))
                << c.Name << (pe32plus ? " (PE32+)" : "");
            EXPECT_EQ(c.Pairs, pairs) << c.Name << (pe32plus ? " (PE32+)" : "");
        }
}

TEST(PeImage, NamesSpreadOverManySectionsReadAsFromOne)
{
    // Each name in another section than the one before: the lookups cost the
    // same whatever the section count, and give the same rows as one section.
    const uint32_t names = 131072;
    const TPeBuilder one = SpreadExports(65535, names, true), many = SpreadExports(65535, names);
    ASSERT_EQ(65535, many.Bytes[TPeBuilder::Nt + 6] | many.Bytes[TPeBuilder::Nt + 7] << 8);
    for (const TPeBuilder *b : {&one, &many}) {
        TMemorySource source(b->Bytes);
        TNameList list;
        ASSERT_EQ(0u, ReadModuleNames(source, true, list));
        ASSERT_EQ(names, list.size());
        EXPECT_EQ((TPairs{{"F0000000", 0}, {"F0000001", 1}, {"F0065536", 0}, {"F0131071", 65535}}),
                  At(list, {0, 1, 65536, names - 1}));
    }
}

TEST(PeImage, StopEndsAWalkOverManySections)
{
    // The stop check is asked every 4096 reads: false the first time, then true.
    const TPeBuilder b = SpreadExports(65535, 65536);
    const struct {
        bool StopAtSecondAsk;
        uint32_t Code;
        int Asks;
    } cases[] = {{false, 0, 0}, {true, CodeWalkStopped, 2}};
    for (const auto &c : cases) {
        TMemorySource source(b.Bytes);
        TNameList list;
        int asks = 0;
        const TStopCheck stop = [&] { return c.StopAtSecondAsk && ++asks > 1; };
        EXPECT_EQ(c.Code, ReadModuleNames(source, true, list, stop)) << c.StopAtSecondAsk;
        EXPECT_EQ(c.Asks, asks);
        ASSERT_FALSE(list.empty());
        EXPECT_EQ("F0000000", list.front().Text);
        EXPECT_EQ(c.StopAtSecondAsk, list.size() < 65536) << list.size();
    }
}
