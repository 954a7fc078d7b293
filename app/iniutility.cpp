#include "app/iniutility.h"

#include "framework/textutil.h"

#include <algorithm>
#include <cstdint>

namespace {

const int ShowCommands[3] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};

struct TEdges {
    int64_t Left, Top, Right, Bottom;
};

int Clamp(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The screen position of the origin of placement coordinates. Windows gives
// the placement of a top-level window relative to the work area (so a task
// bar at the left or top shifts it); Wine gives screen coordinates whatever
// the work area. Rather than assume either, the difference is measured on a
// hidden window of our own placed in the primary display's work area.
POINT PlacementOrigin()
{
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const POINT workArea = {area.left, area.top};
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, area.left + 8, area.top + 8, 8, 8, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!probe)
        return workArea;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    RECT screen{};
    const bool measured = GetWindowPlacement(probe, &wp) && GetWindowRect(probe, &screen);
    DestroyWindow(probe);
    if (!measured)
        return workArea;
    return {screen.left - wp.rcNormalPosition.left, screen.top - wp.rcNormalPosition.top};
}

int StateOf(HWND window)
{
    return IsIconic(window) ? 1 : IsZoomed(window) ? 2 : 0;
}

// The normal rectangle in screen coordinates.
TEdges NormalEdges(HWND window, POINT o)
{
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(window, &wp);
    const RECT &r = wp.rcNormalPosition;
    return {int64_t{r.left} + o.x, int64_t{r.top} + o.y, int64_t{r.right} + o.x, int64_t{r.bottom} + o.y};
}

// A placement that cannot lose the window: no smaller than the window's
// minimum tracking size (as it answers WM_GETMINMAXINFO), and moved onto the
// nearest monitor's work area when no part of it is on any monitor.
void KeepUsable(HWND window, TEdges &e)
{
    MINMAXINFO info{};
    info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    e.Right = std::max<int64_t>(e.Right, e.Left + info.ptMinTrackSize.x);
    e.Bottom = std::max<int64_t>(e.Bottom, e.Top + info.ptMinTrackSize.y);

    const RECT r = {Clamp(e.Left), Clamp(e.Top), Clamp(e.Right), Clamp(e.Bottom)};
    if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL))
        return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    // The whole window when it fits, else its top left corner in the corner.
    const RECT &area = monitor.rcWork;
    const int64_t width = e.Right - e.Left, height = e.Bottom - e.Top;
    e.Left = std::max<int64_t>(area.left, std::min<int64_t>(e.Left, area.right - width));
    e.Top = std::max<int64_t>(area.top, std::min<int64_t>(e.Top, area.bottom - height));
    e.Right = e.Left + width;
    e.Bottom = e.Top + height;
}

}  // namespace

std::string GetWindowPlacementText(HWND window)
{
    const TEdges e = NormalEdges(window, PlacementOrigin());
    return std::to_string(Clamp(e.Left)) + "," + std::to_string(Clamp(e.Top)) + "," +
           std::to_string(Clamp(e.Right - e.Left)) + "," + std::to_string(Clamp(e.Bottom - e.Top)) + "," +
           std::to_string(StateOf(window));
}

int SetWindowPlacementText(HWND window, const std::string &text)
{
    const TStringList fields = SplitCommaText(text);
    int state = StateOf(window);
    if (fields.empty())
        return ShowCommands[state];

    const POINT o = PlacementOrigin();
    TEdges e = NormalEdges(window, o);
    for (size_t i = 0; i < fields.size() && i < 5; ++i) {
        const int v = StrToInt(fields[i]);
        switch (i) {
        case 0: e.Left = v; break;
        case 1: e.Top = v; break;
        case 2: e.Right = e.Left + v; break;
        case 3: e.Bottom = e.Top + v; break;
        case 4: state = v >= 0 && v <= 2 ? v : 0; break;
        }
    }
    KeepUsable(window, e);
    const int left = Clamp(e.Left), top = Clamp(e.Top);
    const int right = Clamp(e.Right), bottom = Clamp(e.Bottom);

    const bool visible = IsWindowVisible(window) != FALSE;
    if (!visible && StateOf(window) == 0) {
        // A hidden normal window: its bounds are its normal rectangle, set
        // exactly as given (no adjustment to the screen).
        SetWindowPos(window, nullptr, left, top, Clamp(int64_t{right} - left), Clamp(int64_t{bottom} - top),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        // The normal rectangle of a visible, minimised or maximised window
        // is only reachable through its placement.
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(window, &wp);
        wp.rcNormalPosition = {Clamp(int64_t{left} - o.x), Clamp(int64_t{top} - o.y),
                               Clamp(int64_t{right} - o.x), Clamp(int64_t{bottom} - o.y)};
        wp.flags = 0;
        wp.showCmd = visible ? ShowCommands[state] : SW_HIDE;
        SetWindowPlacement(window, &wp);
    }
    return ShowCommands[state];
}
