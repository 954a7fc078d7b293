// Hostile cell bytes through each row writer: no byte splits a row or a
// record, and no text cell reaches a spreadsheet as a formula.
#include "rows/resultrows.h"
#include "rows/rowtext.h"

#include <gtest/gtest.h>

namespace {

struct TRow {
    std::string Name, Number, Module;
};

// The rows as tab text, CSV and SYLK, in the window's column kinds.
std::vector<std::string> Write(const std::vector<TRow> &rows)
{
    std::string text, csv, sylk = SylkHead(static_cast<int>(rows.size()), 3);
    for (size_t i = 0; i < rows.size(); ++i) {
        const TCellRow row{{&rows[i].Name, TCellKind::Text},
                           {&rows[i].Number, TCellKind::Number},
                           {&rows[i].Module, TCellKind::Text}};
        AppendTextLine(text, row);
        AppendCsvLine(csv, row);
        AppendSylkRow(sylk, static_cast<int>(i) + 1, row);
    }
    return {text, csv, sylk + SylkEnd};
}

std::string Lines(std::initializer_list<const char *> lines)
{
    std::string s;
    for (const char *l : lines)
        s.append(l).append("\r\n");
    return s;
}

}  // namespace

TEST(RowText, NoCellBytesSplitARowOrRecordAndNoTextCellIsAFormula)
{
    // "\x83\x41" is a double-byte character; "@" names stay as they are.
    const std::vector<std::string> out = Write({{"\x83\x41" "a\tb\r\nc\x7F", "-5", "=1+1"},
                                                {"@_calloc_crt@8", "7", "+x;-"},
                                                {"-y", "", "e\x01"}});
    EXPECT_EQ("\x83\x41" "a?b??c?\t-5\t'=1+1\r\n@_calloc_crt@8\t7\t'+x;-\r\n'-y\t\te?\r\n", out[0]);
    // CSV keeps every byte inside the quotes; the number cell is never guarded.
    EXPECT_EQ("\"\x83\x41" "a\tb\r\nc\x7F\",-5,\"'=1+1\"\r\n\"@_calloc_crt@8\",7,\"'+x;-\"\r\n\"'-y\",,\"e\x01\"\r\n",
              out[1]);
    // SYLK text cells are never evaluated: no guard, control bytes as "?".
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y3;X3", "F;Y1;X1;FG0L", "C;K\"\x83\x41" "a?b??c?\"", "F;X2;FG0R", "C;K-5",
                     "F;X3;FG0L", "C;K\"=1+1\"", "F;Y2;X1;FG0L", "C;K\"@_calloc_crt@8\"", "F;X2;FG0R", "C;K7",
                     "F;X3;FG0L", "C;K\"+x;;-\"", "F;Y3;X1;FG0L", "C;K\"-y\"", "F;X2;FG0R", "C;K", "F;X3;FG0L",
                     "C;K\"e?\"", "E"}),
              out[2]);
}

TEST(RowTip, TellsTheOrdinalProperTheForwarderAndTheImportKind)
{
    // The ordinal proper is counted past 32 bits; a control byte of a
    // forwarder's target cannot start a line of its own.
    const struct {
        uint32_t index, base;
        const char *forwarder, *tip;
    } cases[] = {
        {809, 1, "", "序数 810（索引 809 + 基数 1）"},
        {0, 0, "NTDLL.RtlAllocateHeap", "序数 0（索引 0 + 基数 0）\r\n転送先: NTDLL.RtlAllocateHeap"},
        {1, 0xFFFFFFFF, "A.#7\r\nB", "序数 4294967296（索引 1 + 基数 4294967295）\r\n転送先: A.#7??B"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.tip, ExportTip(c.index, c.base, c.forwarder)) << c.tip;
    EXPECT_EQ("遅延読み込み", ImportTip(true));
    EXPECT_EQ("通常の読み込み", ImportTip(false));
}
