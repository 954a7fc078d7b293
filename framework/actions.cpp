#include "framework/actions.h"

void TImageList::Load(const char *resource)
{
    Handle = ImageList_LoadImageA(GetModuleHandleA(nullptr), resource, 16, 0, RGB(255, 0, 255),
                                  IMAGE_BITMAP, LR_CREATEDIBSECTION);
}

TImageList::~TImageList()
{
    if (Handle)
        ImageList_Destroy(Handle);
}

void TActionList::UpdateAll()
{
    for (TAction *a : Actions)
        a->Update();
}

TAction *TActionList::ByCommand(UINT id) const
{
    for (TAction *a : Actions)
        if (a->CommandId == id)
            return a;
    return nullptr;
}

bool TActionList::HandleShortCut(const MSG &msg)
{
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN)
        return false;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    if (GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0)
        return false;
    for (TAction *a : Actions) {
        if (a->Key && a->Key == msg.wParam && a->Ctrl == ctrl) {
            a->Execute();
            return true;
        }
    }
    return false;
}

std::string TAction::ShortHint() const
{
    return Hint.substr(0, Hint.find('|'));
}

std::string TAction::MenuText() const
{
    return ShortCutText.empty() ? Caption : Caption + "\t" + ShortCutText;
}

void TAction::SetShortCut(const std::string &text)
{
    ShortCutText = text;
    Ctrl = text.compare(0, 5, "Ctrl+") == 0;
    const std::string key = Ctrl ? text.substr(5) : text;
    Key = 0;
    if (key.size() == 1)
        Key = static_cast<unsigned char>(key[0]);
    else if (key.size() >= 2 && key[0] == 'F')
        Key = VK_F1 + std::stoi(key.substr(1)) - 1;
}

void TAction::SetEnabled(bool enabled)
{
    if (Enabled != enabled) {
        Enabled = enabled;
        Changed();
    }
}

void TAction::SetChecked(bool checked)
{
    if (Checked == checked)
        return;
    Checked = checked;
    if (checked && GroupIndex > 0 && List)
        for (TAction *other : List->Actions)
            if (other != this && other->GroupIndex == GroupIndex)
                other->SetChecked(false);
    Changed();
}

void TAction::Update()
{
    if (OnUpdate)
        OnUpdate(*this);
}

bool TAction::Execute()
{
    Update();
    if (!Enabled)
        return false;
    if (GroupIndex > 0)
        SetChecked(true);
    else if (AutoCheck)
        SetChecked(!Checked);
    if (OnExecute)
        OnExecute(*this);
    return true;
}

void TAction::Changed()
{
    for (FIActionClient *c : Clients)
        c->ActionChanged();
}
