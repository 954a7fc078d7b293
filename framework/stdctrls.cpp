#include "framework/stdctrls.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

void TEdit::CreateHandle()
{
    CreateChild("EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    Subclass();
}

LRESULT TEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CHAR && OnKeyPress) {
        char key = static_cast<char>(wp);
        OnKeyPress(*this, key);
        if (key == 0)
            return 0;
        wp = static_cast<unsigned char>(key);
    }
    return TControl::WndProc(msg, wp, lp);
}

void TMemo::CreateHandle()
{
    // No ES_WANTRETURN: Enter inserts no line where a form handles it first.
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL;
    if (ReadOnly)
        style |= ES_READONLY;
    if (VertScrollBar)
        style |= WS_VSCROLL;
    if (TabStop)
        style |= WS_TABSTOP;
    CreateChild("EDIT", style, Border ? WS_EX_CLIENTEDGE : 0, Caption.c_str());
    Subclass();
}

void TLabel::CreateHandle()
{
    // Static text never wraps when left-aligned; the others are sized for
    // their text when they size themselves.
    const DWORD align = Alignment == TAlignment::Right    ? SS_RIGHT
                        : Alignment == TAlignment::Center ? SS_CENTER
                                                          : SS_LEFTNOWORDWRAP;
    CreateChild("STATIC", align | SS_NOPREFIX, 0, Caption.c_str());
    AdjustBounds();
}

void TLabel::SetText(const std::string &text)
{
    TControl::SetText(text);
    AdjustBounds();
}

void TLabel::AdjustBounds()
{
    if (!AutoSize)
        return;
    // An empty text still has the height of a line.
    const std::string text = Text();
    const std::string measured = text.empty() ? " " : text;
    RECT r = {0, 0, 0, 0};
    HDC dc = GetDC(Handle);
    HGDIOBJ old = SelectObject(dc, Font ? Font : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextA(dc, measured.c_str(), -1, &r, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(Handle, dc);
    if (Alignment == TAlignment::Right)
        Left += Width - r.right;
    Width = r.right;
    Height = r.bottom;
    MoveWindow(Handle, Left, Top, Width, Height, TRUE);
}

void TComboBox::CreateHandle()
{
    // The height of a drop-down list is that of its opened list.
    const int shown = Height;
    Height = 200;
    CreateChild("COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
    Height = shown;
    SendMessageA(Handle, CB_SETITEMHEIGHT, 0, ItemHeight);
}

void TComboBox::AddItem(const std::string &text)
{
    SendMessageA(Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int TComboBox::Count() const
{
    return static_cast<int>(SendMessageA(Handle, CB_GETCOUNT, 0, 0));
}

int TComboBox::ItemIndex() const
{
    return static_cast<int>(SendMessageA(Handle, CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index)
{
    SendMessageA(Handle, CB_SETCURSEL, index, 0);
}

void TStatusBar::CreateHandle()
{
    // Placed by the form's layout, not by the control itself.
    CreateChild(STATUSCLASSNAMEA, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBARS_SIZEGRIP);
    SendMessageA(Handle, SB_SIMPLE, TRUE, 0);
}

void TStatusBar::SetSimpleText(const std::string &text)
{
    FText = text;
    FPending = true;
    if (!FHeld)
        ShowText();
}

void TStatusBar::HoldText(bool hold)
{
    FHeld = hold;
    if (!hold)
        ShowText();
}

void TStatusBar::ShowText()
{
    if (!FPending)
        return;
    FPending = false;
    SendMessageA(Handle, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(FText.c_str()));
}

std::string TStatusBar::SimpleText() const
{
    if (FPending)
        return FText;
    // Wine answers for the simple panel only through part 0, and counts the
    // length in characters: room for two bytes each.
    for (WPARAM part : {WPARAM(SB_SIMPLEID), WPARAM(0)}) {
        const int n = LOWORD(SendMessageA(Handle, SB_GETTEXTLENGTHA, part, 0));
        if (n == 0)
            continue;
        std::string text(2 * n + 1, '\0');
        SendMessageA(Handle, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(strlen(text.c_str()));
        return text;
    }
    return std::string();
}

bool TOpenDialog::Execute(HWND owner)
{
    std::string filter = Filter + "||";
    for (char &c : filter)
        if (c == '|')
            c = '\0';
    std::vector<char> buffer(64 * 1024, '\0');
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    ofn.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                OFN_HIDEREADONLY | OFN_ENABLESIZING;
    Files.clear();
    if (!GetOpenFileNameA(&ofn))
        return false;
    // One file: its full path. Several: the folder, then each name.
    const char *p = buffer.data();
    const std::string first = p;
    p += first.size() + 1;
    if (!*p) {
        Files.push_back(first);
        return true;
    }
    const std::string folder = IncludeTrailingBackslash(first);
    while (*p) {
        const std::string name = p;
        Files.push_back(folder + name);
        p += name.size() + 1;
    }
    return true;
}
