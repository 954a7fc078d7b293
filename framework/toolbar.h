// A flat toolbar whose buttons run actions or click handlers of their own.
#pragma once

#include "framework/actions.h"

class TToolBar;

class TToolButton : public TComponent, public FIActionClient {
public:
    void ActionChanged() override;
    TAction *Action = nullptr;
    std::string Caption;  // shown when the toolbar shows captions
    // Runs on a click when no action is bound.
    std::function<void(TToolButton &)> OnClick;
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
    bool ShowCaptions = false;
    // Takes the size of its buttons, keeping its top left corner.
    bool AutoSize = false;
    std::vector<TToolButton *> Buttons;
};
