#include "framework/form.h"

#include <stdexcept>

TForm::TForm(const char *className) : FClassName(className) {}

TForm::~TForm()
{
    // A form whose most-derived destructor did not destroy the window: its
    // objects leave the map first, so the destruction reaches none of them.
    if (HWND window = Handle; window && IsWindow(window)) {
        DetachAll();
        DestroyWindow(window);
    }
    FComponents.clear();
    for (HFONT font : FFonts)
        DeleteObject(font);
}

void TForm::SetFormFont(const TFontSpec &spec)
{
    Font = FormFont = FontOf(spec);
}

void TForm::DestroyHandle()
{
    if (Handle && IsWindow(Handle))
        DestroyWindow(Handle);
    DetachAll();
}

void TForm::DetachAll()
{
    for (const auto &c : FComponents)
        if (auto *control = dynamic_cast<TControl *>(c.get()))
            control->Detach();
    Detach();
}

void TForm::CreateHandle()
{
    // One class per form, so each has its own icon and background.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterOwnClass(FClassName, CS_DBLCLKS, LoadIconA(instance, "MAINICON"));
    int width = Width, height = Height;
    if (FClientWidth > 0 && FClientHeight > 0) {
        RECT r = {0, 0, FClientWidth, FClientHeight};
        AdjustWindowRectEx(&r, FStyle, FALSE, FExStyle);
        width = Width = r.right - r.left;
        height = Height = r.bottom - r.top;
    }
    const int x = Left ? Left : CW_USEDEFAULT, y = Left ? Top : CW_USEDEFAULT;
    CreateWindowExA(WS_EX_CONTROLPARENT | FExStyle, FClassName, Caption.c_str(), FStyle | WS_CLIPCHILDREN, x, y,
                    width, height, FOwnerWindow, nullptr, instance, this);
    if (!Handle)
        throw std::runtime_error(std::string("cannot create the window of ") + FClassName);
}

TComponent *TForm::FindComponent(const std::string &name) const
{
    auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : it->second;
}

// A parent or link of the kind a row needs; null stays null (no link).
template <class T> T *TForm::Kind(TComponent *c, const TDesignProps &r, const char *role) const
{
    if (!c)
        return nullptr;
    T *typed = dynamic_cast<T *>(c);
    if (!typed)
        throw std::logic_error(std::string("design: the ") + role + " of " + r.Name + ", " + c->Name +
                               ", is of the wrong kind");
    return typed;
}

