// A report list view with its columns. The list owns one TListItem per row:
// the row's texts, reached from the item's lParam, so a sort's comparison
// finds a row's texts without searching for its item.
#pragma once

#include "framework/control.h"
#include "framework/textutil.h"

class TListColumn : public TComponent {
public:
    std::string Caption;
    int Width = 50;  // LVSCW_AUTOSIZE_USEHEADER (-2): fits header, last one fills
    bool RightAligned = false;
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
    // Brackets changes that should repaint once.
    void BeginUpdate();
    void EndUpdate();
    int SelectedCount() const;
    bool Selected(int item) const;
    void SetSelected(int item, bool selected);
    int ColumnWidth(int column) const;
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

    TListItem *FFirst = nullptr;  // every owned row, in no particular order
    int FOwned = 0;
    int FUpdates = 0;
    bool FAutoSized = false;
};
