#include "framework/listview.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

const std::string &TListItem::Text(int column) const
{
    static const std::string empty;
    if (column == 0)
        return Caption;
    return column > 0 && static_cast<size_t>(column) <= SubItems.size() ? SubItems[column - 1] : empty;
}

int TListColumn::Width() const
{
    if (FWidth < 0 || !FList || !FList->Handle)
        return FWidth;
    return FList->ColumnWidth(FIndex);
}

void TListColumn::SetWidth(int width)
{
    FWidth = width;
    if (FList && FList->Handle)
        SendMessageA(FList->Handle, LVM_SETCOLUMNWIDTH, FIndex, width);
}

TListView::~TListView()
{
    // Rows whose delete notification never came (the window went first).
    FreeAll();
}

void TListView::CreateHandle()
{
    CreateChild(WC_LISTVIEWA, WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE);
    SendMessageA(Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    Subclass();
}

void TListView::AddColumn(TListColumn &column)
{
    LVCOLUMNA c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.fmt = column.RightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
    c.cx = column.FWidth < 0 ? 50 : column.FWidth;
    c.pszText = const_cast<char *>(column.Caption.c_str());
    const int index = static_cast<int>(Columns.size());
    SendMessageA(Handle, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&c));
    Columns.push_back(&column);
    column.FList = this;
    column.FIndex = index;
    if (column.FWidth < 0 && FAutoSized)
        column.SetWidth(column.FWidth);
}

namespace {

TMouseButton ButtonOf(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        return TMouseButton::Left;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return TMouseButton::Right;
    default:
        return TMouseButton::Middle;
    }
}

}  // namespace

LRESULT TListView::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    const UINT keys = static_cast<UINT>(wp);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (OnMouseDown)
            OnMouseDown(*this, ButtonOf(msg), keys, x, y);
        break;
    case WM_MOUSEMOVE:
        if (OnMouseMove)
            OnMouseMove(*this, keys, x, y);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (OnMouseUp)
            OnMouseUp(*this, ButtonOf(msg), keys, x, y);
        break;
    }
    const LRESULT result = TControl::WndProc(msg, wp, lp);
    // An auto-size code takes effect once the list has its laid-out size:
    // the last column then fills the rest of the width.
    if (msg == WM_SIZE && LOWORD(lp) > 0 && !FAutoSized) {
        FAutoSized = true;
        for (TListColumn *column : Columns)
            if (column->FWidth < 0)
                column->SetWidth(column->FWidth);
    }
    // The header reports to the list, not to the form; the A or W variant
    // by the format the two agreed on.
    if (msg == WM_NOTIFY)
        ColumnResized(reinterpret_cast<const NMHDR *>(lp));
    return result;
}

void TListView::ColumnResized(const NMHDR *hdr)
{
    switch (hdr->code) {
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        break;
    default:
        return;
    }
    if (hdr->hwndFrom != Header())
        return;
    // Only iItem is read: the A and W structures agree up to it.
    const int index = reinterpret_cast<const NMHEADERA *>(hdr)->iItem;
    if (index >= 0 && static_cast<size_t>(index) < Columns.size())
        Columns[index]->FWidth = 0;  // the control's pixels from now on
}

bool TListView::HandleNotify(NMHDR *hdr, LRESULT &result)
{
    switch (hdr->code) {
    case LVN_GETDISPINFOA: {
        // The texts live in the row only; the list asks for them to paint.
        LVITEMA &item = reinterpret_cast<NMLVDISPINFOA *>(hdr)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            // A text longer than the buffer is cut between two characters.
            const TListItem *row = Item(item.iItem);
            const size_t n =
                row ? CharBoundaryLength(row->Text(item.iSubItem), static_cast<size_t>(item.cchTextMax - 1)) : 0;
            if (n)
                memcpy(item.pszText, row->Text(item.iSubItem).data(), n);
            item.pszText[n] = '\0';
        }
        result = 0;
        return true;
    }
    case LVN_COLUMNCLICK:
        if (OnColumnClick)
            OnColumnClick(*this, reinterpret_cast<NMLISTVIEW *>(hdr)->iSubItem);
        result = 0;
        return true;
    case LVN_DELETEITEM:
        Free(reinterpret_cast<TListItem *>(reinterpret_cast<NMLISTVIEW *>(hdr)->lParam));
        result = 0;
        return true;
    case LVN_DELETEALLITEMS:
        // Every row at once; TRUE spares one notification per row, which cost
        // seconds for a list of 80,000 rows under Wine.
        FreeAll();
        result = TRUE;
        return true;
    }
    return false;
}

void TListView::Link(TListItem *row)
{
    row->FNext = FFirst;
    if (FFirst)
        FFirst->FPrev = row;
    FFirst = row;
    ++FOwned;
}

