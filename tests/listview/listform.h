// A shown window holding a report list with the result list's four columns
// (180, 50 right-aligned, 150, -2), sorting through Listviewutility; and the
// helpers the list tests share.
#pragma once

#include "framework/form.h"
#include "listview/listviewutility.h"

#include <commctrl.h>

#include <string>
#include <vector>

class TListForm : public TForm {
public:
    TListForm();
    ~TListForm() override { DestroyHandle(); }

    void ColumnClick(TListView &list, int column) { ListViewSortColumn(list, column); }
    void Compare(TListView &list, const TListItem *a, const TListItem *b, int data, int &result)
    {
        ListViewCompareItems(list, a, b, data, result);
    }
    // Rows of "name|ordinal|module|path".
    void AddRows(const std::vector<std::vector<std::string>> &rows)
    {
        for (const auto &r : rows)
            List->AddItem(r.at(0), TStringList(r.begin() + 1, r.end()));
    }
    void Select(const std::vector<int> &items)
    {
        for (int i : items)
            List->SetSelected(i, true);
    }
    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (int i = List->NextSelected(-1); i >= 0; i = List->NextSelected(i))
            rows.push_back(i);
        return rows;
    }
    // What the header tells the list when the user has dragged (end-track)
    // or double-clicked a divider.
    void HeaderNotifies(int column, UINT code, int width)
    {
        HDITEMA item = {};
        item.mask = HDI_WIDTH;
        item.cxy = width;
        NMHEADERA n = {};
        n.hdr.hwndFrom = List->Header();
        n.hdr.idFrom = GetDlgCtrlID(n.hdr.hwndFrom);
        n.hdr.code = code;
        n.iItem = column;
        n.iButton = 0;
        n.pitem = &item;
        SendMessageA(List->Handle, WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n));
    }

    TListView *List = nullptr;
    static const TDesign<TListForm> Design[];
};

inline const TDesign<TListForm> TListForm::Design[] = {
    {.Kind = TKind::ListView, .Name = "List", .Field = &TListForm::List, .Align = TAlign::Client,
     .OnColumnClick = &TListForm::ColumnClick, .OnCompare = &TListForm::Compare},
    {.Kind = TKind::ListColumn, .Name = "Name", .Parent = "List", .Width = 180, .Caption = "name"},
    {.Kind = TKind::ListColumn, .Name = "Ordinal", .Parent = "List", .Width = 50, .Caption = "ordinal",
     .RightAligned = true},
    {.Kind = TKind::ListColumn, .Name = "Module", .Parent = "List", .Width = 150, .Caption = "module"},
    {.Kind = TKind::ListColumn, .Name = "Path", .Parent = "List", .Width = -2, .Caption = "path"},
};

inline TListForm::TListForm() : TForm("TListForm")
{
    Application.Initialize();
    Width = 640;
    Height = 300;
    Build(*this, Design);
    ListViewSortInit(*List);
    ShowWindow(Handle, SW_SHOW);
    Application.ProcessMessages();
}

// A sort mark bitmap as rows of "." (button face), "D" (3-D shadow), "H"
// (white) and "?" (anything else), top row first.
inline std::vector<std::string> MarkPixels(HBITMAP bitmap)
{
    BITMAP info = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return {};
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = info.bmWidth;
    bi.bmiHeader.biHeight = -info.bmHeight;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> bits(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, info.bmHeight, bits.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    auto rgb = [](COLORREF c) { return static_cast<DWORD>(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c)); };
    std::vector<std::string> rows;
    for (int y = 0; y < info.bmHeight; ++y) {
        std::string row;
        for (int x = 0; x < info.bmWidth; ++x) {
            const DWORD p = bits[static_cast<size_t>(y) * info.bmWidth + x] & 0xFFFFFF;
            row += p == rgb(GetSysColor(COLOR_3DFACE))     ? '.'
                   : p == rgb(GetSysColor(COLOR_3DSHADOW)) ? 'D'
                   : p == 0xFFFFFF                         ? 'H'
                                                           : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

inline const std::vector<std::string> MarkUp = {
    "..............", "..............", "..............", "..............", "......DH......",
    ".....DDHH.....", ".....D..H.....", "....DD..HH....", "....D....H....", "...DD....HH...",
    "...HHHHHHHH...", "..............", "..............", ".............."};
inline const std::vector<std::string> MarkDown = {
    "..............", "..............", "..............", "..............", "...DDDDDDDD...",
    "...DD....HH...", "....D....H....", "....DD..HH....", ".....D..H.....", ".....DDHH.....",
    "......DH......", "..............", "..............", ".............."};

// The header item's format flags and its bitmap, as the header reports them.
inline HDITEMA HeaderItem(const TListView &list, int column)
{
    HDITEMA item = {};
    item.mask = HDI_FORMAT | HDI_BITMAP;
    SendMessageA(list.Header(), HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
    return item;
}
