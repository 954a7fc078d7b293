// Sorting with header sort marks, the column widths text and the selection
// operations of Listviewutility.
#include "listview/listviewutility.h"

#include <commctrl.h>
#include <shlwapi.h>
// shlwapi names its own StrToInt as a macro; ours is the one meant here.
#undef StrToInt

#include <algorithm>
#include <cstdint>

namespace {

// The common-controls version that ListViewSortInit last read.
DWORD ComCtlVersion = 0;

const DWORD ComCtl470 = 0x40046;  // header bitmaps
const DWORD ComCtl580 = 0x50050;  // HDM_SETBITMAPMARGIN

const char *const SortMarkUp = "ListViewUtility_IDB_UP";
const char *const SortMarkDown = "ListViewUtility_IDB_DOWN";

// The sort state in the list's tag: column number (index + 1, 0: not
// sorted) in the low word, direction (1 ascending, 0 descending) in the high.
int SortColumnOf(const TListView &list) { return list.Tag & 0xFFFF; }
int SortDirectionOf(const TListView &list) { return (list.Tag >> 16) & 0xFFFF; }

// The hourglass for the length of a long operation on the list.
class THourglass {
public:
    explicit THourglass(bool on) : FOn(on)
    {
        if (FOn)
            SetCursor(LoadCursor(nullptr, IDC_WAIT));
    }
    ~THourglass()
    {
        if (FOn)
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
    }
    THourglass(const THourglass &) = delete;
    THourglass &operator=(const THourglass &) = delete;

private:
    bool FOn;
};

}  // namespace

// ---- sorting ----

DWORD GetComCtlVersion(const char *fileName)
{
    HMODULE library = LoadLibraryA(fileName);
    if (!library)
        return 0;
    DWORD version = 0;
    // Through void (*)(): a cast between unrelated function types is flagged.
    auto get = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetVersion")));
    if (get) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof info;
        if (SUCCEEDED(get(&info)))
            version = info.dwMajorVersion << 16 | (info.dwMinorVersion & 0xFFFF);
    }
    FreeLibrary(library);
    return version;
}

void ListViewSortInit(TListView &list)
{
    ComCtlVersion = GetComCtlVersion("comctl32.dll");
    if (ComCtlVersion < ComCtl470)
        return;
    HWND header = list.Header();
    if (!header)
        return;
    if (ComCtlVersion >= ComCtl580)
        SendMessageA(header, HDM_SETBITMAPMARGIN, 0, 0);
    // Hooked once: a second hook would make our own procedure the previous one.
    const LONG_PTR hook = reinterpret_cast<LONG_PTR>(ListViewHeaderProc);
    if (GetWindowLongPtrA(header, GWLP_WNDPROC) != hook) {
        SetWindowLongPtrA(header, GWLP_USERDATA, GetWindowLongPtrA(header, GWLP_WNDPROC));
        SetWindowLongPtrA(header, GWLP_WNDPROC, hook);
    }
    if (list.Tag != 0)
        ListViewShowSortMark(&list, true);
}

LRESULT CALLBACK ListViewHeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A header never deletes its items' bitmaps: the mark, ours, is taken
    // off its item and deleted before the header goes.
    if (message == WM_DESTROY) {
        const int count = static_cast<int>(SendMessageA(window, HDM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            HDITEMA item = {};
            item.mask = HDI_BITMAP;
            if (!SendMessageA(window, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item)) || !item.hbm)
                continue;
            HBITMAP mark = item.hbm;
            item.hbm = nullptr;
            SendMessageA(window, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
            DeleteObject(mark);
        }
    }
    auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
    const LRESULT result = previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                                    : DefWindowProcA(window, message, wParam, lParam);
    // A column click and the drag of a divider both end with the header
    // giving up the capture, after its own drawing: the mark comes back then.
    if (message == WM_CAPTURECHANGED)
        if (auto *list = dynamic_cast<TListView *>(TControl::FromHandle(GetParent(window))))
            ListViewShowSortMark(list, true);
    return result;
}

