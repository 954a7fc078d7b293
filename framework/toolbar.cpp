#include "framework/toolbar.h"

void TToolBar::CreateHandle()
{
    CreateChild(TOOLBARCLASSNAMEA, TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                       CCS_NODIVIDER | CCS_TOP);
    SendMessageA(Handle, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (Images)
        SendMessageA(Handle, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(Images->Handle));
    // Buttons with captions and no pictures reserve no room for one.
    if (ShowCaptions && !Images)
        SendMessageA(Handle, TB_SETBITMAPSIZE, 0, MAKELONG(0, 0));
    else
        SendMessageA(Handle, TB_SETBITMAPSIZE, 0, MAKELONG(16, 16));
    Subclass();
}

void TToolBar::AddButton(TToolButton &button)
{
    TBBUTTON b = {};
    b.iBitmap = button.Action ? button.Action->ImageIndex : Images ? -1 : I_IMAGENONE;
    b.idCommand = static_cast<int>(button.Id);
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = button.CheckStyle ? BTNS_CHECK : BTNS_BUTTON;
    // The control copies the caption when the button is added.
    b.iString = ShowCaptions ? reinterpret_cast<INT_PTR>(button.Caption.c_str()) : -1;
    SendMessageA(Handle, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&b));
    SendMessageA(Handle, TB_SETBUTTONSIZE, 0, MAKELONG(ButtonWidth, ButtonHeight));
    button.ToolBar = this;
    Buttons.push_back(&button);
    if (button.Action) {
        button.Action->Clients.push_back(&button);
        button.ActionChanged();
    }
    if (AutoSize) {
        RECT r = {};
        SendMessageA(Handle, TB_GETITEMRECT, Buttons.size() - 1, reinterpret_cast<LPARAM>(&r));
        Width = r.right;
        Height = r.bottom;
        MoveWindow(Handle, Left, Top, Width, Height, TRUE);
    }
}

bool TToolBar::HandleCommand(WORD id, WORD)
{
    for (TToolButton *b : Buttons) {
        if (b->Id != id)
            continue;
        if (b->Action) {
            b->Action->Execute();
            // A check button toggles itself on a click; show the action's state.
            b->ActionChanged();
        } else if (b->OnClick) {
            b->OnClick(*b);
        }
        return true;
    }
    return false;
}

bool TToolBar::HandleNotify(NMHDR *hdr, LRESULT &result)
{
    if (hdr->code != TTN_GETDISPINFOA && hdr->code != TTN_GETDISPINFOW)
        return false;
    for (TToolButton *b : Buttons) {
        if (b->Id != hdr->idFrom || !b->Action)
            continue;
        // The text must outlive this call.
        static std::string hint;
        hint = b->Action->ShortHint();
        if (hdr->code == TTN_GETDISPINFOA) {
            auto *info = reinterpret_cast<NMTTDISPINFOA *>(hdr);
            lstrcpynA(info->szText, hint.c_str(), sizeof info->szText);
        } else {
            auto *info = reinterpret_cast<NMTTDISPINFOW *>(hdr);
            MultiByteToWideChar(CP_ACP, 0, hint.c_str(), -1, info->szText,
                                sizeof info->szText / sizeof info->szText[0]);
        }
        result = 0;
        return true;
    }
    return false;
}

int TToolBar::ButtonState(const TToolButton &button) const
{
    return static_cast<int>(SendMessageA(Handle, TB_GETSTATE, button.Id, 0));
}

void TToolButton::ActionChanged()
{
    if (!ToolBar)
        return;
    int state = Action->Enabled ? TBSTATE_ENABLED : 0;
    if (CheckStyle && Action->Checked)
        state |= TBSTATE_CHECKED;
    if (ToolBar->ButtonState(*this) != state)
        SendMessageA(ToolBar->Handle, TB_SETSTATE, Id, state);
}
