#include "framework/menus.h"

void TMenuItem::Insert(HMENU parent)
{
    Menu = parent;
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    if (Caption == "-" && !Action) {
        info.fMask = MIIM_FTYPE;
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA;
        info.wID = Id;
        info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
        info.dwTypeData = const_cast<char *>(Caption.c_str());
        if (SubMenu) {
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = SubMenu;
        }
    }
    InsertMenuItemA(parent, GetMenuItemCount(parent), TRUE, &info);
    if (Action) {
        Action->Clients.push_back(this);
        ActionChanged();
    }
}

void TMenuItem::ActionChanged()
{
    const std::string text = Action->MenuText();
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_STATE | MIIM_FTYPE | MIIM_BITMAP;
    info.fType = Action->GroupIndex > 0 ? MFT_RADIOCHECK : 0;
    info.fState = (Action->Enabled ? MFS_ENABLED : MFS_GRAYED) | (Action->Checked ? MFS_CHECKED : 0);
    info.dwTypeData = const_cast<char *>(text.c_str());
    info.hbmpItem = Images && Action->ImageIndex >= 0 ? HBMMENU_CALLBACK : nullptr;
    SetMenuItemInfoA(Menu, Id, FALSE, &info);
}

void TMenuItem::MeasureImage(MEASUREITEMSTRUCT &m) const
{
    m.itemWidth = 16;
    m.itemHeight = 16;
}

void TMenuItem::DrawImage(const DRAWITEMSTRUCT &d) const
{
    if (!Action || !Images || Action->ImageIndex < 0)
        return;
    const int y = d.rcItem.top + (d.rcItem.bottom - d.rcItem.top - 16) / 2;
    if (Action->Enabled) {
        ImageList_Draw(Images->Handle, Action->ImageIndex, d.hDC, d.rcItem.left, y, ILD_TRANSPARENT);
    } else {
        HICON icon = ImageList_GetIcon(Images->Handle, Action->ImageIndex, ILD_TRANSPARENT);
        DrawStateA(d.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, d.rcItem.left, y, 16, 16,
                   DST_ICON | DSS_DISABLED);
        DestroyIcon(icon);
    }
}
