#include "framework/control.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <unordered_map>

#include "framework/application.h"

namespace {

// The object of each of our windows, for the window procedures and for
// reflecting notifications. A map of our own rather than window properties:
// under Wine every property lookup is a round trip to the server, and the
// list's notifications made that the cost of each appended row.
std::unordered_map<HWND, TControl *> &Objects()
{
    static std::unordered_map<HWND, TControl *> objects;
    return objects;
}

}  // namespace

TControl::~TControl()
{
    Detach();
}

void TControl::Detach()
{
    if (!Handle)
        return;
    if (FOriginalProc && IsWindow(Handle))
        SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOriginalProc));
    auto it = Objects().find(Handle);
    if (it != Objects().end() && it->second == this)
        Objects().erase(it);
    Handle = nullptr;
}

TControl *TControl::FromHandle(HWND handle)
{
    auto it = Objects().find(handle);
    return it == Objects().end() ? nullptr : it->second;
}

void TControl::Attach(HWND handle)
{
    Handle = handle;
    Objects()[handle] = this;
    if (Font)
        SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
}

HWND TControl::CreateChild(const char *className, DWORD style, DWORD exStyle, const char *text)
{
    HWND h = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                             Left, Top, Width, Height, Parent->Handle, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    Attach(h);
    return h;
}

// Replaces the window procedure directly: comctl32's SetWindowSubclass keeps
// its data in a window property, which under Wine costs a server round trip
// per message (it made every appended row fifty times slower).
void TControl::Subclass()
{
    FOriginalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TControl *self = FromHandle(hwnd);
    if (!self)
        return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return self->WndProc(msg, wp, lp);
    } catch (...) {
        Application.HandleException();
        return self->DefaultProc(msg, wp, lp);
    }
}

LRESULT TControl::DefaultProc(UINT msg, WPARAM wp, LPARAM lp)
{
    return FOriginalProc ? CallWindowProcA(FOriginalProc, Handle, msg, wp, lp)
                         : DefWindowProcA(Handle, msg, wp, lp);
}

LRESULT TControl::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result;
    if (Reflect(msg, wp, lp, result))
        return result;
    return DefaultProc(msg, wp, lp);
}

std::string TControl::Text() const
{
    // The length may count more bytes than the text has (double-byte texts).
    const int n = GetWindowTextLengthA(Handle);
    std::string text(n + 1, '\0');
    text.resize(GetWindowTextA(Handle, &text[0], n + 1));
    return text;
}

void TControl::SetText(const std::string &text)
{
    SetWindowTextA(Handle, text.c_str());
}

bool TControl::Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT &result)
{
    result = 0;
    if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT) {
        TControl *child = FromHandle(reinterpret_cast<HWND>(lp));
        if (!child || (child->FontColor == CLR_INVALID && child->Color < 0))
            return false;
        // The system's colours first, then the child's own over them.
        result = DefaultProc(msg, wp, lp);
        HDC dc = reinterpret_cast<HDC>(wp);
        if (child->FontColor != CLR_INVALID)
            SetTextColor(dc, child->FontColor);
        if (child->Color >= 0) {
            SetBkColor(dc, GetSysColor(child->Color));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(child->Color));
        }
        return true;
    }
    if (msg == WM_COMMAND && lp) {
        TControl *child = FromHandle(reinterpret_cast<HWND>(lp));
        return child && child->HandleCommand(LOWORD(wp), HIWORD(wp));
    }
    if (msg == WM_NOTIFY) {
        NMHDR *hdr = reinterpret_cast<NMHDR *>(lp);
        TControl *child = FromHandle(hdr->hwndFrom);
        // A tooltip is nobody's control: offer it to the children.
        if (!child) {
            for (TControl *c : Children)
                if (c->HandleNotify(hdr, result))
                    return true;
            return false;
        }
        return child->HandleNotify(hdr, result);
    }
    return false;
}

void TControl::BeginUpdate()
{
    if (FUpdates++ == 0)
        SendMessageA(Handle, WM_SETREDRAW, FALSE, 0);
}

void TControl::EndUpdate()
{
    if (--FUpdates == 0) {
        SendMessageA(Handle, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(Handle, nullptr, TRUE);
    }
}

void TControl::RegisterOwnClass(const char *name, UINT style, HICON icon)
{
    WNDCLASSA wc = {};
    if (GetClassInfoA(GetModuleHandleA(nullptr), name, &wc))
        return;
    wc.style = style;
    wc.lpfnWndProc = OwnClassProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = icon;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

const char *TControl::OwnClass(UINT style)
{
    // One class per style combination in use; registered on first use.
    static char name[48];
    wsprintfA(name, "TKalvexWindow%X", style);
    RegisterOwnClass(name, style, nullptr);
    return name;
}

LRESULT CALLBACK TControl::OwnClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        if (cs->lpCreateParams)
            static_cast<TControl *>(cs->lpCreateParams)->Attach(hwnd);
    }
    return SubclassProc(hwnd, msg, wp, lp);
}

