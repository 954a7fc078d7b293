// A flat toolbar whose buttons are bound to actions.
#pragma once

#include "framework/actions.h"

class TToolBar;

class TToolButton : public TComponent, public FIActionClient {
public:
    void ActionChanged() override;
    TAction *Action = nullptr;
    bool CheckStyle = false;  // stays pressed while its action is checked
    TToolBar *ToolBar = nullptr;
    UINT Id = 0;
};

class TToolBar : public TControl {
public:
    void CreateHandle() override;
    void AddButton(TToolButton &button);
    bool HandleCommand(WORD id, WORD code) override;
    bool HandleNotify(NMHDR *hdr, LRESULT &result) override;
    // The button's state as the control shows it (TBSTATE_*).
    int ButtonState(const TToolButton &button) const;

    TImageList *Images = nullptr;
    int ButtonWidth = 23, ButtonHeight = 22;
    std::vector<TToolButton *> Buttons;
};
