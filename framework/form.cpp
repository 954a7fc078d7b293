#include "framework/form.h"

#include <stdexcept>

TForm::TForm() = default;

TForm::~TForm()
{
    // Destroying the window destroys every child window and the menu; the
    // component objects go after them.
    if (Handle && IsWindow(Handle))
        DestroyWindow(Handle);
    FComponents.clear();
    if (FormFont)
        DeleteObject(FormFont);
}

void TForm::CreateHandle()
{
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    const int x = Left ? Left : CW_USEDEFAULT, y = Left ? Top : CW_USEDEFAULT;
    CreateWindowExA(WS_EX_CONTROLPARENT, OwnClass(CS_DBLCLKS, nullptr, icon), Caption.c_str(),
                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, Width, Height, nullptr, nullptr,
                    GetModuleHandleA(nullptr), this);
}

TComponent *TForm::FindComponent(const std::string &name) const
{
    auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : it->second;
}

TComponent *TForm::Create(const TDesignProps &r)
{
    if (!Handle)
        CreateHandle();
    std::unique_ptr<TComponent> owned;
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
        list->Images = dynamic_cast<TImageList *>(link);
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
        a->List = dynamic_cast<TActionList *>(parent);
        a->List->Actions.push_back(a.get());
        owned = std::move(a);
        break;
    }
    case TKind::MainMenu: {
        auto m = std::make_unique<TMainMenu>();
        m->Images = dynamic_cast<TImageList *>(link);
        Menu = m.get();
        owned = std::move(m);
        break;
    }
    case TKind::MenuItem: {
        auto item = std::make_unique<TMenuItem>();
        item->Caption = r.Caption;
        item->Action = dynamic_cast<TAction *>(link);
        item->Images = Menu->Images;
        item->Id = FNextId++;
        HMENU into;
        if (auto *m = dynamic_cast<TMainMenu *>(parent)) {
            into = m->Handle;
        } else {
            auto *up = dynamic_cast<TMenuItem *>(parent);
            if (!up->SubMenu) {
                // The parent becomes a submenu the first time it gets a child.
                up->SubMenu = CreatePopupMenu();
                MENUITEMINFOA info = {sizeof info, MIIM_SUBMENU};
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
        col->Width = r.Width;
        col->RightAligned = r.RightAligned;
        dynamic_cast<TListView *>(parent)->AddColumn(*col);
        owned = std::move(col);
        break;
    }
    case TKind::ToolButton: {
        auto b = std::make_unique<TToolButton>();
        b->Action = dynamic_cast<TAction *>(link);
        b->CheckStyle = r.CheckStyle;
        b->Id = FNextId++;
        dynamic_cast<TToolBar *>(parent)->AddButton(*b);
        owned = std::move(b);
        break;
    }
    case TKind::Panel: {
        auto p = std::make_unique<TPanel>();
        p->BevelInner = r.BevelInner;
        p->BevelOuter = r.BevelOuter;
        control = p.get();
        owned = std::move(p);
        break;
    }
    case TKind::Splitter: {
        auto s = std::make_unique<TSplitter>();
        s->Control = dynamic_cast<TControl *>(link);
        control = s.get();
        owned = std::move(s);
        break;
    }
    case TKind::ToolBar: {
        auto t = std::make_unique<TToolBar>();
        t->Images = dynamic_cast<TImageList *>(link);
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
    }
    owned->Name = r.Name;
    owned->Owner = this;
    if (control) {
        control->Parent = dynamic_cast<TControl *>(parent);
        control->Align = r.Align;
        control->Left = r.Left;
        control->Top = r.Top;
        control->Width = r.Width;
        control->Height = r.Height;
        control->RightMargin = r.RightMargin;
        control->Font = FormFont;
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
        Realign();
        return 0;
    case WM_CLOSE:
        Application.Terminate();
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
