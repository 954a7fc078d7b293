#include "scan/imageview.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Bytes(uint32_t n)
{
    std::vector<uint8_t> b(n);
    for (uint32_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i + 1);
    return b;
}

}  // namespace

TEST(ImageView, ReadsEndingExactlyAtARangeEndPassOneByteOverFails)
{
    std::vector<uint8_t> b = Bytes(64);
    TImageView view(b.data(), 64, {{0, 16}, {32, 64}});
    uint32_t v32;
    uint16_t v16;
    EXPECT_TRUE(view.ReadU32(12, v32));
    EXPECT_EQ(0x100F0E0Du, v32);
    EXPECT_FALSE(view.ReadU32(13, v32));
    EXPECT_FALSE(view.ReadU16(16, v16));
    EXPECT_TRUE(view.ReadU16(62, v16));
    EXPECT_FALSE(view.ReadU16(63, v16));
    EXPECT_FALSE(view.ReadU32(64, v32));
    EXPECT_FALSE(view.ReadU32(0xFFFFFFFFu, v32));
    EXPECT_FALSE(view.ReadU32(0xFFFFFFFEu, v32));
}

TEST(ImageView, RangesAreClippedToTheSizeAndMerged)
{
    std::vector<uint8_t> b = Bytes(64);
    // Out of order, touching and overlapping; the last one reaches past the size.
    TImageView view(b.data(), 48, {{20, 30}, {0, 10}, {10, 20}, {25, 100}});
    uint32_t v;
    EXPECT_TRUE(view.ReadU32(8, v));   // across the 0-10 / 10-20 seam
    EXPECT_TRUE(view.ReadU32(44, v));
    EXPECT_FALSE(view.ReadU32(45, v));  // the size wins over the range
}

TEST(ImageView, StringsNeedTheirZeroByteInsideTheRange)
{
    std::vector<uint8_t> b(32, 'a');
    b[10] = 0;
    TImageView view(b.data(), 32, {{0, 16}, {20, 32}});
    std::string s;
    EXPECT_TRUE(view.ReadString(4, s));
    EXPECT_EQ("aaaaaa", s);
    EXPECT_TRUE(view.ReadString(10, s));
    EXPECT_EQ("", s);
    EXPECT_FALSE(view.ReadString(11, s));  // runs into the gap at 16
    EXPECT_FALSE(view.ReadString(20, s));  // runs into the end
    EXPECT_FALSE(view.ReadString(17, s));  // starts in the gap
    EXPECT_TRUE(view.ReadString(4, s, 6));   // six bytes of text, then the zero byte
    EXPECT_FALSE(view.ReadString(4, s, 5));
    EXPECT_TRUE(view.ReadString(10, s, 0));
}

TEST(ImageView, ElementRvaRejectsWrapping)
{
    uint32_t rva;
    EXPECT_TRUE(FIImage::ElementRva(0x1000, 3, 4, rva));
    EXPECT_EQ(0x100Cu, rva);
    EXPECT_TRUE(FIImage::ElementRva(0xFFFFFFFBu, 1, 4, rva));
    EXPECT_EQ(0xFFFFFFFFu, rva);
    EXPECT_FALSE(FIImage::ElementRva(0xFFFFFFFCu, 1, 4, rva));
    EXPECT_FALSE(FIImage::ElementRva(4, 0x40000000u, 4, rva));
}
