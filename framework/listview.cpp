#include "framework/listview.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

const std::string &TListItem::Text(int column) const
{
    static const std::string empty;
    if (column == 0)
        return Caption;
    return column > 0 && static_cast<size_t>(column) <= SubItems.size() ? SubItems[column - 1] : empty;
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
    c.cx = column.Width < 0 ? 50 : column.Width;
    c.pszText = const_cast<char *>(column.Caption.c_str());
    const int index = static_cast<int>(Columns.size());
    SendMessageA(Handle, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&c));
    Columns.push_back(&column);
}

LRESULT TListView::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const LRESULT result = TControl::WndProc(msg, wp, lp);
    // An auto-size code takes effect once the list has its laid-out size:
    // the last column then fills the rest of the width.
    if (msg == WM_SIZE && LOWORD(lp) > 0 && !FAutoSized) {
        FAutoSized = true;
        for (size_t i = 0; i < Columns.size(); ++i)
            if (Columns[i]->Width < 0)
                SendMessageA(Handle, LVM_SETCOLUMNWIDTH, i, Columns[i]->Width);
    }
    return result;
}

bool TListView::HandleNotify(NMHDR *hdr, LRESULT &result)
{
    switch (hdr->code) {
    case LVN_GETDISPINFOA: {
        // The texts live in the row only; the list asks for them to paint.
        LVITEMA &item = reinterpret_cast<NMLVDISPINFOA *>(hdr)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            const TListItem *row = Item(item.iItem);
            const std::string &text = row ? row->Text(item.iSubItem) : std::string();
            const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
            memcpy(item.pszText, text.data(), n);
            item.pszText[n] = '\0';
        }
        result = 0;
        return true;
    }
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

void TListView::BeginUpdate()
{
    if (FUpdates++ == 0)
        SendMessageA(Handle, WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate()
{
    if (--FUpdates == 0) {
        SendMessageA(Handle, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(Handle, nullptr, TRUE);
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
