// Column sorting: the comparison rules, the sort state, the header hook and
// the sort mark bitmaps.
#include "tests/listview/listform.h"

#include <gtest/gtest.h>

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

struct TCase {
    const char *A, *B;
    int Sign;
};

std::string Column(const TListView &list, int column)
{
    std::string s;
    for (int i = 0; i < list.Count(); ++i)
        s.append(i ? " " : "").append(list.ItemText(i, column));
    return s;
}

}  // namespace

TEST(ListViewSort, TextRuleFoldsOnlyAsciiLettersAndComparesUnsignedBytes)
{
    const TCase cases[] = {
        {"abc", "ABC", 0},
        {"_", "Z", 1},           // 0x5F after every letter, either case
        {"_", "z", 1},
        {"a", "ab", -1},         // a start sorts first
        {"", "", 0},
        {"\x82\xa0", "z", 1},    // bytes from 0x80 compare unsigned
        {"\x83\x61", "\x83\x41", 0},  // a second byte in 0x61-0x7A folds like a letter
        {"\x83\x7b", "\x83\x5b", 1},  // ... and only those
        {"\xe0", "\xc0", 1},     // no locale: a Latin-1 letter is not folded
    };
    for (const TCase &c : cases)
        EXPECT_EQ(c.Sign, Sign(CompareText(c.A, c.B))) << c.A << " / " << c.B;
    EXPECT_EQ(-1, CompareText("a", "ab"));
    EXPECT_EQ('_' - 'Z', CompareText("_", "z"));
}

TEST(ListViewSort, NumberRuleOrdersEmptyNegativeThenByValue)
{
    const char *ascending[] = {"", "-10", "-3", "-1", "0", "2", "10", "123456789012345678901234567890"};
    for (size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(CompareNumberText(ascending[i], ascending[i + 1]), 0) << ascending[i];
        EXPECT_GT(CompareNumberText(ascending[i + 1], ascending[i]), 0) << ascending[i];
    }
    const TCase equal[] = {{"+2", "2", 0}, {"2", "002", 0}, {"+2", "002", 0}, {"-02", "-2", 0}, {"", "", 0}};
    for (const TCase &c : equal)
        EXPECT_EQ(0, CompareNumberText(c.A, c.B)) << c.A << " / " << c.B;
    EXPECT_LT(CompareNumberText("", "-"), 0);  // the class decides, whatever the digits
    EXPECT_LT(CompareNumberText("-", "0"), 0);
}

TEST(ListViewSort, HeaderClicksSortByTheColumnsKindAndFlipTheDirection)
{
    TListForm form;
    form.AddRows({{"b", "10", "Y"}, {"_x", "2", "x"}, {"A", "-1", "z"}, {"c", "", "a"}});
    struct {
        int Column, Tag;
        const char *Names;
    } clicks[] = {
        {1, 0x10002, "c A _x b"},  // ordinal ascending by value: "", -1, 2, 10
        {1, 0x00002, "b _x A c"},  // the same header again: descending
        {0, 0x10001, "A b c _x"},  // another header starts ascending; "_" after letters
        {2, 0x10003, "c _x b A"},  // a x Y z: case folded
    };
    for (const auto &c : clicks) {
        ListViewSortColumn(*form.List, c.Column);
        EXPECT_EQ(c.Tag, form.List->Tag) << c.Column;
        EXPECT_EQ(c.Names, Column(*form.List, 0)) << c.Column;
    }
}

TEST(ListViewSort, InitHooksTheHeaderAndTheMarkFollowsTheSortColumn)
{
    EXPECT_GE(GetComCtlVersion("comctl32.dll"), 0x50050u);
    EXPECT_EQ(0u, GetComCtlVersion("kernel32.dll"));  // no DllGetVersion
    EXPECT_EQ(0u, GetComCtlVersion("nosuchlibrary.dll"));

    TListForm form;
    HWND header = form.List->Header();
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ListViewHeaderProc), GetWindowLongPtrA(header, GWLP_WNDPROC));
    EXPECT_NE(0, GetWindowLongPtrA(header, GWLP_USERDATA));
    EXPECT_EQ(0, SendMessageA(header, HDM_GETBITMAPMARGIN, 0, 0));
    EXPECT_EQ(nullptr, HeaderItem(*form.List, 1).hbm);  // unsorted: no mark

    const int flags = HDF_BITMAP | HDF_BITMAP_ON_RIGHT;
    ListViewSortColumn(*form.List, 1);
    EXPECT_EQ(flags, HeaderItem(*form.List, 1).fmt & flags);
    EXPECT_EQ(MarkUp, MarkPixels(HeaderItem(*form.List, 1).hbm));
    ListViewSortColumn(*form.List, 1);
    EXPECT_EQ(MarkDown, MarkPixels(HeaderItem(*form.List, 1).hbm));
    ListViewSortColumn(*form.List, 0);
    EXPECT_EQ(0, HeaderItem(*form.List, 1).fmt & flags);
    EXPECT_EQ(nullptr, HeaderItem(*form.List, 1).hbm);
    EXPECT_EQ(MarkUp, MarkPixels(HeaderItem(*form.List, 0).hbm));
    EXPECT_EQ(HDF_RIGHT, HeaderItem(*form.List, 1).fmt & HDF_JUSTIFYMASK);  // alignment kept

    // The header redraws the mark whenever it gives up the capture.
    ListViewShowSortMark(form.List, false);
    EXPECT_EQ(nullptr, HeaderItem(*form.List, 0).hbm);
    SendMessageA(header, WM_CAPTURECHANGED, 0, 0);
    EXPECT_EQ(MarkUp, MarkPixels(HeaderItem(*form.List, 0).hbm));

    // A second init does not hook twice (the header would call itself).
    ListViewSortInit(*form.List);
    EXPECT_NE(reinterpret_cast<LONG_PTR>(ListViewHeaderProc), GetWindowLongPtrA(header, GWLP_USERDATA));
}

