// Our reader over module bytes laid out the loader's way: PE32 and PE32+
// images from the image builder, each case one change to a good image.
#include "scan/modulereader.h"
#include "scan/peimage.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const uint32_t Dir = TPeBuilder::DataRva;
using TPairs = std::vector<std::pair<std::string, uint32_t>>;

uint32_t Read(const std::vector<uint8_t> &bytes, bool exportTable, TPairs &pairs)
{
    TMemorySource source(bytes);
    TNameList list{{"sentinel", 7}};
    const uint32_t code = ReadModuleNames(source, exportTable, list);
    pairs.clear();
    for (const TNameEntry &e : list)
        pairs.emplace_back(e.Text, e.Number);
    return code;
}

const TPairs Sentinel{{"sentinel", 7}};
const TPairs TwoExports{{"Alpha", 0}, {"Beta", 1}};

// A good image with two exports.
TPeBuilder Exports(bool pe32plus)
{
    TPeBuilder b(2, 0x30000000, pe32plus);
    b.PutExports(Dir, {"Alpha", "Beta"}, {0, 1});
    return b;
}

// The RVA of export name i's pointer.
uint32_t NameSlot(uint32_t i) { return Dir + TPeBuilder::ExportDirectorySize + 4 * i; }

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
    // Each change gets the offset of the image's section header.
    const struct {
        const char *Name;
        std::function<void(TPeBuilder &, uint32_t)> Change;
        uint32_t Code;
        TPairs Pairs;
    } cases[] = {
        {"as built", nullptr, 0, TwoExports},
        // The section's raw data ends before its virtual size: the rest reads
        // as zeros, so a name there is empty; past the virtual size nothing is.
        {"name in the zero-filled tail",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 16, 0x200);  // SizeOfRawData
             b.Put32(NameSlot(1), 0x2100);
         },
         0, {{"Alpha", 0}, {"", 1}}},
        {"name past the virtual size",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 8, 0x1000);  // VirtualSize: one page
             b.PutString(0x2000, "Cut");
             b.Put32(NameSlot(1), 0x2000);
         },
         0, {{"Alpha", 0}, {"", 1}}},
        {"name in the header page past SizeOfHeaders",
         [](TPeBuilder &b, uint32_t) {
             b.Put32(TPeBuilder::SizeOfHeadersAt, 0x200);
             b.PutString(0x400, "Cut");
             b.Put32(NameSlot(1), 0x400);
         },
         0, {{"Alpha", 0}, {"", 1}}},
        {"name in the headers",
         [](TPeBuilder &b, uint32_t) {
             b.PutString(0x400, "InHeader");
             b.Put32(NameSlot(0), 0x400);
         },
         0, {{"InHeader", 0}, {"Beta", 1}}},
        {"RVA past the image",
         [](TPeBuilder &b, uint32_t) { b.Put32(NameSlot(1), 0x00F00000); }, CodeWalkFault, {{"Alpha", 0}}},
        // The section moves a page up, its data stays: the directory's arrays
        // now lie in the gap below it and read as zeros, so both names are
        // read at RVA 0, the headers' "MZ".
        {"arrays in a gap between the headers and the section",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(sec + 12, 0x2000);
             b.Put32(TPeBuilder::SizeOfImageAt, 0x4000);
             b.SetDirectory(0, 0x2000, 0x40);
         },
         0, {{"MZ", 0}, {"MZ", 0}}},
        // Raw data is read from the sector below its pointer, as the loader does.
        {"raw pointer inside a sector",
         [](TPeBuilder &b, uint32_t sec) { b.Put32(sec + 20, Dir + 0x10); }, 0, TwoExports},
        {"file cut inside the section's raw data", [](TPeBuilder &b, uint32_t) { b.Bytes.resize(0x2000); },
         CodeBadExeFormat, Sentinel},
        {"section past SizeOfImage",
         [](TPeBuilder &b, uint32_t) { b.Put32(TPeBuilder::SizeOfImageAt, 0x2000); }, CodeBadExeFormat, Sentinel},
        // Alignments equal and below a page: the image is the file itself.
        {"low alignment",
         [](TPeBuilder &b, uint32_t) {
             b.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
             b.Put32(TPeBuilder::FileAlignmentAt, 0x200);
         },
         0, TwoExports},
        {"low alignment, section away from its raw data",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
             b.Put32(TPeBuilder::FileAlignmentAt, 0x200);
             b.Put32(sec + 20, 0x1200);
         },
         CodeBadExeFormat, Sentinel},
        {"low alignment, alignments differ",
         [](TPeBuilder &b, uint32_t) {
             b.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
             b.Put32(TPeBuilder::FileAlignmentAt, 0x100);
         },
         CodeBadExeFormat, Sentinel},
        {"no export directory", [](TPeBuilder &b, uint32_t) { b.SetDirectory(0, 0, 0); }, 0, Sentinel},
        {"directory count below the entry", [](TPeBuilder &b, uint32_t) { b.Put32(b.DirectoryAt(0) - 4, 0); }, 0,
         Sentinel},
        {"directory outside the image", [](TPeBuilder &b, uint32_t) { b.SetDirectory(0, 0x7FFFFFF0, 40); },
         CodeWalkFault, {}},
        {"sizes at the 32-bit limit",
         [](TPeBuilder &b, uint32_t sec) {
             b.Put32(TPeBuilder::SizeOfImageAt, 0xFFFFFFFF);
             b.Put32(TPeBuilder::SizeOfHeadersAt, 0xFFFFFFFF);
             b.Put32(sec + 8, 0xFFFFE000);  // ends at the last page
             b.Put32(NameSlot(1), 0xFFFFFFF0);
         },
         CodeWalkFault, {{"Alpha", 0}}},
        {"section table past the file", [](TPeBuilder &b, uint32_t) { b.Put16(TPeBuilder::Nt + 6, 0xFFFF); },
         CodeBadExeFormat, Sentinel},
        {"ROM magic", [](TPeBuilder &b, uint32_t) { b.Put16(TPeBuilder::MagicAt, 0x107); }, CodeBadExeFormat, Sentinel},
        {"no PE signature", [](TPeBuilder &b, uint32_t) { b.Put32(TPeBuilder::Nt, 0x00004551); }, CodeBadExeFormat,
         Sentinel},
        {"no MZ", [](TPeBuilder &b, uint32_t) { b.Put16(0, 0x5A4E); }, CodeBadExeFormat, Sentinel},
        {"e_lfanew past the file", [](TPeBuilder &b, uint32_t) { b.Put32(0x3C, 0x10000); }, CodeBadExeFormat, Sentinel},
        {"e_lfanew at the 32-bit limit", [](TPeBuilder &b, uint32_t) { b.Put32(0x3C, 0xFFFFFFFE); }, CodeBadExeFormat,
         Sentinel},
        {"headers cut short", [](TPeBuilder &b, uint32_t) { b.Bytes.resize(TPeBuilder::Optional + 40); },
         CodeBadExeFormat, Sentinel},
        {"empty file", [](TPeBuilder &b, uint32_t) { b.Bytes.clear(); }, CodeBadExeFormat, Sentinel},
    };
    for (bool pe32plus : {false, true})
        for (const auto &c : cases) {
            TPeBuilder b = Exports(pe32plus);
            if (c.Change)
                c.Change(b, b.SectionAt());
            TPairs pairs;
            EXPECT_EQ(c.Code, Read(b.Bytes, true, pairs)) << c.Name << (pe32plus ? " (PE32+)" : "");
            EXPECT_EQ(c.Pairs, pairs) << c.Name << (pe32plus ? " (PE32+)" : "");
        }
}
