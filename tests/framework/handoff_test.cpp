// Hand-offs never starve input: real key strokes reach a window while a
// worker floods the message loop with hand-offs.
#include "framework/application.h"
#include "framework/thread.h"

#include <gtest/gtest.h>

namespace {

class TFlood : public TThread {
public:
    TFlood() { Start(); }
    ~TFlood() override { StopAndWait(); }
    std::atomic<int> Steps{0};

protected:
    void Run() override
    {
        while (!StopRequested())
            Synchronize([this] { ++Steps; });
    }
};

int KeysSeen = 0;

LRESULT CALLBACK KeyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_KEYUP && wp == VK_F7)
        ++KeysSeen;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

TEST(HandOff, InputIsTakenWhileHandOffsFlood)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = KeyProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KalvexKeyTarget";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    Application.ProcessMessages();

    TFlood flood;
    const DWORD start = GetTickCount();
    Application.RunUntil([&] { return flood.Steps.load() >= 1000 || GetTickCount() - start > 60000; });
    ASSERT_GE(flood.Steps.load(), 1000);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = VK_F7;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
    Application.RunUntil([&] { return KeysSeen > 0 || GetTickCount() - start > 60000; });
    EXPECT_EQ(1, KeysSeen);
    EXPECT_FALSE(flood.Ended());  // the flood was still running when the key came through
    flood.RequestStop();
    flood.WaitForEnd();
    DestroyWindow(window);
}
