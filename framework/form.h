// Forms built from a design: one declarative table per form, rows in
// creation order (parents before children), each naming its kind, parent,
// alignment, bounds, properties and event handlers.
#pragma once

#include "framework/actions.h"
#include "framework/application.h"
#include "framework/control.h"
#include "framework/listview.h"
#include "framework/menus.h"
#include "framework/stdctrls.h"
#include "framework/toolbar.h"

#include <map>
#include <memory>

enum class TKind {
    OpenDialog, ImageList, StatusBar, ActionList, Action, MainMenu, MenuItem, ListView,
    ListColumn, Panel, Splitter, ComboBox, Edit, ToolBar, ToolButton
};

// One row of a design. Link names another component: the action of a menu
// item or toolbar button, the control a splitter sizes, the image list of
// an action list, menu or toolbar.
template <class F> struct TDesign {
    TKind Kind;
    const char *Name;
    const char *Parent = "";  // "": the form itself
    TAlign Align = TAlign::None;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int RightMargin = -1;
    const char *Caption = "";
    const char *Hint = "";
    const char *Category = "";
    const char *ShortCut = "";
    int ImageIndex = -1;
    bool Checked = false;
    bool AutoCheck = false;
    int GroupIndex = 0;
    TBevel BevelInner = TBevel::None;
    TBevel BevelOuter = TBevel::None;
    bool RightAligned = false;
    bool CheckStyle = false;
    const char *Link = "";
    const char *Resource = "";
    void (F::*OnExecute)(TAction &) = nullptr;
    void (F::*OnUpdate)(TAction &) = nullptr;
    void (F::*OnKeyPress)(TEdit &, char &) = nullptr;
};

// The properties of a design row that do not depend on the form's class.
struct TDesignProps {
    TKind Kind;
    const char *Name, *Parent;
    TAlign Align;
    int Left, Top, Width, Height, RightMargin;
    const char *Caption, *Hint, *Category, *ShortCut;
    int ImageIndex;
    bool Checked, AutoCheck;
    int GroupIndex;
    TBevel BevelInner, BevelOuter;
    bool RightAligned, CheckStyle;
    const char *Link, *Resource;
};

class TForm : public TControl {
public:
    ~TForm() override;
    void CreateHandle() override;

    TComponent *FindComponent(const std::string &name) const;
    template <class T> void Get(const char *name, T *&field) const
    {
        field = dynamic_cast<T *>(FindComponent(name));
    }
    // Runs the command list's update rules (the application's idle pass).
    void UpdateActions();
    // Shortcut keys and tab navigation, before the focused control sees them.
    bool PreTranslate(MSG &msg);

    std::string Caption;
    HFONT FormFont = nullptr;  // owned
    TActionList *Actions = nullptr;
    TMainMenu *Menu = nullptr;
    std::vector<TControl *> TabOrder;

protected:
    TForm();
    template <class F, size_t N> void Build(F &form, const TDesign<F> (&rows)[N])
    {
        for (const TDesign<F> &r : rows) {
            TComponent *c = Create(TDesignProps{r.Kind, r.Name, r.Parent, r.Align, r.Left, r.Top, r.Width,
                                                r.Height, r.RightMargin, r.Caption, r.Hint, r.Category,
                                                r.ShortCut, r.ImageIndex, r.Checked, r.AutoCheck,
                                                r.GroupIndex, r.BevelInner, r.BevelOuter, r.RightAligned,
                                                r.CheckStyle, r.Link, r.Resource});
            if (auto *a = dynamic_cast<TAction *>(c)) {
                if (r.OnExecute)
                    a->OnExecute = [&form, m = r.OnExecute](TAction &s) { (form.*m)(s); };
                if (r.OnUpdate)
                    a->OnUpdate = [&form, m = r.OnUpdate](TAction &s) { (form.*m)(s); };
            }
            if (auto *e = dynamic_cast<TEdit *>(c); e && r.OnKeyPress)
                e->OnKeyPress = [&form, m = r.OnKeyPress](TEdit &s, char &k) { (form.*m)(s, k); };
        }
        Finish();
    }
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TComponent *Create(const TDesignProps &row);
    void Finish();
    TMenuItem *MenuItemOf(UINT id) const;

    std::vector<std::unique_ptr<TComponent>> FComponents;
    std::map<std::string, TComponent *> FByName;
    UINT FNextId = 100;
};
