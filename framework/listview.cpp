#include "framework/listview.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

std::string_view TListItem::Text(int column) const
{
    if (column < 0 || column >= FCount)
        return "";
    const char *at = FTexts;
    uint32_t length;
    for (;;) {
        memcpy(&length, at, sizeof length);
        at += sizeof length;
        if (column-- == 0)
            return {at, length};
        at += length;
    }
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

TListView::~TListView() = default;

void TListView::CreateHandle()
{
    CreateChild(WC_LISTVIEWA, WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA, WS_EX_CLIENTEDGE);
    SendMessageA(Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                 LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    // The check boxes are asked for with the texts (LVN_GETDISPINFO).
    SendMessageA(Handle, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
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

// As lstrcmpA compares two captions; a failed comparison counts as equal.
int CompareCaptions(std::string_view a, std::string_view b)
{
    const int order = CompareStringA(GetThreadLocale(), 0, a.data(), static_cast<int>(a.size()), b.data(),
                                     static_cast<int>(b.size()));
    return order ? order - CSTR_EQUAL : 0;
}

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
    // Whoever asks the control about its rows gets them all.
    if (msg >= LVM_FIRST && msg < LVM_FIRST + 0x100)
        SyncCount();
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    const UINT keys = static_cast<UINT>(wp);
    switch (msg) {
    case LVM_SETITEMSTATE:
        if (reinterpret_cast<const LVITEMA *>(lp)->stateMask & LVIS_STATEIMAGEMASK)
            SetStateImage(static_cast<int>(wp), reinterpret_cast<const LVITEMA *>(lp)->state);
        break;
    case WM_KEYDOWN:
        // The control's own toggle keeps nothing in an owner-data list.
        if (wp == VK_SPACE && CheckBoxes()) {
            ToggleCheck(static_cast<int>(SendMessageA(Handle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED)));
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (msg == WM_LBUTTONDOWN && CheckBoxes()) {
            LVHITTESTINFO hit = {};
            hit.pt = {x, y};
            SendMessageA(Handle, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            if (hit.flags & LVHT_ONITEMSTATEICON)
                ToggleCheck(hit.iItem);
        }
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
        const TListItem *row = Item(item.iItem);
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            // A text longer than the buffer is cut between two characters.
            const std::string_view text = row ? row->Text(item.iSubItem) : "";
            const size_t n = CharBoundaryLength(text, static_cast<size_t>(item.cchTextMax - 1));
            memcpy(item.pszText, text.data(), n);
            item.pszText[n] = '\0';
            // Shown as the row's copies write it: a control byte (a name may
            // hold any byte but NUL) as "?"; no trail byte is below 0x40.
            for (size_t i = 0; i < n; ++i)
                if (static_cast<unsigned char>(item.pszText[i]) < 0x20 || item.pszText[i] == 0x7F)
                    item.pszText[i] = '?';
        }
        if ((item.mask & LVIF_STATE) && row && CheckBoxes())
            item.state |= INDEXTOSTATEIMAGEMASK(row->FStateImage ? row->FStateImage : 1) & item.stateMask;
        result = 0;
        return true;
    }
    case LVN_ODFINDITEMA: {
        const auto *find = reinterpret_cast<NMLVFINDITEMA *>(hdr);
        result = FindItem(find->lvfi.flags, find->lvfi.psz, find->iStart);
        return true;
    }
    case LVN_GETINFOTIPA: {
        auto *request = reinterpret_cast<NMLVGETINFOTIPA *>(hdr);
        std::string tip;
        if (OnInfoTip && request->pszText && request->cchTextMax > 0)
            OnInfoTip(*this, request->iItem, tip);
        if (!tip.empty()) {
            // Without LVGIT_UNFOLDED the buffer holds the caption its column cut.
            const std::string_view caption(request->pszText,
                                           strnlen(request->pszText, static_cast<size_t>(request->cchTextMax)));
            if (!(request->dwFlags & LVGIT_UNFOLDED) && !caption.empty() && caption != tip)
                tip.insert(0, std::string(caption) + "\r\n");
            const size_t n = CharBoundaryLength(tip, static_cast<size_t>(request->cchTextMax - 1));
            memcpy(request->pszText, tip.data(), n);
            request->pszText[n] = '\0';
        }
        result = 0;
        return true;
    }
    case LVN_COLUMNCLICK:
        if (OnColumnClick)
            OnColumnClick(*this, reinterpret_cast<NMLISTVIEW *>(hdr)->iSubItem);
        result = 0;
        return true;
    }
    return false;
}

char *TListView::StoreTexts(size_t bytes)
{
    // A search appends tens of thousands of rows of some 60 bytes each.
    const size_t blockSize = 64 * 1024;
    if (bytes > FTextRoom) {
        const size_t size = std::max(bytes, blockSize);
        FTextBlocks.push_back(std::make_unique<char[]>(size));
        FTextNext = FTextBlocks.back().get();
        FTextRoom = size;
    }
    char *at = FTextNext;
    FTextNext += bytes;
    FTextRoom -= bytes;
    return at;
}

void TListView::AddItem(std::initializer_list<std::string_view> texts)
{
    AddItem(texts.begin(), texts.size());
}

void TListView::AddItem(const TStringList &texts)
{
    std::vector<std::string_view> views(texts.begin(), texts.end());
    AddItem(views.data(), views.size());
}

void TListView::AddItem(const std::string_view *texts, size_t count)
{
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i)
        bytes += sizeof(uint32_t) + texts[i].size();
    TListItem row;
    char *at = StoreTexts(bytes);
    row.FTexts = at;
    row.FCount = static_cast<int>(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string_view text = texts[i];
        const uint32_t length = static_cast<uint32_t>(text.size());
        memcpy(at, &length, sizeof length);
        if (length)
            memcpy(at + sizeof length, text.data(), length);
        at += sizeof length + length;
    }
    FRows.push_back(row);
    if (!FHeld)
        SyncCount();
}

const TListItem *TListView::Item(int index) const
{
    return index >= 0 && index < Count() ? &FRows[index] : nullptr;
}

std::string TListView::ItemText(int item, int column) const
{
    const TListItem *row = Item(item);
    return row ? std::string(row->Text(column)) : std::string();
}

void TListView::Clear()
{
    FRows.clear();
    FRows.shrink_to_fit();
    FTextBlocks.clear();
    FTextNext = nullptr;
    FTextRoom = 0;
    FShown = 0;
    SendMessageA(Handle, LVM_DELETEALLITEMS, 0, 0);
}

void TListView::HoldCount(bool hold)
{
    FHeld = hold;
    if (!hold)
        SyncCount();
}

void TListView::ShowCount()
{
    SyncCount();
}

void TListView::SyncCount() const
{
    if (FShown == Count() || !Handle)
        return;
    // Set first: the message comes back through WndProc, which syncs.
    FShown = Count();
    // Only rows that come into view are painted; a list that was scrolled
    // stays where it is.
    SendMessageA(Handle, LVM_SETITEMCOUNT, FShown, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void TListView::SetStateImage(int item, UINT state)
{
    const int image = static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
    if (item == -1) {
        for (TListItem &row : FRows)
            row.FStateImage = image;
        InvalidateRect(Handle, nullptr, FALSE);
    } else if (item >= 0 && item < Count()) {
        FRows[item].FStateImage = image;
        SendMessageA(Handle, LVM_REDRAWITEMS, item, item);
    }
}

void TListView::ToggleCheck(int item)
{
    if (const TListItem *row = Item(item))
        SetStateImage(item, INDEXTOSTATEIMAGEMASK(row->FStateImage == 2 ? 1 : 2));
}

int TListView::FindItem(UINT flags, const char *text, int start) const
{
    // What the control does for a list that holds its rows: captions that
    // begin with the text (LVFI_PARTIAL) or equal it, without regard to
    // case, from start on, then from the top (LVFI_WRAP).
    if (!(flags & (LVFI_STRING | LVFI_PARTIAL)) || !text || Count() == 0)
        return -1;
    const int length = lstrlenA(text);
    const int count = Count();
    start = start >= 0 && start < count ? start : 0;
    const int last = (flags & LVFI_WRAP) ? start + count : count;
    for (int i = start; i < last; ++i) {
        const std::string_view caption = FRows[i % count].Text(0);
        const int n = (flags & LVFI_PARTIAL) ? std::min(length, static_cast<int>(caption.size()))
                                                  : static_cast<int>(caption.size());
        if ((!(flags & LVFI_PARTIAL) || n == length) &&
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, caption.data(), n, text, length) ==
                CSTR_EQUAL)
            return i % count;
    }
    return -1;
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
    const TListItem *row = Item(item);
    return row && row->FStateImage == 2;
}

void TListView::SortItems(int data)
{
    SyncCount();
    // The control keeps selection and focus by index: note them on the rows.
    const int focused = static_cast<int>(SendMessageA(Handle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
    if (focused >= 0 && focused < Count())
        FRows[focused].FFocused = true;
    const int selected = SelectedCount();
    const bool some = selected > 0 && selected < Count();  // all or none stay so
    for (int i = some ? NextSelected(-1) : -1; i >= 0; i = NextSelected(i))
        FRows[i].FMarked = true;
    auto compare = [this, data](const TListItem &a, const TListItem &b) {
        int result = 0;
        // A comparison that fails counts as equal: the sort must see no exception.
        try {
            if (OnCompare)
                OnCompare(*this, &a, &b, data, result);
            else
                result = CompareCaptions(a.Text(0), b.Text(0));
        } catch (...) {
            result = 0;
        }
        return result < 0;
    };
    std::stable_sort(FRows.begin(), FRows.end(), compare);
    BeginUpdate();
    if (some) {
        SetSelected(-1, false);
        for (int i = 0; i < Count(); ++i) {
            if (FRows[i].FMarked)
                SetSelected(i, true);
            FRows[i].FMarked = false;
        }
    }
    for (int i = 0; i < Count(); ++i) {
        if (FRows[i].FFocused) {
            FRows[i].FFocused = false;
            LVITEMA it = {};
            it.stateMask = it.state = LVIS_FOCUSED;
            SendMessageA(Handle, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&it));
            break;
        }
    }
    EndUpdate();
}
