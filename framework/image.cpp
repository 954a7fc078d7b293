#include "framework/image.h"

#include <windowsx.h>

void TImage::CreateHandle()
{
    CreateWindowExA(0, OwnClass(), "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, Left, Top, Width, Height,
                    Parent->Handle, nullptr, GetModuleHandleA(nullptr), this);
}

void TImage::SetIcon(HICON icon)
{
    FIcon = icon;
    InvalidateRect(Handle, nullptr, TRUE);
}

LRESULT TImage::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle, &ps);
        if (FIcon) {
            // The icon at the size it was loaded with.
            int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
            ICONINFO info;
            if (GetIconInfo(FIcon, &info)) {
                BITMAP bm;
                if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bm, &bm)) {
                    w = bm.bmWidth;
                    h = bm.bmHeight;
                }
                if (info.hbmColor)
                    DeleteObject(info.hbmColor);
                if (info.hbmMask)
                    DeleteObject(info.hbmMask);
            }
            RECT r;
            GetClientRect(Handle, &r);
            const int x = Center ? (r.right - w) / 2 : 0, y = Center ? (r.bottom - h) / 2 : 0;
            DrawIconEx(dc, x, y, FIcon, w, h, 0, nullptr, DI_NORMAL);
        }
        EndPaint(Handle, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetCapture(Handle);
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == Handle) {
            ReleaseCapture();
            RECT r;
            GetClientRect(Handle, &r);
            const POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            if (PtInRect(&r, p) && OnClick)
                OnClick(*this);
        }
        return 0;
    }
    return TControl::WndProc(msg, wp, lp);
}
