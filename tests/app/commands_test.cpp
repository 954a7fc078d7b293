// The commands driven by real keyboard input and by the menu, in Wine under
// Xvfb. A search is held running by pumping every message but the worker's
// hand-offs: the worker then waits in its hand-off until the test lets it go.
#include "tests/app/windowfixture.h"
#include "tests/deadline.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class Commands : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Pump();
    }

    // One pass of the message loop, hand-offs included or held back, then
    // the idle pass. The marker key is taken out, not dispatched.
    void Pump(bool handOffs = true)
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!handOffs && msg.hwnd == TThread::HandOffWindow() && msg.message == WM_TIMER)
                continue;
            if ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && msg.wParam == MarkerKey) {
                FMarkerBack = FMarkerBack || msg.message == WM_KEYUP;
                continue;
            }
            if (Application.PreTranslate(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (handOffs)
            TThread::ServeHandOffs(20);
        if (Application.OnIdle)
            Application.OnIdle();
    }
    // Pumps until the keys sent so far have been handled: a marker key sent
    // behind them comes back. Input leaves the queue in the order it was
    // sent, so the keys before it have been dispatched by then (a posted
    // message would not do: posted messages overtake waiting input).
    void PumpInput(bool handOffs = true)
    {
        FMarkerBack = false;
        SendKeys({MarkerKey});
        const TDeadline deadline;
        for (;;) {
            Pump(handOffs);
            if (FMarkerBack)
                return;
            if (deadline.Passed()) {
                ADD_FAILURE() << "the keys were never delivered";
                return;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    // Holds a search over many modules in its first hand-off.
    void StartHeldSearch(const std::string &keyword = "")
    {
        Form->EditFindText->SetText(keyword);
        Form->StartFind(TStringList(5, TestDir() + "fixexports.dll"), keyword, Form->ActionIgnoreCase->Checked,
                        Form->ActionExport->Checked);
        Pump(false);
        ASSERT_TRUE(Form->IsFinding());
    }

    void Focus(TControl *control, bool handOffs = true)
    {
        SetForegroundWindow(Form->Handle);
        SetFocus(control->Handle);
        Pump(handOffs);
    }
    bool MenuEnabled(TMenuItem *item) const { return !(GetMenuState(item->Menu, item->Id, MF_BYCOMMAND) & MF_GRAYED); }
    bool MenuChecked(TMenuItem *item) const { return GetMenuState(item->Menu, item->Id, MF_BYCOMMAND) & MF_CHECKED; }
    bool ButtonEnabled(TToolButton *b) const { return b->ToolBar->ButtonState(*b) & TBSTATE_ENABLED; }
    bool ButtonPressed(TToolButton *b) const { return b->ToolBar->ButtonState(*b) & TBSTATE_CHECKED; }
    bool AcceptsDrops() const { return GetWindowLongA(Form->Handle, GWL_EXSTYLE) & WS_EX_ACCEPTFILES; }

    bool FMarkerBack = false;
};

}  // namespace

TEST_F(Commands, F5AndEnterInEitherEditBoxStartASearch)
{
    Form->EditFolder->SetText(TestDir() + "fixexports.dll");
    Form->EditFindText->SetText("");
    Focus(Form->EditFindText);
    SendKeys({VK_F5});
    PumpInput();
    EXPECT_TRUE(Form->IsFinding() || Form->ListView->Count() > 0);
    PumpUntilDone();
    EXPECT_EQ(4, Form->ListView->Count());

    for (TEdit *edit : {Form->EditFolder, Form->EditFindText}) {
        Form->ListView->Clear();
        const std::string before = edit->Text();
        Focus(edit);
        SendKeys({VK_RETURN});
        PumpInput();
        PumpUntilDone();
        EXPECT_EQ(4, Form->ListView->Count()) << edit->Name;
        EXPECT_EQ(before, edit->Text()) << "Enter inserts nothing";
    }
}

TEST_F(Commands, DuringASearchOnlyTheSafeCommandsStayEnabled)
{
    StartHeldSearch();
    for (TAction *a : {Form->ActionOpen, Form->ActionFind, Form->ActionCopy, Form->ActionSelectAll,
                       Form->ActionSelectInvert})
        EXPECT_FALSE(a->Enabled) << a->Name;
    for (TAction *a : {Form->ActionAbort, Form->ActionSelectFolder, Form->ActionRecursive,
                       Form->ActionIgnoreCase, Form->ActionExport, Form->ActionImport, Form->ActionExit,
                       Form->ActionAbout})
        EXPECT_TRUE(a->Enabled) << a->Name;
    // What the user sees: grey menu items and buttons, live abort.
    EXPECT_FALSE(MenuEnabled(Form->MainMenuFind));
    EXPECT_FALSE(MenuEnabled(Form->MainMenuOpen));
    EXPECT_FALSE(MenuEnabled(Form->MainMenuCopy));
    EXPECT_TRUE(MenuEnabled(Form->MainMenuAbort));
    EXPECT_FALSE(ButtonEnabled(Form->ToolButtonFind));
    EXPECT_TRUE(ButtonEnabled(Form->ToolButtonAbort));
    EXPECT_FALSE(AcceptsDrops());

    // F5 while the search runs does nothing: the rows are those of this search.
    Focus(Form->EditFindText, false);
    Form->EditFolder->SetText(TestDir() + "fiximports.exe");
    SendKeys({VK_F5});
    PumpInput(false);
    EXPECT_NE("対象ファイル一覧の収集中...", Form->StatusBar->SimpleText());

    PumpUntilDone();
    EXPECT_EQ(20, Form->ListView->Count());
    // The first idle pass after the end gives the idle states back.
    EXPECT_TRUE(Form->ActionFind->Enabled);
    EXPECT_TRUE(MenuEnabled(Form->MainMenuFind));
    EXPECT_TRUE(ButtonEnabled(Form->ToolButtonFind));
    EXPECT_FALSE(ButtonEnabled(Form->ToolButtonAbort));
    EXPECT_FALSE(MenuEnabled(Form->MainMenuAbort));
    EXPECT_TRUE(Form->ActionSelectAll->Enabled);
    EXPECT_FALSE(Form->ActionCopy->Enabled);  // nothing selected
    EXPECT_TRUE(AcceptsDrops());
}

TEST_F(Commands, AbortByShortcutStopsTheSearch)
{
    StartHeldSearch();
    Focus(Form->ListView, false);
    SendKeys({VK_CONTROL, 'D'});
    PumpInput(false);
    PumpUntilDone();
    // Stopped before its first module: no rows.
    EXPECT_EQ(0, Form->ListView->Count());
    EXPECT_EQ("関数は見つかりませんでした", Form->StatusBar->SimpleText());
}

TEST_F(Commands, TheSearchTargetPairKeepsExactlyOneChecked)
{
    Focus(Form->ListView);
    SendKeys({VK_CONTROL, 'M'});
    PumpInput();
    EXPECT_TRUE(Form->ActionImport->Checked);
    EXPECT_FALSE(Form->ActionExport->Checked);
    EXPECT_TRUE(MenuChecked(Form->MainMenuImport));
    EXPECT_FALSE(MenuChecked(Form->MainMenuExport));
    SendKeys({VK_CONTROL, 'M'});  // the checked one again
    PumpInput();
    EXPECT_TRUE(Form->ActionImport->Checked);
    EXPECT_FALSE(Form->ActionExport->Checked);
    SendMessageA(Form->Handle, WM_COMMAND, Form->MainMenuExport->Id, 0);  // from the menu
    Pump();
    EXPECT_TRUE(Form->ActionExport->Checked);
    EXPECT_FALSE(Form->ActionImport->Checked);
    EXPECT_TRUE(MenuChecked(Form->MainMenuExport));
}

TEST_F(Commands, TogglesShowOnTheirButtonsAndMenuItems)
{
    EXPECT_TRUE(ButtonPressed(Form->ToolButtonIgnoreCase));
    EXPECT_FALSE(ButtonPressed(Form->ToolButtonRecursive));
    Focus(Form->ListView);
    SendKeys({VK_CONTROL, 'R'});
    SendKeys({VK_CONTROL, 'I'});
    PumpInput();
    EXPECT_TRUE(Form->ActionRecursive->Checked);
    EXPECT_FALSE(Form->ActionIgnoreCase->Checked);
    EXPECT_TRUE(ButtonPressed(Form->ToolButtonRecursive));
    EXPECT_FALSE(ButtonPressed(Form->ToolButtonIgnoreCase));
    EXPECT_TRUE(MenuChecked(Form->MainMenuRecursive));
    EXPECT_FALSE(MenuChecked(Form->MainMenuIgnoreCase));
}

TEST_F(Commands, TogglingIgnoreCaseDuringASearchLeavesThatSearchAlone)
{
    ASSERT_TRUE(Form->ActionIgnoreCase->Checked);
    StartHeldSearch("Alloc");  // ignoring case: HeapAlloc and heapalloc of each module
    Focus(Form->ListView, false);
    SendKeys({VK_CONTROL, 'I'});
    PumpInput(false);
    EXPECT_FALSE(Form->ActionIgnoreCase->Checked);
    PumpUntilDone();
    EXPECT_EQ(10, Form->ListView->Count());
}

TEST_F(Commands, CtrlCAndCtrlAInTheKeywordBoxNeverReachIt)
{
    OpenClipboard(nullptr);
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 9);
    memcpy(GlobalLock(mem), "sentinel", 9);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();

    Form->EditFindText->SetText("keyword");
    Focus(Form->EditFindText);
    SendMessageA(Form->EditFindText->Handle, EM_SETSEL, 0, 3);  // "key" selected
    SendKeys({VK_CONTROL, 'C'});
    SendKeys({VK_CONTROL, 'A'});
    PumpInput();
    DWORD start = 0, end = 0;
    SendMessageA(Form->EditFindText->Handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(3u, end);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const char *text = static_cast<const char *>(GlobalLock(GetClipboardData(CF_TEXT)));
    EXPECT_STREQ("sentinel", text);
    CloseClipboard();
    EXPECT_EQ("keyword", Form->EditFindText->Text());
}

TEST_F(Commands, TabWalksTheFourControlsInOrder)
{
    Focus(Form->EditFolder);
    std::vector<HWND> seen;
    for (int i = 0; i < 4; ++i) {
        SendKeys({VK_TAB});
        PumpInput();
        seen.push_back(GetFocus());
    }
    EXPECT_EQ((std::vector<HWND>{Form->ComboBoxFileMask->Handle, Form->EditFindText->Handle, Form->ListView->Handle,
                                 Form->EditFolder->Handle}),
              seen);
}
