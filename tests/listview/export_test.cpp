// The three export texts of the selected rows, byte for byte, on a real list.
#include "tests/listview/listform.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::string Path = "C:\\windows\\system32\\KERNEL32.DLL";

struct TTexts {
    std::string Text, Csv, Sylk;
};

TTexts Export(TListView &list, bool noCheckColumn = true)
{
    return {ListViewToText(list, true, noCheckColumn), ListViewToCsv(list, true, noCheckColumn),
            ListViewToSylk(list, true, noCheckColumn)};
}

// SYLK of rows given as records without their CR LF.
std::string Lines(std::initializer_list<const char *> lines)
{
    std::string s;
    for (const char *l : lines)
        s.append(l).append("\r\n");
    return s;
}

class ListViewExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        Form.AddRows({{"GetProcAddress", "409", "KERNEL32.DLL", Path}, {"LoadLibraryA", "589", "KERNEL32.DLL", Path}});
    }
    TListForm Form;
};

}  // namespace

TEST_F(ListViewExport, TwoRowsGiveTheThreeTextsWithoutTheAutoSizedPathColumn)
{
    Form.Select({0, 1});
    const TTexts t = Export(*Form.List);
    EXPECT_EQ("GetProcAddress\t409\tKERNEL32.DLL\r\nLoadLibraryA\t589\tKERNEL32.DLL\r\n", t.Text);
    EXPECT_EQ("\"GetProcAddress\",409,\"KERNEL32.DLL\"\r\n\"LoadLibraryA\",589,\"KERNEL32.DLL\"\r\n", t.Csv);
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y2;X3", "F;Y1;X1;FG0L", "C;K\"GetProcAddress\"", "F;X2;FG0R", "C;K409",
                     "F;X3;FG0L", "C;K\"KERNEL32.DLL\"", "F;Y2;X1;FG0L", "C;K\"LoadLibraryA\"", "F;X2;FG0R",
                     "C;K589", "F;X3;FG0L", "C;K\"KERNEL32.DLL\"", "E"}),
              t.Sylk);
}

TEST_F(ListViewExport, NoSelectionGivesEmptyTextsAndABareSylk)
{
    const TTexts t = Export(*Form.List);
    EXPECT_EQ("", t.Text);
    EXPECT_EQ("", t.Csv);
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y0;X3", "E"}), t.Sylk);
}

TEST_F(ListViewExport, QuotesDoubledSylkSemicolonsDoubledEmptyCellsKeepTheirPlace)
{
    Form.List->Clear();
    Form.AddRows({{"a\"b;c,d", "", "", Path}, {"", "7", "\"x;;y;", Path}});
    Form.Select({0, 1});
    const TTexts t = Export(*Form.List);
    EXPECT_EQ("a\"b;c,d\t\t\r\n\t7\t\"x;;y;\r\n", t.Text);
    EXPECT_EQ("\"a\"\"b;c,d\",,\"\"\r\n\"\",7,\"\"\"x;;y;\"\r\n", t.Csv);
    // In SYLK a bare ";" ends the field: every one in a text cell is doubled.
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y2;X3", "F;Y1;X1;FG0L", "C;K\"a\"\"b;;c,d\"", "F;X2;FG0R", "C;K", "F;X3;FG0L",
                     "C;K\"\"", "F;Y2;X1;FG0L", "C;K\"\"", "F;X2;FG0R", "C;K7", "F;X3;FG0L",
                     "C;K\"\"\"x;;;;y;;\"", "E"}),
              t.Sylk);
}

TEST_F(ListViewExport, RowsComeInListOrderWhateverOrderTheyWereSelectedIn)
{
    Form.AddRows({{"Zeta", "4", "fix.dll", Path}});
    Form.Select({2, 0});  // bottom-up
    EXPECT_EQ("GetProcAddress\t409\tKERNEL32.DLL\r\nZeta\t4\tfix.dll\r\n", ListViewToText(*Form.List, true, true));
    // Sorted by ordinal: the sorted order.
    ListViewSortColumn(*Form.List, 1);
    ListViewSelectAll(*Form.List, false);
    EXPECT_EQ("Zeta\t4\tfix.dll\r\nGetProcAddress\t409\tKERNEL32.DLL\r\nLoadLibraryA\t589\tKERNEL32.DLL\r\n",
              ListViewToText(*Form.List, true, true));
}

