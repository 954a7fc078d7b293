// The selected rows of a report list as tab-separated text, comma-separated
// text and SYLK (Listviewutility). The texts are the list's own bytes, in
// the system's ANSI code page; nothing is converted.
#include "listview/listviewutility.h"

#include <commctrl.h>

namespace {

const char *const CrLf = "\r\n";

char AlignmentLetter(TCellKind kind)
{
    switch (kind) {
    case TCellKind::Number:
        return 'R';
    case TCellKind::CentredText:
        return 'C';
    default:
        return 'L';
    }
}

// A cell value inside a SYLK record: in a text cell every ";" is doubled,
// for a bare one ends the field. ";" (0x3B) is never the trail byte of a
// double-byte character.
std::string SylkValue(const std::string &value, TCellKind kind)
{
    if (kind == TCellKind::Number || value.find(';') == std::string::npos)
        return value;
    std::string escaped;
    for (char c : value) {
        if (c == ';')
            escaped += ';';
        escaped += c;
    }
    return escaped;
}

}  // namespace

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
    return item ? item->Text(FColumns[col]) : std::string();
}

std::string TListViewCells::CsvCellText(int row, int col, TCellKind *kind) const
{
    TCellKind k = TCellKind::Text;
    std::string text = CellText(row, col, &k);
    if (kind)
        *kind = k;
    if (k == TCellKind::Number)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void AppendField(std::string &line, char separator, const std::string &cell)
{
    line += separator;
    line += cell;
}

namespace {

// One line per row, its cells joined by separator; CR LF after every line.
template <class Cell> std::string JoinRows(const TListViewCells &cells, char separator, Cell cell)
{
    std::string text;
    for (int row = 0; row < cells.RowCount(); ++row) {
        std::string line = cells.ColCount() > 0 ? cell(row, 0) : std::string();
        for (int col = 1; col < cells.ColCount(); ++col)
            AppendField(line, separator, cell(row, col));
        text += line;
        text += CrLf;
    }
    return text;
}

}  // namespace

std::string ListViewToText(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    return JoinRows(cells, '\t', [&](int row, int col) { return cells.CellText(row, col); });
}

std::string ListViewToCsv(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    return JoinRows(cells, ',', [&](int row, int col) { return cells.CsvCellText(row, col); });
}

std::string ListViewToSylk(TListView &list, bool visibleOnly, bool noCheckColumn)
{
    const TListViewCells cells(list, visibleOnly, noCheckColumn);
    // Identification, bounds (rows, then columns), then per cell a format
    // record that places it and a cell record that takes that place, and
    // the end record.
    std::string text = "ID;PLVU";
    text += CrLf;
    text += "B;Y";
    text += std::to_string(cells.RowCount());
    text += ";X";
    text += std::to_string(cells.ColCount());
    text += CrLf;
    for (int row = 0; row < cells.RowCount(); ++row) {
        for (int col = 0; col < cells.ColCount(); ++col) {
            TCellKind kind = TCellKind::Text;
            const std::string value = cells.CsvCellText(row, col, &kind);
            text += "F;";
            if (col == 0) {
                text += 'Y';
                text += std::to_string(row + 1);
                text += ';';
            }
            text += 'X';
            text += std::to_string(col + 1);
            text += ";FG0";
            text += AlignmentLetter(kind);
            text += CrLf;
            text += "C;K";
            text += SylkValue(value, kind);
            text += CrLf;
        }
    }
    text += 'E';
    text += CrLf;
    return text;
}