TComponent *TForm::Create(const TDesignProps &r)
{
    if (!Handle)
        CreateHandle();
    std::unique_ptr<TComponent> owned;
    if (FindComponent(r.Name))
        throw std::logic_error(std::string("design: two components named ") + r.Name);
    TComponent *parent = *r.Parent ? FindComponent(r.Parent) : this;
    TComponent *link = *r.Link ? FindComponent(r.Link) : nullptr;
    if (!parent || (*r.Link && !link))
        throw std::logic_error(std::string("design: unknown parent or link of ") + r.Name);

    TControl *control = nullptr;
    switch (r.Kind) {
    case TKind::OpenDialog:
        owned = std::make_unique<TOpenDialog>();
        break;
    case TKind::ImageList: {
        auto images = std::make_unique<TImageList>();
        images->Load(r.Resource);
        owned = std::move(images);
        break;
    }
    case TKind::ActionList: {
        auto list = std::make_unique<TActionList>();
        list->Images = Kind<TImageList>(link, r, "image list");
        Actions = list.get();
        owned = std::move(list);
        break;
    }
    case TKind::Action: {
        auto a = std::make_unique<TAction>();
        a->Caption = r.Caption;
        a->Hint = r.Hint;
        a->Category = r.Category;
        a->SetShortCut(r.ShortCut);
        a->ImageIndex = r.ImageIndex;
        a->Checked = r.Checked;
        a->AutoCheck = r.AutoCheck;
        a->GroupIndex = r.GroupIndex;
        a->CommandId = FNextId++;
        a->List = Kind<TActionList>(parent, r, "parent");
        a->List->Actions.push_back(a.get());
        owned = std::move(a);
        break;
    }
    case TKind::MainMenu: {
        auto m = std::make_unique<TMainMenu>();
        m->Images = Kind<TImageList>(link, r, "image list");
        Menu = m.get();
        owned = std::move(m);
        break;
    }
    case TKind::MenuItem: {
        auto item = std::make_unique<TMenuItem>();
        item->Caption = r.Caption;
        item->Action = Kind<TAction>(link, r, "action");
        if (!Menu)
            throw std::logic_error(std::string("design: menu item ") + r.Name + " before its menu");
        item->Images = Menu->Images;
        item->Id = FNextId++;
        HMENU into;
        if (auto *m = dynamic_cast<TMainMenu *>(parent)) {
            into = m->Handle;
        } else {
            auto *up = Kind<TMenuItem>(parent, r, "parent");
            if (!up->SubMenu) {
                // The parent becomes a submenu the first time it gets a child.
                up->SubMenu = CreatePopupMenu();
                MENUITEMINFOA info = {};
                info.cbSize = sizeof info;
                info.fMask = MIIM_SUBMENU;
                info.hSubMenu = up->SubMenu;
                SetMenuItemInfoA(up->Menu, up->Id, FALSE, &info);
            }
            into = up->SubMenu;
        }
        item->Insert(into);
        owned = std::move(item);
        break;
    }
    case TKind::ListColumn: {
        auto col = std::make_unique<TListColumn>();
        col->Caption = r.Caption;
        col->SetWidth(r.Width);
        col->RightAligned = r.RightAligned;
        Kind<TListView>(parent, r, "parent")->AddColumn(*col);
        owned = std::move(col);
        break;
    }
    case TKind::ToolButton: {
        auto b = std::make_unique<TToolButton>();
        b->Action = Kind<TAction>(link, r, "action");
        b->Caption = r.Caption;
        b->CheckStyle = r.CheckStyle;
        b->Id = FNextId++;
        Kind<TToolBar>(parent, r, "parent")->AddButton(*b);
        owned = std::move(b);
        break;
    }
    case TKind::Panel: {
        auto p = std::make_unique<TPanel>();
        p->BevelInner = r.BevelInner;
        p->BevelOuter = r.BevelOuter;
        p->BevelWidth = r.BevelWidth;
        p->BorderWidth = r.BorderWidth;
        control = p.get();
        owned = std::move(p);
        break;
    }
    case TKind::Splitter: {
        auto s = std::make_unique<TSplitter>();
        s->Control = Kind<TControl>(link, r, "control");
        control = s.get();
        owned = std::move(s);
        break;
    }
    case TKind::ToolBar: {
        auto t = std::make_unique<TToolBar>();
        t->Images = Kind<TImageList>(link, r, "image list");
        t->ShowCaptions = r.ShowCaptions;
        t->AutoSize = r.AutoSize;
        t->ButtonWidth = r.ButtonWidth;
        t->ButtonHeight = r.ButtonHeight;
        control = t.get();
        owned = std::move(t);
        break;
    }
    case TKind::StatusBar:
        control = new TStatusBar;
        owned.reset(control);
        break;
    case TKind::ListView:
        control = new TListView;
        owned.reset(control);
        break;
    case TKind::ComboBox:
        control = new TComboBox;
        owned.reset(control);
        break;
    case TKind::Edit:
        control = new TEdit;
        owned.reset(control);
        break;
    case TKind::Label: {
        auto l = std::make_unique<TLabel>();
        l->Alignment = r.Alignment;
        l->AutoSize = r.AutoSize;
        control = l.get();
        owned = std::move(l);
        break;
    }
    case TKind::Memo: {
        auto m = std::make_unique<TMemo>();
        m->ReadOnly = r.ReadOnly;
        m->VertScrollBar = r.VertScrollBar;
        m->Border = r.Border;
        control = m.get();
        owned = std::move(m);
        break;
    }
    case TKind::Image: {
        auto i = std::make_unique<TImage>();
        i->Center = r.Center;
        control = i.get();
        owned = std::move(i);
        break;
    }
    }
    owned->Name = r.Name;
    owned->Owner = this;
    if (control) {
        control->Parent = Kind<TControl>(parent, r, "parent");
        control->Align = r.Align;
        control->Left = r.Left;
        control->Top = r.Top;
        control->Width = r.Width;
        control->Height = r.Height;
        control->RightMargin = r.RightMargin;
        control->Caption = r.Caption;
        control->TabStop = r.TabStop;
        control->Color = r.Color;
        control->Font = *r.Font.Name ? FontOf(r.Font) : FormFont;
        control->FontColor = r.Font.Color != CLR_INVALID ? r.Font.Color : FontColor;
        control->Parent->Children.push_back(control);
        control->CreateHandle();
        if (GetWindowLongA(control->Handle, GWL_STYLE) & WS_TABSTOP)
            TabOrder.push_back(control);
    }
    TComponent *c = owned.get();
    FByName[r.Name] = c;
    FComponents.push_back(std::move(owned));
    return c;
}

