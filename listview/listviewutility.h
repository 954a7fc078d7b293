// Listviewutility: free functions on any report list. Column sorting with a
// sort mark on the header, the selected rows as tab-separated text, CSV and
// SYLK, the column widths as one text, and the selection operations. All
// per-list state lives on the list itself: the sort state in its tag, the
// declared widths in its columns' tags, the header's previous window
// procedure in the header's user-data slot.
#pragma once

#include "framework/listview.h"
#include "rows/rowtext.h"

#include <stdexcept>
#include <string>
#include <vector>

// ---- sorting ----

// The version of the named common-controls library: major << 16 | minor
// (4.70 is 0x40046, 5.80 is 0x50050); 0 when it cannot be read.
DWORD GetComCtlVersion(const char *fileName);
// Hooks the list's header so that the sort mark survives the header's own
// drawing, and shows the stored mark. Once per list, after its window exists.
void ListViewSortInit(TListView &list);
// The header's replacement window procedure.
LRESULT CALLBACK ListViewHeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Draws (show) or removes the mark on the header item of the stored sort
// column; nothing without a list, a sort column or an installed hook.
void ListViewShowSortMark(TListView *list, bool show);
// A header click on column (collection order): the same column flips the
// direction, another one starts ascending; then the rows are sorted.
void ListViewSortColumn(TListView &list, int column);
// Compares two rows by the stored sort column and direction; numeric != 0
// compares them as signed decimal numbers.
void ListViewCompareItems(TListView &list, const TListItem *row1, const TListItem *row2, int numeric,
                          int &result);

// ---- export of the selected rows ----

// The selected rows (top to bottom in list order) and the exported columns
// of one list, taken once for one export.
class TListViewCells {
public:
    // visibleOnly: only columns whose width property is above 0 (a column
    // that still holds an auto-size code counts as not visible).
    // noCheckColumn: no leading check-state column even if the list has boxes.
    TListViewCells(TListView &list, bool visibleOnly, bool noCheckColumn);
    int RowCount() const { return static_cast<int>(FRows.size()); }
    int ColCount() const { return static_cast<int>(FColumns.size()) + (FCheckColumn ? 1 : 0); }
    // The raw text of a cell; "0" (and no kind) outside the snapshot.
    std::string CellText(int row, int col, TCellKind *kind = nullptr) const;

private:
    TListView &FList;
    std::vector<int> FRows;                 // item indexes
    std::vector<const TListItem *> FItems;  // their texts, same order
    std::vector<int> FColumns;              // exported list columns, in order
    std::vector<TCellKind> FKinds;          // their kinds
    bool FCheckColumn = false;
};

// Each text has one line per selected row, every line ending with CR LF.
std::string ListViewToText(TListView &list, bool visibleOnly, bool noCheckColumn);
std::string ListViewToCsv(TListView &list, bool visibleOnly, bool noCheckColumn);
std::string ListViewToSylk(TListView &list, bool visibleOnly, bool noCheckColumn);

// ---- column widths and selection ----

// The widths of all columns in collection order, joined with ",": a column
// declared with an auto-size code (its tag) is written with that code.
std::string ListViewGetColumnWidths(TListView &list);
// The width a column takes from a text: 0 (hidden) and the auto-size codes
// -1 and -2 as they are, any other value kept between MinColumnWidth and
// MaxColumnWidth pixels (the control keeps only 16 bits of a width).
constexpr int MinColumnWidth = 10, MaxColumnWidth = 4000;
int SaneColumnWidth(int width);
// Records every column's width property in its tag as its declared width,
// then applies the widths of the comma text, each made sane. An entry that is
// not an integer throws EConvertError; the columns before it keep their new
// widths.
void ListViewSetColumnWidths(TListView &list, const std::string &text);
void ListViewSelectAll(TListView &list, bool hourglass);
// Flips the selected state of every row; the focused row stays.
void ListViewSelectInvert(TListView &list, bool hourglass);
