// A soak of the real window: a hundred rounds of search, sort, select all and
// copy of the fixture folder by real input. What the process holds after the
// tenth round (everything warmed up) and after the hundredth must be the same
// within a small margin: a leak of one object per round shows as ninety.
// Runs in a process of its own, so that nothing else moves the counts.
#include "tests/app/windowfixture.h"
#include "tests/committed.h"
#include "tests/deadline.h"
#include "tests/testpaths.h"
#include "transfer/datacopydrag.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The counts behind GetGuiResources and GetProcessHandleCount. Wine 8 answers
// both with 0, so there they are found by probing: GDI objects and windows or
// menus by their 16-bit handle index (Wine takes a handle without its upper
// word), kernel handles by asking for each handle value in turn.
int GdiObjects()
{
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(n);
    int n = 0;
    for (DWORD i = 0; i < 0x10000; ++i)
        n += GetObjectType(ULongToHandle(i)) != 0;
    return n;
}

int UserObjects()
{
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))
        return static_cast<int>(n);
    int n = 0;
    for (DWORD i = 0x20; i < 0x10000; i += 2)
        n += IsWindow(static_cast<HWND>(ULongToHandle(i))) || IsMenu(static_cast<HMENU>(ULongToHandle(i)));
    return n;
}

int KernelHandles()
{
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n)
        return static_cast<int>(n);
    int found = 0;
    DWORD flags;
    for (DWORD h = 4, misses = 0; misses < 1024; h += 4) {
        const bool valid = GetHandleInformation(ULongToHandle(h), &flags);
        found += valid;
        misses = valid ? 0 : misses + 1;
    }
    return found;
}

struct TCounts {
    int Gdi, User, Handles;
    SIZE_T Committed;
};

TCounts Counts()
{
    return {GdiObjects(), UserObjects(), KernelHandles(), PrivateCommittedBytes()};
}

std::string Text(const TCounts &c)
{
    return "GDI " + std::to_string(c.Gdi) + ", USER " + std::to_string(c.User) + ", handles " +
           std::to_string(c.Handles) + ", committed " + std::to_string(c.Committed / 1024) + " KB";
}

class Soak : public TWindowTest {
protected:
    // The first marker, awaited by its key-up message itself. A process's
    // first look at the marker's toggle state may come before its key state
    // is synced with the desktop's (where an earlier test process left the
    // toggle), and Strike's handshake would then never see it change.
    bool TakeFirstMarker()
    {
        SendKeys({}, true);
        for (const TDeadline deadline(60000); !deadline.Passed();) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                if (msg.message == WM_KEYUP && msg.wParam == MarkerKey)
                    return true;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        return false;
    }
    // One round, each step by real input and awaited: F5, a click on a
    // header item, Ctrl+A, Ctrl+C.
    void Round(int round)
    {
        ASSERT_TRUE(Strike({VK_F5}));
        PumpUntilDone();
        ASSERT_GT(Form->ListView->Count(), 0) << round;

        const int column = round % 4, before = Form->ListView->Tag;
        RECT r;
        HWND header = Form->ListView->Header();
        SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&r));
        // Apart from the last click, so that two never make a double-click.
        POINT at = {(r.left + r.right) / 2 + (round % 2 ? -8 : 8), (r.top + r.bottom) / 2};
        ClientToScreen(header, &at);
        SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
        ASSERT_TRUE(Strike({}));
        ASSERT_NE(before, Form->ListView->Tag) << "no sort in round " << round;

        ASSERT_TRUE(Strike({VK_CONTROL, 'A'}));
        ASSERT_EQ(Form->ListView->Count(), Form->ListView->SelectedCount()) << round;
        const std::string folder = DataCopyDrag().TempFolder() ? DataCopyDrag().TempFolder() : "";
        ASSERT_TRUE(Strike({VK_CONTROL, 'C'}));
        ASSERT_NE(nullptr, DataCopyDrag().TempFolder()) << round;
        ASSERT_NE(folder, DataCopyDrag().TempFolder()) << "no copy in round " << round;
    }
};

}  // namespace

TEST(SoakCounters, SeeWhatTheyCount)
{
    const TCounts before = Counts();
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
    HMENU menu = CreateMenu();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    void *memory = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT, PAGE_READWRITE);
    const TCounts during = Counts();
    DeleteObject(bitmap);
    DestroyMenu(menu);
    CloseHandle(event);
    VirtualFree(memory, 0, MEM_RELEASE);
    EXPECT_GE(during.Gdi, before.Gdi + 1);
    EXPECT_GE(during.User, before.User + 1);
    EXPECT_GE(during.Handles, before.Handles + 1);
    EXPECT_GE(during.Committed, before.Committed + (1 << 20));
    const TCounts after = Counts();
    EXPECT_EQ(before.Gdi, after.Gdi);
    EXPECT_EQ(before.User, after.User);
}

TEST_F(Soak, AHundredRoundsHoldNoMoreThanTen)
{
    Form->EditFolder->SetText(TestDir());
    Form->ComboBoxFileMask->SetItemIndex(0);  // *.dll: the fixture modules and one text file
    SetForegroundWindow(Form->Handle);
    SetFocus(Form->ListView->Handle);
    ASSERT_TRUE(TakeFirstMarker());
    TCounts tenth{};
    for (int round = 1; round <= 100; ++round) {
        Round(round);
        if (HasFatalFailure())
            return;
        if (round == 10)
            tenth = Counts();
    }
    const TCounts hundredth = Counts();
    std::printf("after round 10:  %s\nafter round 100: %s\n", Text(tenth).c_str(), Text(hundredth).c_str());
    EXPECT_NEAR(tenth.Gdi, hundredth.Gdi, 2);
    EXPECT_NEAR(tenth.User, hundredth.User, 2);
    EXPECT_NEAR(tenth.Handles, hundredth.Handles, 4);
    EXPECT_NEAR(tenth.Committed / 1024.0, hundredth.Committed / 1024.0, 64);  // KB
    DataCopyDrag().RemoveTempFolder();
}
