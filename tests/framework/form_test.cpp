// Forms built from a design: binding, lifetime, closing.
#include "framework/form.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>

namespace {

bool FieldsGone = false;  // set when a test form's own fields have died
int NotifiesLate = 0;  // notices that reached a form whose fields are gone

struct TProbe {
    ~TProbe() { FieldsGone = true; }
};

class TTestForm : public TForm {
public:
    explicit TTestForm(bool destroyOwnWindow);
    ~TTestForm() override
    {
        if (FDestroyOwnWindow)
            DestroyHandle();
    }
    TListView *List = nullptr;
    TPanel *Top = nullptr;
    static const TDesign<TTestForm> Design[];

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_NOTIFY && FieldsGone)
            ++NotifiesLate;
        return TForm::WndProc(msg, wp, lp);
    }

private:
    bool FDestroyOwnWindow;
    TProbe FProbe;
};

const TDesign<TTestForm> TTestForm::Design[] = {
    {.Kind = TKind::Panel, .Name = "Top", .Field = &TTestForm::Top, .Align = TAlign::Top, .Height = 25},
    {.Kind = TKind::ListView, .Name = "List", .Field = &TTestForm::List, .Align = TAlign::Client},
    {.Kind = TKind::ListColumn, .Name = "Column", .Parent = "List", .Width = 100, .Caption = "c"},
};

TTestForm::TTestForm(bool destroyOwnWindow) : TForm("TTestForm"), FDestroyOwnWindow(destroyOwnWindow)
{
    Width = 300;
    Height = 200;
    Build(*this, Design);
}

// A form whose design is given by the test.
template <size_t N> struct TBadForm : TForm {
    explicit TBadForm(const TDesign<TBadForm> (&rows)[N]) : TForm("TBadForm") { Build(*this, rows); }
    ~TBadForm() override { DestroyHandle(); }
    TEdit *Edit = nullptr;
};

template <size_t N> std::string BuildError(const TDesign<TBadForm<N>> (&rows)[N])
{
    try {
        TBadForm<N> form(rows);
    } catch (const std::logic_error &e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(Form, AFormGetsNoNoticeOfItsListOnceHalfGone)
{
    for (bool ownDestroy : {true, false}) {
        FieldsGone = false;
        NotifiesLate = 0;
        auto *form = new TTestForm(ownDestroy);
        for (int i = 0; i < 3; ++i)
            form->List->AddItem({"row", "1"});
        EXPECT_EQ(3, form->List->Count());
        EXPECT_EQ(3, SendMessageA(form->List->Handle, LVM_GETITEMCOUNT, 0, 0));
        delete form;
        // The rows go with the list object; whichever destroys the window,
        // no message reaches a form whose fields are gone.
        EXPECT_EQ(0, NotifiesLate) << ownDestroy;
    }
}

TEST(Form, AListTextCutToTheControlsBufferEndsOnACharacterBoundary)
{
    TTestForm form(true);
    form.List->AddItem({"\x95\x5c\x95\x5c\x95\x5c"});  // three double-byte characters
    for (int size : {2, 3, 4, 5, 7}) {
        char buffer[8];
        memset(buffer, '#', sizeof buffer);
        LVITEMA item = {};
        item.pszText = buffer;
        item.cchTextMax = size;
        SendMessageA(form.List->Handle, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::string("\x95\x5c\x95\x5c\x95\x5c", (size - 1) / 2 * 2), buffer) << size;
    }
}

TEST(Form, ClosingAModalFormReturnsWithoutEndingTheProgram)
{
    TTestForm owner(true), modal(true);
    PostMessageA(modal.Handle, WM_CLOSE, 0, 0);
    modal.ShowModal(owner.Handle);
    EXPECT_FALSE(Application.Terminated());
    EXPECT_FALSE(IsWindowVisible(modal.Handle));
    EXPECT_TRUE(IsWindowEnabled(owner.Handle));
}

TEST(Form, DesignMistakesFailConstructionWithTheirName)
{
    using F1 = TBadForm<1>;
    using F2 = TBadForm<2>;
    const TDesign<F1> wrongKind[] = {{.Kind = TKind::Panel, .Name = "NotAnEdit", .Field = &F1::Edit}};
    const TDesign<F1> unknownParent[] = {{.Kind = TKind::Panel, .Name = "Orphan", .Parent = "Nobody"}};
    const TDesign<F2> parentOfWrongKind[] = {
        {.Kind = TKind::Panel, .Name = "Box"},
        {.Kind = TKind::ListColumn, .Name = "Column", .Parent = "Box"}};
    EXPECT_NE(std::string::npos, BuildError<1>(wrongKind).find("NotAnEdit"));
    EXPECT_NE(std::string::npos, BuildError<1>(unknownParent).find("Orphan"));
    EXPECT_NE(std::string::npos, BuildError<2>(parentOfWrongKind).find("Column"));
}