void TListView::Free(TListItem *row)
{
    if (!row)
        return;
    if (row->FPrev)
        row->FPrev->FNext = row->FNext;
    else
        FFirst = row->FNext;
    if (row->FNext)
        row->FNext->FPrev = row->FPrev;
    --FOwned;
    delete row;
}

void TListView::FreeAll()
{
    while (FFirst) {
        TListItem *next = FFirst->FNext;
        delete FFirst;
        FFirst = next;
    }
    FOwned = 0;
}

int TListView::Count() const
{
    return static_cast<int>(SendMessageA(Handle, LVM_GETITEMCOUNT, 0, 0));
}

void TListView::AddItem(const std::string &caption, const TStringList &subItems)
{
    auto *row = new TListItem;
    row->Caption = caption;
    row->SubItems = subItems;
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = Count();
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.lParam = reinterpret_cast<LPARAM>(row);
    if (SendMessageA(Handle, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
        delete row;
        return;
    }
    Link(row);
}

const TListItem *TListView::Item(int index) const
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageA(Handle, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return ItemOfParam(item.lParam);
}

std::string TListView::ItemText(int item, int column) const
{
    const TListItem *row = Item(item);
    return row ? row->Text(column) : std::string();
}

void TListView::Clear()
{
    SendMessageA(Handle, LVM_DELETEALLITEMS, 0, 0);
}

bool TListView::ClearSome(DWORD sliceMs)
{
    // Below this many rows one call empties the list faster than row by row.
    const int AllAtOnce = 4000;
    const DWORD start = GetTickCount();
    for (;;) {
        const int count = Count();
        if (count <= AllAtOnce) {
            Clear();
            return true;
        }
        for (int i = 0; i < 64; ++i)
            SendMessageA(Handle, LVM_DELETEITEM, count - 1 - i, 0);
        if (GetTickCount() - start >= sliceMs)
            return Count() == 0;
    }
}

int TListView::SelectedCount() const
{
    return static_cast<int>(SendMessageA(Handle, LVM_GETSELECTEDCOUNT, 0, 0));
}

bool TListView::Selected(int item) const
{
    return SendMessageA(Handle, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED;
}

void TListView::SetSelected(int item, bool selected)
{
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED;
    it.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(Handle, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&it));
}

int TListView::ColumnWidth(int column) const
{
    return static_cast<int>(SendMessageA(Handle, LVM_GETCOLUMNWIDTH, column, 0));
}

int TListView::ColumnAlignment(int column) const
{
    LVCOLUMNA c = {};
    c.mask = LVCF_FMT;
    if (!SendMessageA(Handle, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&c)))
        return LVCFMT_LEFT;
    return c.fmt & LVCFMT_JUSTIFYMASK;
}

HWND TListView::Header() const
{
    return reinterpret_cast<HWND>(SendMessageA(Handle, LVM_GETHEADER, 0, 0));
}

int TListView::NextSelected(int item) const
{
    return static_cast<int>(SendMessageA(Handle, LVM_GETNEXTITEM, item, MAKELPARAM(LVNI_ALL | LVNI_SELECTED, 0)));
}

void TListView::SelectAll()
{
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED;
    it.state = LVIS_SELECTED;
    SendMessageA(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
}

bool TListView::CheckBoxes() const
{
    return SendMessageA(Handle, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES;
}

bool TListView::Checked(int item) const
{
    // State image 1 is the empty box, 2 the ticked one.
    const UINT state = static_cast<UINT>(SendMessageA(Handle, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

namespace {

struct TSortCall {
    TListView *List;
    int Data;
};

}  // namespace

int CALLBACK TListView::CompareProc(LPARAM item1, LPARAM item2, LPARAM sort)
{
    const auto *call = reinterpret_cast<const TSortCall *>(sort);
    const TListItem *a = ItemOfParam(item1), *b = ItemOfParam(item2);
    int result = 0;
    // The control's sort calls back through no C++ frame: nothing may escape.
    try {
        if (call->List->OnCompare)
            call->List->OnCompare(*call->List, a, b, call->Data, result);
        else
            result = lstrcmpA(a->Caption.c_str(), b->Caption.c_str());
    } catch (...) {
        result = 0;
    }
    return result;
}

void TListView::SortItems(int data)
{
    // LVM_SORTITEMS hands the comparison the items' lParams, which lead
    // straight to the rows. LVM_SORTITEMSEX (indexes) is quadratic under Wine
    // and reads the unsorted list.
    TSortCall call = {this, data};
    SendMessageA(Handle, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&call), reinterpret_cast<LPARAM>(CompareProc));
}
