#include "framework/listview.h"

#include <commctrl.h>

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

int TListView::Count() const
{
    return static_cast<int>(SendMessageA(Handle, LVM_GETITEMCOUNT, 0, 0));
}

void TListView::AddItem(const std::string &caption, const TStringList &subItems)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = Count();
    item.pszText = const_cast<char *>(caption.c_str());
    const int index = static_cast<int>(SendMessageA(Handle, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t i = 0; i < subItems.size(); ++i) {
        LVITEMA sub = {};
        sub.iSubItem = static_cast<int>(i + 1);
        sub.pszText = const_cast<char *>(subItems[i].c_str());
        SendMessageA(Handle, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&sub));
    }
}

std::string TListView::ItemText(int item, int column) const
{
    std::string text(1024, '\0');
    for (;;) {
        LVITEMA it = {};
        it.iSubItem = column;
        it.pszText = &text[0];
        it.cchTextMax = static_cast<int>(text.size());
        const int n = static_cast<int>(SendMessageA(Handle, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&it)));
        if (n < static_cast<int>(text.size()) - 1) {
            text.resize(n);
            return text;
        }
        text.resize(text.size() * 4);
    }
}

void TListView::Clear()
{
    SendMessageA(Handle, LVM_DELETEALLITEMS, 0, 0);
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