TEST(ListViewSort, EachMarkBitmapIsDeletedWhenReplacedAndTheLastWithTheList)
{
    HBITMAP first, last;
    {
        TListForm form;
        ListViewSortColumn(*form.List, 2);
        first = HeaderItem(*form.List, 2).hbm;
        ListViewSortColumn(*form.List, 2);
        last = HeaderItem(*form.List, 2).hbm;
        EXPECT_EQ(0u, GetObjectType(first));
        EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(last));
    }
    EXPECT_EQ(0u, GetObjectType(last));
}

TEST(ListViewSort, MarkBitmapsAre14By14With4BitsAndTheStandardPalette)
{
    const RGBQUAD standard[16] = {{0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
                                  {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0},
                                  {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},     {0, 255, 255, 0},
                                  {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0}};
    for (const char *name : {"ListViewUtility_IDB_UP", "ListViewUtility_IDB_DOWN"}) {
        HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(2));  // RT_BITMAP
        ASSERT_NE(nullptr, found) << name;
        const auto *info = static_cast<const BITMAPINFO *>(LockResource(LoadResource(nullptr, found)));
        EXPECT_EQ(14, info->bmiHeader.biWidth);
        EXPECT_EQ(14, info->bmiHeader.biHeight);
        EXPECT_EQ(4, info->bmiHeader.biBitCount);
        EXPECT_EQ(0, memcmp(standard, info->bmiColors, sizeof standard)) << name;
    }
}

TEST(ListViewSort, RowsKeepTheirTextsAcrossStoreBlocksAndTheirSelectionAndFocusThroughASort)
{
    TListForm form;
    for (int round = 0; round < 2; ++round) {  // the second after emptying the list
        form.List->Clear();
        form.List->Tag = 0;  // unsorted: the click sorts ascending
        // 3,000 rows of about 40 bytes fill two store blocks; one text is
        // larger than a block; a row may have fewer texts than columns.
        const std::string big(100000, 'x');
        form.List->HoldCount(true);  // as during a search: the control learns the count once
        for (int i = 0; i < 3000; ++i) {
            // Appended, not "n" + ...: GCC 12 warns falsely (-Wrestrict) about that insert.
            const std::string name = std::string("n").append(std::to_string(2999 - i));
            form.List->AddItem({name, std::to_string(i), "m", "p"});
        }
        form.List->AddItem({"big", "-5", big});
        form.List->AddItem({"short"});
        form.List->HoldCount(false);
        form.Select({0, 3000});
        LVITEMA focus = {};
        focus.stateMask = focus.state = LVIS_FOCUSED;
        SendMessageA(form.List->Handle, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&focus));
        ListViewSortColumn(*form.List, 1);  // ordinal: "", -5, 0, 1, ...
        ASSERT_EQ(3002, form.List->Count());
        EXPECT_EQ("short", form.List->ItemText(0, 0));
        EXPECT_EQ("", form.List->ItemText(0, 3));
        EXPECT_TRUE(big == form.List->ItemText(1, 2));
        EXPECT_EQ("n2999 0 m p", form.List->ItemText(2, 0) + " " + form.List->ItemText(2, 1) + " " +
                                      form.List->ItemText(2, 2) + " " + form.List->ItemText(2, 3));
        EXPECT_EQ("n0", form.List->ItemText(3001, 0));
        EXPECT_EQ((std::vector<int>{1, 2}), form.SelectedRows());  // "big" and "n2999"
        EXPECT_EQ(3, SendMessageA(form.List->Handle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));  // "n2998"
    }
}
