// The window stays live during a search: real keyboard and mouse input acts
// at once while rows stream in, and nothing typed is held until the end.
#include "tests/app/windowfixture.h"

#include <gtest/gtest.h>


namespace {

class LiveWindow : public TWindowTest {
protected:
    // Starts a full listing of the system folder (80,000 rows under Wine)
    // and runs the loop until some rows are in.
    void StartLongListing()
    {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        Form->EditFolder->SetText(system);
        Form->EditFindText->SetText("");
        Form->ActionFind->Execute();
        ASSERT_TRUE(PumpUntil([&] { return Form->ListView->Count() >= 3000 || !Form->IsFinding(); }));
        ASSERT_TRUE(Form->IsFinding());
    }
    // The count in the summary, or -1 when the status is no summary.
    int SummaryCount() const
    {
        const std::string s = Form->StatusBar->SimpleText();
        const size_t at = s.find("個の関数が見つかりました");
        return at == std::string::npos || at == 0 ? -1 : std::stoi(s.substr(0, at));
    }
    int FullCount() const { return 80000; }
};

}  // namespace

TEST_F(LiveWindow, CtrlDStopsAFullListingAtOnce)
{
    StartLongListing();
    SetFocus(Form->ListView->Handle);
    ASSERT_TRUE(Strike({VK_CONTROL, 'D'}));
    ASSERT_TRUE(PumpUntil([&] { return !Form->IsFinding(); }));
    const int rows = Form->ListView->Count();
    EXPECT_LT(rows, FullCount() / 2);
    EXPECT_GT(SummaryCount(), 0);
    EXPECT_LE(SummaryCount(), rows);
}

TEST_F(LiveWindow, TheAbortButtonStopsAFullListingByMouse)
{
    StartLongListing();
    RECT r;
    SendMessageA(Form->ToolBar->Handle, TB_GETRECT, Form->ToolButtonAbort->Id, reinterpret_cast<LPARAM>(&r));
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(Form->ToolBar->Handle, &p);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return !Form->IsFinding(); }));
    EXPECT_LT(Form->ListView->Count(), FullCount() / 2);
    EXPECT_GT(SummaryCount(), 0);
}

TEST_F(LiveWindow, F5PressedDuringASearchIsNotHeldForItsEnd)
{
    StartLongListing();
    SetFocus(Form->ListView->Handle);
    ASSERT_TRUE(Strike({VK_F5}));
    ASSERT_TRUE(Form->IsFinding());  // taken while the search runs: F5 was disabled
    ASSERT_TRUE(Strike({VK_CONTROL, 'D'}));
    ASSERT_TRUE(PumpUntil([&] { return !Form->IsFinding(); }));
    const int rows = Form->ListView->Count();
    Application.ProcessMessages();
    Application.ProcessMessages();
    EXPECT_FALSE(Form->IsFinding());
    EXPECT_EQ(rows, Form->ListView->Count());
    EXPECT_GT(SummaryCount(), 0);
}
