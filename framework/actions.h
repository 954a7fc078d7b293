// Commands: TAction and TActionList, shared by menu items and toolbar
// buttons; and TImageList, the pictures they show.
#pragma once

#include "framework/control.h"

#include <commctrl.h>

class TAction;

class TImageList : public TComponent {
public:
    ~TImageList() override;
    // Loads a strip of 16 x 16 images from a bitmap resource; magenta is
    // transparent.
    void Load(const char *resource);
    HIMAGELIST Handle = nullptr;
};

// A menu item or a toolbar button that shows an action's state.
class FIActionClient {
public:
    virtual void ActionChanged() = 0;

protected:
    ~FIActionClient() = default;
};

class TActionList : public TComponent {
public:
    // Runs every update rule (the idle pass).
    void UpdateAll();
    TAction *ByCommand(UINT id) const;
    // A key-down that is the shortcut of a command runs it if enabled and is
    // consumed in any case.
    bool HandleShortCut(const MSG &msg);

    std::vector<TAction *> Actions;
    TImageList *Images = nullptr;
};

class TAction : public TComponent {
public:
    // The short part of the hint (before "|"): a bound button's tooltip.
    std::string ShortHint() const;
    // Caption with the shortcut's text after a tab, for menus.
    std::string MenuText() const;
    // "Ctrl+O", "F5", ...: sets Key and Ctrl.
    void SetShortCut(const std::string &text);

    void SetEnabled(bool enabled);
    void SetChecked(bool checked);
    // Runs the update rule (if any).
    void Update();
    // Updates, then executes if enabled: toggles or checks as the action
    // says, then runs OnExecute. False when disabled.
    bool Execute();

    std::string Category, Caption, Hint, ShortCutText;
    UINT Key = 0;
    bool Ctrl = false;
    int ImageIndex = -1;
    bool Enabled = true;
    bool Checked = false;
    bool AutoCheck = false;
    int GroupIndex = 0;  // > 0: executing checks this one, unchecks the others
    UINT CommandId = 0;
    TActionList *List = nullptr;
    std::function<void(TAction &)> OnExecute;
    std::function<void(TAction &)> OnUpdate;
    std::vector<FIActionClient *> Clients;

private:
    void Changed();
};
