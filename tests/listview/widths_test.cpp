// The column widths text and the selection operations.
#include "tests/listview/listform.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> Widths(const TListView &list)
{
    std::vector<int> w;
    for (const TListColumn *c : list.Columns)
        w.push_back(c->Width());
    return w;
}

std::vector<int> Tags(const TListView &list)
{
    std::vector<int> t;
    for (const TListColumn *c : list.Columns)
        t.push_back(c->Tag);
    return t;
}

}  // namespace

TEST(ListViewWidths, TextsApplyAndWriteBackWithDeclaredCodesKept)
{
    const std::vector<int> declared = {180, 50, 150, -2};
    struct {
        const char *Text;
        std::vector<int> Widths;
        const char *Written;
    } cases[] = {
        {"", {180, 50, 150, -2}, "180,50,150,-2"},
        {"200,60", {200, 60, 150, -2}, "200,60,150,-2"},
        {"200,60,70,80,90", {200, 60, 70, 80}, "200,60,70,-2"},  // a fifth entry is ignored
        {"-1,50,150,-2", {-1, 50, 150, -2}, "-1,50,150,-2"},      // a code by hand stays a code
        {" 100 , $64,0x20,X10", {100, 100, 32, 16}, "100,100,32,-2"},
        {"\"120\",0,\" 17\"", {120, 0, 17, -2}, "120,0,17,-2"},
        {"11 12", {11, 12, 150, -2}, "11,12,150,-2"},  // a blank ends an unquoted entry
        // Widths kept sane: 0 and the codes as they are, the rest within 10 ... 4000.
        {"999999,-5,0,-1", {4000, 10, 0, -1}, "4000,10,0,-2"},
        {"-2,10,4000,4001", {-2, 10, 4000, 4000}, "-2,10,4000,-2"},
        {"9,-3,-2147483648", {10, 10, 10, -2}, "10,10,10,-2"},
    };
    for (const auto &c : cases) {
        TListForm form;
        ListViewSetColumnWidths(*form.List, c.Text);
        EXPECT_EQ(declared, Tags(*form.List)) << c.Text;
        EXPECT_EQ(c.Widths, Widths(*form.List)) << c.Text;
        EXPECT_EQ(c.Written, ListViewGetColumnWidths(*form.List)) << c.Text;
    }
}

TEST(ListViewWidths, UserResizesAreWrittenExceptOverADeclaredCode)
{
    TListForm form;
    ListViewSetColumnWidths(*form.List, "");
    // The user widens the path column and closes the ordinal column: the
    // header reports each drag, and the control takes the new width.
    for (auto [column, width] : {std::pair{3, 300}, {1, 0}}) {
        form.HeaderNotifies(column, HDN_ENDTRACKW, width);
        SendMessageA(form.List->Handle, LVM_SETCOLUMNWIDTH, column, width);
    }
    EXPECT_EQ(300, form.List->Columns[3]->Width());
    EXPECT_EQ("180,0,150,-2", ListViewGetColumnWidths(*form.List));
}

TEST(ListViewWidths, AnEntryThatIsNoIntegerStopsWithTheEarlierColumnsApplied)
{
    const char *notIntegers[] = {"abc", "", "12x", "1e3", "0x", "$", "--1", "2147483648", "$100000000"};
    for (const char *entry : notIntegers) {
        TListForm form;
        try {
            ListViewSetColumnWidths(*form.List, std::string("200,") + entry + ",70");
            ADD_FAILURE() << entry << " converted";
        } catch (const EConvertError &e) {
            EXPECT_EQ(std::string("'") + entry + "' は整数ではありません", e.what());
        }
        // The first column applied, the second recorded but kept, the rest untouched.
        EXPECT_EQ((std::vector<int>{200, 50, 150, -2}), Widths(*form.List)) << entry;
        EXPECT_EQ((std::vector<int>{180, 50, 0, 0}), Tags(*form.List)) << entry;
    }
    TListForm form;
    EXPECT_NO_THROW(ListViewSetColumnWidths(*form.List, "-2147483648,$FFFFFFFF"));
}

TEST(ListViewSelection, InvertFlipsEveryRowAndKeepsTheFocus)
{
    struct {
        int Rows;
        std::vector<int> Selected, Inverted;
    } cases[] = {
        {4, {0, 2}, {1, 3}},
        {4, {0, 1, 2, 3}, {}},
        {3, {}, {0, 1, 2}},
        {0, {}, {}},
    };
    for (const auto &c : cases) {
        TListForm form;
        for (int i = 0; i < c.Rows; ++i)
            form.AddRows({{"row" + std::to_string(i), std::to_string(i)}});
        form.Select(c.Selected);
        LVITEMA focus = {};
        focus.stateMask = focus.state = LVIS_FOCUSED;
        if (c.Rows)
            SendMessageA(form.List->Handle, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&focus));
        ListViewSelectInvert(*form.List, true);
        EXPECT_EQ(c.Inverted, form.SelectedRows()) << c.Rows;
        EXPECT_EQ(c.Rows ? 1 : -1, SendMessageA(form.List->Handle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
        ListViewSelectAll(*form.List, true);
        EXPECT_EQ(c.Rows, form.List->SelectedCount());
        EXPECT_EQ(c.Rows ? 1 : -1, SendMessageA(form.List->Handle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
    }
}