void ListViewShowSortMark(TListView *list, bool show)
{
    if (!list || SortColumnOf(*list) == 0)
        return;
    HWND header = list->Header();
    if (!header || !GetWindowLongPtrA(header, GWLP_USERDATA))
        return;
    const int index = SortColumnOf(*list) - 1;
    HDITEMA item = {};
    item.mask = HDI_FORMAT | HDI_BITMAP;
    if (!SendMessageA(header, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item)))
        return;
    // The item's bitmap is ours: one at a time, deleted when replaced or removed.
    if (item.hbm) {
        DeleteObject(item.hbm);
        item.hbm = nullptr;
    }
    if (show) {
        item.fmt |= HDF_BITMAP | HDF_BITMAP_ON_RIGHT;
        // The 3-D mapping turns the light grey into the button face and the
        // dark grey into the shadow colour of the current scheme.
        item.hbm = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                   SortDirectionOf(*list) == 1 ? SortMarkUp : SortMarkDown,
                                                   IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    } else {
        item.fmt &= ~(HDF_BITMAP | HDF_BITMAP_ON_RIGHT);
    }
    SendMessageA(header, HDM_SETITEMA, index, reinterpret_cast<LPARAM>(&item));
}

void ListViewSortColumn(TListView &list, int column)
{
    THourglass wait(true);
    ListViewShowSortMark(&list, false);
    const int n = column + 1;
    int sortColumn = SortColumnOf(list), direction = SortDirectionOf(list);
    if (n == sortColumn) {
        direction = direction == 1 ? 0 : 1;
    } else {
        sortColumn = n;
        direction = 1;
    }
    list.Tag = sortColumn | direction << 16;
    list.SortItems(list.ColumnAlignment(column) == LVCFMT_RIGHT ? 1 : 0);
    // Some headers release the capture before they report the click: the
    // hook has then drawn the old state, so the new mark is drawn here too.
    ListViewShowSortMark(&list, true);
}

void ListViewCompareItems(TListView &list, const TListItem *row1, const TListItem *row2, int numeric,
                          int &result)
{
    const int column = SortColumnOf(list);
    const std::string_view key1 = row1 ? row1->Text(column - 1) : std::string_view();
    const std::string_view key2 = row2 ? row2->Text(column - 1) : std::string_view();
    result = numeric ? CompareNumberText(key1, key2) : CompareText(key1, key2);
    if (SortDirectionOf(list) == 0)
        result = -result;
}

// ---- column widths and selection ----

std::string ListViewGetColumnWidths(TListView &list)
{
    std::string text;
    for (size_t i = 0; i < list.Columns.size(); ++i) {
        const TListColumn &column = *list.Columns[i];
        if (i > 0)
            text += ',';
        text += std::to_string(column.Tag < 0 ? column.Tag : column.Width());
    }
    return text;
}

int SaneColumnWidth(int width)
{
    if (width == 0 || width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER)
        return width;
    return std::clamp(width, MinColumnWidth, MaxColumnWidth);
}

void ListViewSetColumnWidths(TListView &list, const std::string &text)
{
    const TStringList entries = SplitCommaText(text);
    for (size_t i = 0; i < list.Columns.size(); ++i) {
        TListColumn &column = *list.Columns[i];
        column.Tag = column.Width();  // the declared width: a code stays a code
        if (i >= entries.size())
            continue;
        column.SetWidth(SaneColumnWidth(StrToInt(entries[i])));  // raises the conversion error
    }
}

void ListViewSelectAll(TListView &list, bool hourglass)
{
    THourglass wait(hourglass);
    // With redrawing suspended: a list that repaints invalidates each row as
    // it is selected, which under Wine is a server round trip per row.
    list.BeginUpdate();
    list.SelectAll();
    list.EndUpdate();
}

void ListViewSelectInvert(TListView &list, bool hourglass)
{
    THourglass wait(hourglass);
    list.BeginUpdate();
    // Every row flips; the rows are set through the smaller side: all rows
    // at once with the control's own (de)select-all, then one by one only
    // the rows of the smaller part (each single change costs two
    // notifications, 80,000 rows about half a second under Wine).
    std::vector<int> selected;
    for (int i = list.NextSelected(-1); i >= 0; i = list.NextSelected(i))
        selected.push_back(i);
    const int count = list.Count();
    if (selected.size() * 2 <= static_cast<size_t>(count)) {
        list.SelectAll();
        for (int i : selected)
            list.SetSelected(i, false);
    } else {
        list.SetSelected(-1, false);
        size_t next = 0;  // selected is in ascending order
        for (int i = 0; i < count; ++i) {
            if (next < selected.size() && selected[next] == i)
                ++next;
            else
                list.SetSelected(i, true);
        }
    }
    list.EndUpdate();
}
