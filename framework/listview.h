// A report list view with its columns. The list owns one TListItem per row:
// the row's texts, reached from the item's lParam, so a sort's comparison
// finds a row's texts without searching for its item.
#pragma once

#include "framework/control.h"
#include "framework/textutil.h"

#include <functional>

class TListView;

enum class TMouseButton { Left, Right, Middle };

class TListColumn : public TComponent {
public:
    std::string Caption;
    bool RightAligned = false;
    // The width property: the width in pixels (0: hidden), or the auto-size
    // code it was last given (LVSCW_AUTOSIZE -1: fit the contents;
    // LVSCW_AUTOSIZE_USEHEADER -2: fit the header, the last column filling
    // the list) until the user drags or double-clicks its divider.
    int Width() const;
    // Hands a width or an auto-size code to the list control.
    void SetWidth(int width);

private:
    friend class TListView;
    TListView *FList = nullptr;  // set once the column is in its list
    int FIndex = -1;
    int FWidth = 50;  // the code as given; >= 0: the control's width counts
};

// One row: its texts in column order (the caption is column 0).
struct TListItem {
    std::string Caption;
    TStringList SubItems;
    // Column 0 is the caption; a column without a text reads as empty.
    const std::string &Text(int column) const;

private:
    friend class TListView;
    TListItem *FPrev = nullptr, *FNext = nullptr;
};

class TListView : public TControl {
public:
    ~TListView() override;
    void CreateHandle() override;
    void AddColumn(TListColumn &column);

    int Count() const;
    // Appends a row: caption, then one sub-item per further column.
    void AddItem(const std::string &caption, const TStringList &subItems);
    // The row behind an item index, or null.
    const TListItem *Item(int index) const;
    // The row behind an item's lParam (what LVM_SORTITEMS hands a comparison).
    static const TListItem *ItemOfParam(LPARAM param) { return reinterpret_cast<const TListItem *>(param); }
    std::string ItemText(int item, int column) const;
    void Clear();
    // Deletes rows from the end for about sliceMs; true once none is left.
    // The list control of Wine searches its item table linearly for each
    // row it deletes, so emptying 80,000 rows at once takes a second: a long
    // list is emptied in slices, with the window answering between them.
    bool ClearSome(DWORD sliceMs);
    int SelectedCount() const;
    bool Selected(int item) const;
    // item -1: every row at once.
    void SetSelected(int item, bool selected);
    int ColumnWidth(int column) const;
    // LVCFMT_LEFT, LVCFMT_RIGHT or LVCFMT_CENTER, as the control has it.
    int ColumnAlignment(int column) const;
    HWND Header() const;
    // The next selected row after item in list order (-1: from the top), or -1.
    int NextSelected(int item) const;
    // Selects every row at once (the control's own select-all).
    void SelectAll();
    bool CheckBoxes() const;
    bool Checked(int item) const;
    // Sorts the rows with the control's own sort (LVM_SORTITEMS), comparing
    // pairs through OnCompare; data is handed to every comparison.
    void SortItems(int data);

    // A click on a column header; column in collection order.
    std::function<void(TListView &, int column)> OnColumnClick;
    // Mouse events in client coordinates; keys are the MK_ flags after the
    // event (MK_LBUTTON: the left button is down). A press is reported
    // before the control's own handling, which runs a modal drag-detect loop
    // that swallows the moves and the release that follow it.
    std::function<void(TListView &, TMouseButton, UINT keys, int x, int y)> OnMouseDown;
    std::function<void(TListView &, UINT keys, int x, int y)> OnMouseMove;
    std::function<void(TListView &, TMouseButton, UINT keys, int x, int y)> OnMouseUp;
    // compare < 0: item1 goes first; > 0: item2; 0: either.
    std::function<void(TListView &, const TListItem *item1, const TListItem *item2, int data, int &compare)>
        OnCompare;
    // Rows this list owns now: for tests of their release.
    int OwnedRows() const { return FOwned; }

    bool HandleNotify(NMHDR *hdr, LRESULT &result) override;

    std::vector<TListColumn *> Columns;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Link(TListItem *row);
    void Free(TListItem *row);
    void FreeAll();
    static int CALLBACK CompareProc(LPARAM item1, LPARAM item2, LPARAM sort);
    // A divider dragged or double-clicked: from now on that column's width
    // property is its width in pixels.
    void ColumnResized(const NMHDR *hdr);

    TListItem *FFirst = nullptr;  // every owned row, in no particular order
    int FOwned = 0;
    bool FAutoSized = false;
};
