// Forms built from a design: one declarative table per form, rows in
// creation order (parents before children), each naming its kind, parent,
// alignment, bounds, properties and event handlers.
#pragma once

#include "framework/actions.h"
#include "framework/application.h"
#include "framework/control.h"
#include "framework/image.h"
#include "framework/listview.h"
#include "framework/menus.h"
#include "framework/stdctrls.h"
#include "framework/toolbar.h"

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

enum class TKind {
    OpenDialog, ImageList, StatusBar, ActionList, Action, MainMenu, MenuItem, ListView,
    ListColumn, Panel, Splitter, ComboBox, Edit, ToolBar, ToolButton, Label, Memo, Image
};

// A font of a control's own. An empty name: the form's font and colour.
struct TFontSpec {
    const char *Name = "";
    int Height = 0;  // negative: the characters' height in pixels
    bool Bold = false;
    bool Italic = false;
    BYTE Charset = DEFAULT_CHARSET;
    COLORREF Color = CLR_INVALID;  // CLR_INVALID: the form's font colour
};

// The form member a design row's component is stored in: written in the
// table as `.Field = &TMyForm::Member`. Binding checks the component's kind
// against the member's type and throws a clear error when they differ.
template <class F> struct TField {
    TField() = default;
    template <class T> TField(T *F::*member)
        : Bind([member](F &form, TComponent &component) {
              T *typed = dynamic_cast<T *>(&component);
              if (!typed)
                  throw std::logic_error("design: " + component.Name + " is not of its field's kind");
              form.*member = typed;
          })
    {
    }
    std::function<void(F &, TComponent &)> Bind;
};

// One row of a design. Parent and Link name components of earlier rows: Link
// is the action of a menu item or toolbar button, the control a splitter
// sizes, the image list of an action list, menu or toolbar.
template <class F> struct TDesign {
    TKind Kind;
    const char *Name;
    TField<F> Field = {};     // none: the code never needs this component
    const char *Parent = "";  // "": the form itself
    TAlign Align = TAlign::None;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int RightMargin = -1;
    const char *Caption = "";  // also the text of a label or memo
    const char *Hint = "";
    const char *Category = "";
    const char *ShortCut = "";
    int ImageIndex = -1;
    bool Checked = false;
    bool AutoCheck = false;
    int GroupIndex = 0;
    TBevel BevelInner = TBevel::None;
    TBevel BevelOuter = TBevel::None;
    int BevelWidth = 1;
    int BorderWidth = 0;
    TFontSpec Font = {};
    int Color = -1;  // background, a system colour index; -1: the default
    TAlignment Alignment = TAlignment::Left;
    bool AutoSize = false;  // label: fits its text; toolbar: fits its buttons
    bool Center = false;    // image: the picture centred
    bool ReadOnly = false;
    bool VertScrollBar = false;
    bool Border = true;  // memo: the sunken edge
    bool TabStop = false;  // memo
    bool ShowCaptions = false;
    int ButtonWidth = 23, ButtonHeight = 22;
    bool RightAligned = false;
    bool CheckStyle = false;
    const char *Link = "";
    const char *Resource = "";
    void (F::*OnExecute)(TAction &) = nullptr;
    void (F::*OnUpdate)(TAction &) = nullptr;
    void (F::*OnKeyPress)(TEdit &, char &) = nullptr;
    void (F::*OnClick)(TComponent &) = nullptr;  // toolbar button without action, image
    void (F::*OnColumnClick)(TListView &, int) = nullptr;
    void (F::*OnCompare)(TListView &, const TListItem *, const TListItem *, int, int &) = nullptr;
    void (F::*OnMouseDown)(TListView &, TMouseButton, UINT, int, int) = nullptr;
    void (F::*OnMouseMove)(TListView &, UINT, int, int) = nullptr;
    void (F::*OnMouseUp)(TListView &, TMouseButton, UINT, int, int) = nullptr;
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
    int BevelWidth, BorderWidth;
    TFontSpec Font;
    int Color;
    TAlignment Alignment;
    bool AutoSize, Center, ReadOnly, VertScrollBar, Border, TabStop, ShowCaptions;
    int ButtonWidth, ButtonHeight;
    bool RightAligned, CheckStyle;
    const char *Link, *Resource;
};

class TForm : public TControl {
public:
    // Destroys the window if the most-derived form has not done so (see
    // DestroyHandle); no message then reaches any of the form's objects.
    ~TForm() override;
    void CreateHandle() override;

    TComponent *FindComponent(const std::string &name) const;
    // The component of that name and kind; throws when there is none.
    template <class T> T &Component(const std::string &name) const
    {
        T *typed = dynamic_cast<T *>(FindComponent(name));
        if (!typed)
            throw std::logic_error("design: no component " + name + " of the kind asked for");
        return *typed;
    }
    // Runs the command list's update rules (the application's idle pass).
    void UpdateActions();
    // Key preview, shortcut keys and tab navigation, before the focused
    // control sees a message; true when the message was consumed.
    virtual bool PreTranslate(MSG &msg);
    // Shows the form as a modal window over owner (disabled meanwhile) and
    // returns when it closes; a running search goes on.
    void ShowModal(HWND owner);
    // Closes the form: ends its modal loop, or hides it. The main window
    // overrides WM_CLOSE to end the program instead.
    void Close();
    // True from Close until the modal loop has returned.
    bool ModalDone() const { return FModal && FModalDone; }