HFONT TForm::FontOf(const TFontSpec &f)
{
    HFONT font = CreateFontA(f.Height, 0, 0, 0, f.Bold ? FW_BOLD : FW_NORMAL, f.Italic, FALSE, FALSE, f.Charset,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             f.Name);
    FFonts.push_back(font);
    return font;
}

void TForm::Finish()
{
    if (Menu)
        SetMenu(Handle, Menu->Handle);
    Realign();
}

void TForm::UpdateActions()
{
    if (Actions)
        Actions->UpdateAll();
}

bool TForm::PreTranslate(MSG &msg)
{
    if (msg.hwnd != Handle && !IsChild(Handle, msg.hwnd))
        return false;
    if (OnKeyPress && msg.message == WM_CHAR) {
        char key = static_cast<char>(msg.wParam);
        OnKeyPress(key);
        if (key == 0)
            return true;
        msg.wParam = static_cast<unsigned char>(key);
    }
    if (Actions && Actions->HandleShortCut(msg))
        return true;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
        !TabOrder.empty()) {
        // The focused control, or the one that holds it (the edit of a combo box).
        size_t at = TabOrder.size();
        for (size_t i = 0; i < TabOrder.size(); ++i)
            if (TabOrder[i]->Handle == msg.hwnd || IsChild(TabOrder[i]->Handle, msg.hwnd))
                at = i;
        const size_t n = TabOrder.size();
        const bool back = GetKeyState(VK_SHIFT) < 0;
        const size_t next = at == n ? 0 : back ? (at + n - 1) % n : (at + 1) % n;
        SetFocus(TabOrder[next]->Handle);
        return true;
    }
    return false;
}

void TForm::ShowModal(HWND owner)
{
    FModal = true;
    FModalDone = false;
    EnableWindow(owner, FALSE);
    ShowWindow(Handle, SW_SHOW);
    Application.RunUntil([this] { return FModalDone; });
    // The owner first, so that it gets the activation back.
    EnableWindow(owner, TRUE);
    ShowWindow(Handle, SW_HIDE);
    FModal = false;
}

void TForm::Close()
{
    if (FModal)
        FModalDone = true;
    else
        ShowWindow(Handle, SW_HIDE);
}

TMenuItem *TForm::MenuItemOf(UINT id) const
{
    for (const auto &c : FComponents)
        if (auto *item = dynamic_cast<TMenuItem *>(c.get()); item && item->Id == id)
            return item;
    return nullptr;
}

LRESULT TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SIZE:
        // A minimised form has no client area to lay out.
        if (wp != SIZE_MINIMIZED)
            Realign();
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_COMMAND:
        if (lp == 0) {
            // A menu item: the bound action runs as from any other source.
            if (TMenuItem *item = MenuItemOf(LOWORD(wp)); item && item->Action)
                item->Action->Execute();
            return 0;
        }
        break;
    case WM_MEASUREITEM: {
        auto *m = reinterpret_cast<MEASUREITEMSTRUCT *>(lp);
        if (m->CtlType == ODT_MENU) {
            if (auto *item = reinterpret_cast<TMenuItem *>(m->itemData))
                item->MeasureImage(*m);
            return TRUE;
        }
        break;
    }
    case WM_DRAWITEM: {
        auto *d = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
        if (d->CtlType == ODT_MENU) {
            if (auto *item = reinterpret_cast<TMenuItem *>(d->itemData))
                item->DrawImage(*d);
            return TRUE;
        }
        break;
    }
    }
    return TControl::WndProc(msg, wp, lp);
}
