// The sort marks as a header shows them, read back pixel by pixel.
#pragma once

#include "framework/listview.h"

#include <commctrl.h>

#include <string>
#include <vector>

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
