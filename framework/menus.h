// The main menu: items bound to actions show their caption, shortcut text,
// image, check mark and grey state.
#pragma once

#include "framework/actions.h"

class TMenuItem : public TComponent, public FIActionClient {
public:
    void ActionChanged() override;
    // Adds this item at the end of parent (a menu handle).
    void Insert(HMENU parent);
    // WM_MEASUREITEM / WM_DRAWITEM for the item's image.
    void MeasureImage(MEASUREITEMSTRUCT &m) const;
    void DrawImage(const DRAWITEMSTRUCT &d) const;

    std::string Caption;  // "-": a separator; used when there is no action
    TAction *Action = nullptr;
    TImageList *Images = nullptr;
    HMENU Menu = nullptr;     // the menu holding this item
    HMENU SubMenu = nullptr;  // set when the item has children
    UINT Id = 0;
};

class TMainMenu : public TComponent {
public:
    HMENU Handle = CreateMenu();
    TImageList *Images = nullptr;
};