RECT TControl::ChildArea() const
{
    RECT r;
    GetClientRect(Handle, &r);
    return r;
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (Handle)
        MoveWindow(Handle, left, top, std::max(width, 0), std::max(height, 0), TRUE);
    Realign();
}

void TControl::Realign()
{
    if (!Handle)
        return;
    // Each control asks for its preferred size; it gets what is left of it.
    RECT area = ChildArea();
    const TAlign order[] = {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client};
    for (TAlign side : order) {
        for (TControl *c : Children) {
            if (c->Align != side)
                continue;
            const int w = std::max<int>(area.right - area.left, 0), h = std::max<int>(area.bottom - area.top, 0);
            const int height = std::clamp(c->Height, 0, h), width = std::clamp(c->Width, 0, w);
            switch (side) {
            case TAlign::Top:
                c->SetBounds(area.left, area.top, w, height);
                area.top += height;
                break;
            case TAlign::Bottom:
                c->SetBounds(area.left, area.bottom - height, w, height);
                area.bottom -= height;
                break;
            case TAlign::Left:
                c->SetBounds(area.left, area.top, width, h);
                area.left += width;
                break;
            case TAlign::Right:
                c->SetBounds(area.right - width, area.top, width, h);
                area.right -= width;
                break;
            default:
                c->SetBounds(area.left, area.top, w, h);
                break;
            }
        }
    }
    RECT client;
    GetClientRect(Handle, &client);
    for (TControl *c : Children) {
        if (c->Align != TAlign::None)
            continue;
        if (c->RightMargin >= 0)
            c->SetBounds(c->Left, c->Top, client.right - c->RightMargin - c->Left, c->Height);
        else
            c->Realign();  // stays where it is; its own children still need laying out
    }
}

void TPanel::CreateHandle()
{
    HWND parent = Parent ? Parent->Handle : nullptr;
    CreateWindowExA(WS_EX_CONTROLPARENT, OwnClass(), "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                    Left, Top, Width, Height, parent, nullptr, GetModuleHandleA(nullptr), this);
}

int TPanel::FrameWidth() const
{
    return ((BevelInner != TBevel::None) + (BevelOuter != TBevel::None)) * BevelWidth + BorderWidth;
}

RECT TPanel::ChildArea() const
{
    RECT r = TControl::ChildArea();
    InflateRect(&r, -FrameWidth(), -FrameWidth());
    return r;
}

namespace {

// A bevel of width pixels: light on the top and left edges, dark on the
// others when raised, the other way round when lowered.
void DrawBevel(HDC dc, RECT &r, TBevel bevel, int width)
{
    if (bevel == TBevel::None)
        return;
    const UINT edge = bevel == TBevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER;
    for (int i = 0; i < width; ++i) {
        DrawEdge(dc, &r, edge, BF_RECT);
        InflateRect(&r, -1, -1);
    }
}

}  // namespace

LRESULT TPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle, &ps);
        RECT r;
        GetClientRect(Handle, &r);
        DrawBevel(dc, r, BevelOuter, BevelWidth);
        InflateRect(&r, -BorderWidth, -BorderWidth);
        DrawBevel(dc, r, BevelInner, BevelWidth);
        EndPaint(Handle, &ps);
        return 0;
    }
    if (msg == WM_SIZE)
        InvalidateRect(Handle, nullptr, TRUE);
    return TControl::WndProc(msg, wp, lp);
}

void TSplitter::CreateHandle()
{
    HWND parent = Parent->Handle;
    CreateWindowExA(0, OwnClass(0), "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, Left, Top, Width, Height,
                    parent, nullptr, GetModuleHandleA(nullptr), this);
}

LRESULT TSplitter::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SETCURSOR:
        SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
        return TRUE;
    case WM_LBUTTONDOWN:
        if (Control) {
            POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            MapWindowPoints(Handle, Parent->Handle, &p, 1);
            FDownX = p.x;
            FStartWidth = Control->Width;
            FDragging = true;
            SetCapture(Handle);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (FDragging) {
            POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            MapWindowPoints(Handle, Parent->Handle, &p, 1);
            const int delta = p.x - FDownX;
            int width = Control->Align == TAlign::Right ? FStartWidth - delta : FStartWidth + delta;
            // Room left for the client-aligned neighbour.
            const RECT area = Parent->ChildArea();
            int others = 0;
            for (TControl *c : Parent->Children)
                if (c != Control && (c->Align == TAlign::Left || c->Align == TAlign::Right))
                    others += c->Width;
            const int most = (area.right - area.left) - others - MinSize;
            width = std::max(MinSize, std::min(width, most));
            if (width != Control->Width) {
                Control->Width = width;
                Parent->Realign();
            }
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (FDragging) {
            FDragging = false;
            if (msg == WM_LBUTTONUP)
                ReleaseCapture();
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle, &ps);
        if (Beveled) {
            RECT r;
            GetClientRect(Handle, &r);
            DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        }
        EndPaint(Handle, &ps);
        return 0;
    }
    }
    return TControl::WndProc(msg, wp, lp);
}
