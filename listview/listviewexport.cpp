// The selected rows of a report list as tab-separated text, comma-separated
// text and SYLK (Listviewutility), written by the row texts that the
// command-line search writes too. The texts are the list's own bytes, in the
// system's ANSI code page; nothing is converted.
#include "listview/listviewutility.h"

#include <commctrl.h>

TListViewCells::TListViewCells(TListView &list, bool visibleOnly, bool noCheckColumn) : FList(list)
{
    // Selected rows only, asked for one after another: top to bottom in the
    // list's current (possibly sorted) order.
    for (int item = list.NextSelected(-1); item >= 0; item = list.NextSelected(item)) {
        FRows.push_back(item);
        FItems.push_back(list.Item(item));
    }
    FCheckColumn = list.CheckBoxes() && !noCheckColumn;
    // Collection order; a column holding an auto-size code is not "visible".
    for (size_t i = 0; i < list.Columns.size(); ++i) {
        if (visibleOnly && list.Columns[i]->Width() <= 0)
            continue;
        const int index = static_cast<int>(i);
        FColumns.push_back(index);
        const int alignment = list.ColumnAlignment(index);
        FKinds.push_back(alignment == LVCFMT_RIGHT    ? TCellKind::Number
                         : alignment == LVCFMT_CENTER ? TCellKind::CentredText
                                                      : TCellKind::Text);
    }
}

std::string TListViewCells::CellText(int row, int col, TCellKind *kind) const
{
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        return "0";
    if (FCheckColumn) {
        if (col == 0) {
            if (kind)
                *kind = TCellKind::Number;
            return FList.Checked(FRows[row]) ? "1" : "0";
        }
        --col;
    }
    if (kind)
        *kind = FKinds[col];
    const TListItem *item = FItems[row];
    return item ? std::string(item->Text(FColumns[col])) : std::string();
}

namespace {

// The rows of cells, each handed to append with its number (from 0).
template <class Append> std::string ExportRows(const TListViewCells &cells, std::string text, Append append)
{
    std::vector<std::string> texts(cells.ColCount());
    TCellRow row(cells.ColCount());
    for (int r = 0; r < cells.RowCount(); ++r) {
        for (int c = 0; c < cells.ColCount(); ++c) {
            row[c].Kind = TCellKind::Text;
            texts[c] = cells.CellText(r, c, &row[c].Kind);
            row[c].Text = &texts[c];
        }
        append(text, r, row);
    }
    return text;
}

}  // namespace

std::string ListViewToText(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    return ExportRows(cells, "", [](std::string &out, int, const TCellRow &row) { AppendTextLine(out, row); });
}

std::string ListViewToCsv(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    return ExportRows(cells, "", [](std::string &out, int, const TCellRow &row) { AppendCsvLine(out, row); });
}

std::string ListViewToSylk(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    std::string text = ExportRows(cells, SylkHead(cells.RowCount(), cells.ColCount()),
                                  [](std::string &out, int r, const TCellRow &row) { AppendSylkRow(out, r + 1, row); });
    return text + SylkEnd;
}