TEST_F(ListViewExport, ColumnsFollowTheWidthProperty)
{
    Form.Select({0});
    const std::string three = "GetProcAddress\t409\tKERNEL32.DLL\r\n";
    const std::string four = "GetProcAddress\t409\tKERNEL32.DLL\t" + Path + "\r\n";
    EXPECT_EQ(-2, Form.List->Columns[3]->Width());
    EXPECT_EQ(four, ListViewToText(*Form.List, false, true));  // every column when not visible only
    // The auto-sized column joins once the user has resized it, by either
    // gesture, as the header reports it in either character set.
    for (UINT code : {HDN_ENDTRACKA, HDN_ENDTRACKW, HDN_DIVIDERDBLCLICKA, HDN_DIVIDERDBLCLICKW}) {
        Form.List->Columns[3]->SetWidth(-2);
        EXPECT_EQ(three, ListViewToText(*Form.List, true, true)) << code;
        Form.HeaderNotifies(3, code, 300);
        EXPECT_GT(Form.List->Columns[3]->Width(), 0) << code;
        EXPECT_EQ(four, ListViewToText(*Form.List, true, true)) << code;
    }
    Form.List->Columns[1]->SetWidth(0);  // hidden
    EXPECT_EQ("GetProcAddress\tKERNEL32.DLL\t" + Path + "\r\n", ListViewToText(*Form.List, true, true));
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y1;X3", "F;Y1;X1;FG0L", "C;K\"GetProcAddress\"", "F;X2;FG0L",
                     "C;K\"KERNEL32.DLL\"", "F;X3;FG0L", ("C;K\"" + Path + "\"").c_str(), "E"}),
              ListViewToSylk(*Form.List, true, true));
}

TEST_F(ListViewExport, CentredColumnsAndTheCheckColumnHaveTheirKinds)
{
    LVCOLUMNA centred = {};
    centred.mask = LVCF_FMT;
    centred.fmt = LVCFMT_CENTER;
    SendMessageA(Form.List->Handle, LVM_SETCOLUMNA, 2, reinterpret_cast<LPARAM>(&centred));
    SendMessageA(Form.List->Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    LVITEMA ticked = {};
    ticked.stateMask = LVIS_STATEIMAGEMASK;
    ticked.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageA(Form.List->Handle, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&ticked));
    Form.Select({0, 1});
    EXPECT_EQ("0,\"GetProcAddress\",409,\"KERNEL32.DLL\"\r\n1,\"LoadLibraryA\",589,\"KERNEL32.DLL\"\r\n",
              ListViewToCsv(*Form.List, true, false));
    Form.List->SetSelected(1, false);
    EXPECT_EQ(Lines({"ID;PLVU", "B;Y1;X3", "F;Y1;X1;FG0L", "C;K\"GetProcAddress\"", "F;X2;FG0R", "C;K409",
                     "F;X3;FG0C", "C;K\"KERNEL32.DLL\"", "E"}),
              ListViewToSylk(*Form.List, true, true));

    const TListViewCells cells(*Form.List, true, false);
    TCellKind kind = TCellKind::Text;
    EXPECT_EQ("0", cells.CellText(0, 0, &kind));
    EXPECT_EQ(TCellKind::Number, kind);
    for (auto [row, col] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 4}})
        EXPECT_EQ("0", cells.CellText(row, col)) << row << "," << col;
}

TEST_F(ListViewExport, TheListShowsControlBytesAsTheTabTextWritesThem)
{
    Form.List->Clear();
    Form.AddRows({{"アa\tb\r\nc\x7F", "-5", "=1+1", Path}, {"-y", "", "e\x01", Path}});
    Form.Select({0, 1});
    EXPECT_EQ("アa?b??c?\t-5\t'=1+1\r\n'-y\t\te?\r\n", Export(*Form.List).Text);
    char shown[64] = "";
    LVITEMA item = {};
    item.pszText = shown;
    item.cchTextMax = sizeof shown;
    for (auto [row, col, text] : {std::tuple{0, 0, "アa?b??c?"}, {1, 2, "e?"}, {0, 2, "=1+1"}}) {
        item.iSubItem = col;
        SendMessageA(Form.List->Handle, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, shown) << row << "," << col;
    }
}