    HFONT FormFont = nullptr;  // owned, with the controls' own fonts
    TActionList *Actions = nullptr;
    TMainMenu *Menu = nullptr;
    std::vector<TControl *> TabOrder;
    // Sees each typed character first when set (key preview); setting the
    // key to 0 swallows it.
    std::function<void(char &key)> OnKeyPress;

protected:
    // className: the window class registered for this form alone, so that
    // its icon and background are its own.
    explicit TForm(const char *className);
    // Destroys the window while every field of the form still lives: the
    // most-derived destructor calls it first, as a thread's destructor stops
    // its thread. Messages sent during the destruction (list delete
    // notifications, focus changes, WM_DESTROY of children) reach whole objects.
    void DestroyHandle();
    // The font of the form and of every control without one of its own.
    void SetFormFont(const TFontSpec &spec);

    template <class F, size_t N> void Build(F &form, const TDesign<F> (&rows)[N])
    {
        for (const TDesign<F> &r : rows) {
            TComponent *c = Create(TDesignProps{
                .Kind = r.Kind, .Name = r.Name, .Parent = r.Parent, .Align = r.Align, .Left = r.Left,
                .Top = r.Top, .Width = r.Width, .Height = r.Height, .RightMargin = r.RightMargin,
                .Caption = r.Caption, .Hint = r.Hint, .Category = r.Category, .ShortCut = r.ShortCut,
                .ImageIndex = r.ImageIndex, .Checked = r.Checked, .AutoCheck = r.AutoCheck,
                .GroupIndex = r.GroupIndex, .BevelInner = r.BevelInner, .BevelOuter = r.BevelOuter,
                .BevelWidth = r.BevelWidth, .BorderWidth = r.BorderWidth, .Font = r.Font, .Color = r.Color,
                .Alignment = r.Alignment, .AutoSize = r.AutoSize, .Center = r.Center, .ReadOnly = r.ReadOnly,
                .VertScrollBar = r.VertScrollBar, .Border = r.Border, .TabStop = r.TabStop,
                .ShowCaptions = r.ShowCaptions, .ButtonWidth = r.ButtonWidth, .ButtonHeight = r.ButtonHeight,
                .RightAligned = r.RightAligned, .CheckStyle = r.CheckStyle, .Link = r.Link,
                .Resource = r.Resource});
            if (r.Field.Bind)
                r.Field.Bind(form, *c);
            auto *a = dynamic_cast<TAction *>(c);
            auto *e = dynamic_cast<TEdit *>(c);
            auto *b = dynamic_cast<TToolButton *>(c);
            auto *i = dynamic_cast<TImage *>(c);
            auto *l = dynamic_cast<TListView *>(c);
            if (((r.OnExecute || r.OnUpdate) && !a) || (r.OnKeyPress && !e) || (r.OnClick && !b && !i) ||
                ((r.OnColumnClick || r.OnCompare || r.OnMouseDown || r.OnMouseMove || r.OnMouseUp) && !l))
                throw std::logic_error(std::string("design: ") + r.Name + " has a handler of another kind");
            if (r.OnExecute)
                a->OnExecute = [&form, m = r.OnExecute](TAction &s) { (form.*m)(s); };
            if (r.OnUpdate)
                a->OnUpdate = [&form, m = r.OnUpdate](TAction &s) { (form.*m)(s); };
            if (r.OnKeyPress)
                e->OnKeyPress = [&form, m = r.OnKeyPress](TEdit &s, char &k) { (form.*m)(s, k); };
            if (r.OnClick && b)
                b->OnClick = [&form, m = r.OnClick](TToolButton &s) { (form.*m)(s); };
            if (r.OnClick && i)
                i->OnClick = [&form, m = r.OnClick](TImage &s) { (form.*m)(s); };
            if (r.OnMouseDown)
                l->OnMouseDown = [&form, m = r.OnMouseDown](TListView &s, TMouseButton b, UINT k, int x, int y) {
                    (form.*m)(s, b, k, x, y);
                };
            if (r.OnMouseMove)
                l->OnMouseMove = [&form, m = r.OnMouseMove](TListView &s, UINT k, int x, int y) {
                    (form.*m)(s, k, x, y);
                };
            if (r.OnMouseUp)
                l->OnMouseUp = [&form, m = r.OnMouseUp](TListView &s, TMouseButton b, UINT k, int x, int y) {
                    (form.*m)(s, b, k, x, y);
                };
            if (r.OnColumnClick)
                l->OnColumnClick = [&form, m = r.OnColumnClick](TListView &s, int col) { (form.*m)(s, col); };
            if (r.OnCompare)
                l->OnCompare = [&form, m = r.OnCompare](TListView &s, const TListItem *i1, const TListItem *i2,
                                                        int data, int &out) { (form.*m)(s, i1, i2, data, out); };
        }
        Finish();
    }
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

    const char *FClassName;
    HWND FOwnerWindow = nullptr;  // a popup form's owner
    DWORD FStyle = WS_OVERLAPPEDWINDOW;
    DWORD FExStyle = 0;
    int FClientWidth = 0, FClientHeight = 0;  // > 0: the outer size follows from them

private:
    TComponent *Create(const TDesignProps &row);
    HFONT FontOf(const TFontSpec &spec);
    template <class T> T *Kind(TComponent *c, const TDesignProps &row, const char *role) const;
    void Finish();
    TMenuItem *MenuItemOf(UINT id) const;
    void DetachAll();

    std::vector<std::unique_ptr<TComponent>> FComponents;
    std::vector<HFONT> FFonts;  // the controls' own fonts
    std::map<std::string, TComponent *> FByName;
    UINT FNextId = 100;
    bool FModal = false;
    bool FModalDone = false;
};
