// A report list view with its columns. The list keeps its rows itself, one
// TListItem each, and the control (an owner-data list) holds only their
// count, selection and focus and asks for the texts it paints. Under Wine a
// control that holds rows finds each row it deletes by a linear scan, so
// emptying a long list costs a second or more, and each insert costs
// microseconds; an owner-data list empties at once and learns new rows by
// their count.
#pragma once

#include "framework/control.h"
#include "framework/textutil.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>

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

// One row: its texts in column order (the caption is column 0). The texts
// live in the list's text store, which releases them all at once when the
// list is emptied: appending a row allocates nothing of its own.
class TListItem {
public:
    // Column 0 is the caption; a column without a text reads as "" (never a
    // null pointer, so the text may go to the system as it is).
    std::string_view Text(int column) const;

private:
    friend class TListView;
    const char *FTexts = nullptr;  // per column its length (4 bytes), then its bytes
    int FCount = 0;                // columns
    int FStateImage = 0;           // the check box: 1 clear, 2 ticked (0: as 1)
    bool FMarked = false;          // selected, while a sort moves the rows
    bool FFocused = false;         // focused, while a sort moves the rows
};

class TListView : public TControl {
public:
    ~TListView() override;
    void CreateHandle() override;
    void AddColumn(TListColumn &column);

    int Count() const { return static_cast<int>(FRows.size()); }
    // Appends a row: caption, then one sub-item per further column.
    void AddItem(std::initializer_list<std::string_view> texts);
    void AddItem(const TStringList &texts);
    void AddItem(const std::string_view *texts, size_t count);
    // The row at an item index, or null.
    const TListItem *Item(int index) const;
    std::string ItemText(int item, int column) const;
    // Deletes every row at once.
    void Clear();
    // While held, appended rows reach the control (its scroll bar, the rows
    // it paints) only at ShowCount, or when the control is asked about its
    // rows; each count the control learns is a message and a scroll bar
    // update. Releasing shows the count.
    void HoldCount(bool hold);
    void ShowCount();
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
    // Sorts the rows, comparing pairs through OnCompare (data is handed to
    // every comparison); rows that compare equal keep their order, as in
    // the control's own sort. Selection and focus move with their rows.
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
    // The info tip of the row under the mouse (item), or empty for none.
    // When the row's caption is cut by its column, the tip shows the whole
    // caption above it.
    std::function<void(TListView &, int item, std::string &tip)> OnInfoTip;

    bool HandleNotify(NMHDR *hdr, LRESULT &result) override;

    std::vector<TListColumn *> Columns;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Tells the control the row count, if it holds another one.
    void SyncCount() const;
    // A divider dragged or double-clicked: from now on that column's width
    // property is its width in pixels.
    void ColumnResized(const NMHDR *hdr);
    // The check boxes live in the rows: the control keeps none for an
    // owner-data list.
    void SetStateImage(int item, UINT state);
    // Ticks the row's box, or clears it when ticked.
    void ToggleCheck(int item);
    // The next row from start whose caption matches text as the control's
    // search asks (LVFI_ flags: typed letters), or -1.
    int FindItem(UINT flags, const char *text, int start) const;

    // Room for the next row's texts, in blocks that are released together.
    char *StoreTexts(size_t bytes);

    std::vector<TListItem> FRows;
    std::vector<std::unique_ptr<char[]>> FTextBlocks;
    char *FTextNext = nullptr;  // the free end of the last block
    size_t FTextRoom = 0;       // its free bytes
    mutable int FShown = 0;  // the count the control holds
    bool FHeld = false;
    bool FAutoSized = false;
};
