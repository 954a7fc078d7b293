// TThread's start, stop and hand-offs, with real threads.
#include "framework/thread.h"
#include "tests/deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

namespace {

// A thread whose body is a function given at construction.
class TTestThread : public TThread {
public:
    explicit TTestThread(std::function<void(TTestThread &)> body) : FBody(std::move(body)) { Start(); }
    ~TTestThread() override { StopAndWait(); }
    void HandOff(const std::function<void()> &step) { Synchronize(step); }

protected:
    void Run() override { FBody(*this); }

private:
    std::function<void(TTestThread &)> FBody;
};

// Waits, without serving anything, until the worker is blocked in a hand-off.
void UntilHandOffPending()
{
    const TDeadline deadline;
    while (TThread::PendingHandOffs() == 0) {
        if (deadline.Passed()) {
            ADD_FAILURE() << "no hand-off arrived";
            return;
        }
        Sleep(1);
    }
}

}  // namespace

TEST(Thread, RunStartsAfterTheDerivedObjectIsConstructed)
{
    struct TLate : TThread {
        std::atomic<int> Seen{0};
        int Value = 0;
        TLate()
        {
            Sleep(30);  // a thread started too early would read Value as 0
            Value = 42;
            Start();
        }
        ~TLate() override { StopAndWait(); }
        void Run() override { Seen = Value; }
    };
    TLate t;
    t.WaitForEnd();
    EXPECT_EQ(42, t.Seen.load());
    EXPECT_TRUE(t.Ended());
}

TEST(Thread, HandOffRunsOnTheUserInterfaceThreadFromTheMessageLoop)
{
    MSG msg;
    while (PeekMessageA(&msg, TThread::HandOffWindow(), WM_APP_THREADENDED, WM_APP_THREADENDED, PM_REMOVE)) {
    }
    const DWORD ui = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<int> after{0};
    TTestThread t([&](TTestThread &self) {
        self.HandOff([&] { ranOn = GetCurrentThreadId(); });
        after = 1;  // written only once the step is done
    });
    // A plain message loop until the end-of-run notice arrives.
    const TDeadline deadline;
    for (bool ended = false; !ended;) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ASSERT_FALSE(deadline.Passed()) << "the end-of-run notice never came";
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            continue;
        }
        DispatchMessageA(&msg);
        ended = msg.hwnd == TThread::HandOffWindow() && msg.message == WM_APP_THREADENDED;
    }
    EXPECT_EQ(ui, ranOn.load());
    EXPECT_EQ(1, after.load());
    t.WaitForEnd();
}

TEST(Thread, AConstructorThatThrowsBeforeStartLeavesNoThread)
{
    struct TFailing : TThread {
        std::atomic<bool> *Ran;
        explicit TFailing(std::atomic<bool> *ran) : Ran(ran) { throw std::runtime_error("no memory"); }
        void Run() override { *Ran = true; }
    };
    std::atomic<bool> ran{false};
    EXPECT_THROW(TFailing t(&ran), std::runtime_error);
    Sleep(50);  // a thread left behind would have run by now
    EXPECT_FALSE(ran.load());
}

TEST(Thread, WaitForEndServesAHandOffThatIsAlreadyWaiting)
{
    // The dead-lock case: the worker blocks in a hand-off, then the user
    // interface thread waits for its end without pumping messages itself.
    std::atomic<int> steps{0};
    TTestThread t([&](TTestThread &self) {
        for (int i = 0; i < 3; ++i)
            self.HandOff([&] { ++steps; });
    });
    UntilHandOffPending();
    t.WaitForEnd();
    EXPECT_TRUE(t.Ended());
    EXPECT_EQ(3, steps.load());
}

TEST(Thread, WaitForEndServesMessagesSentToThisThreadsWindows)
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    std::atomic<LRESULT> answer{0};
    TTestThread t([&](TTestThread &) {
        SetWindowTextA(window, "sent");  // a message sent across threads
        char text[16] = {};
        GetWindowTextA(window, text, sizeof text);
        answer = text[0];
    });
    t.WaitForEnd();
    EXPECT_EQ('s', answer.load());
    DestroyWindow(window);
}

TEST(Thread, WaitForEndLeavesPostedInputQueued)
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const UINT posted = WM_APP + 77;
    PostMessageA(window, posted, 0, 0);
    TTestThread t([&](TTestThread &self) { self.HandOff([] {}); });
    t.WaitForEnd();
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, posted, posted, PM_REMOVE));
    DestroyWindow(window);
}

TEST(Thread, EndOfRunIsAnnouncedToTheHandOffWindow)
{
    MSG msg;
    while (PeekMessageA(&msg, TThread::HandOffWindow(), WM_APP_THREADENDED, WM_APP_THREADENDED, PM_REMOVE)) {
    }
    TTestThread t([](TTestThread &) {});
    t.WaitForEnd();
    EXPECT_TRUE(PeekMessageA(&msg, TThread::HandOffWindow(), WM_APP_THREADENDED, WM_APP_THREADENDED, PM_REMOVE));
}

TEST(Thread, DestroyingARunningThreadRequestsAStopAndWaits)
{
    std::atomic<bool> left{false};
    std::atomic<int> steps{0};
    {
        TTestThread t([&](TTestThread &self) {
            while (!self.StopRequested())
                self.HandOff([&] { ++steps; });
            left = true;
        });
        UntilHandOffPending();
    }
    EXPECT_TRUE(left.load());
    EXPECT_GE(steps.load(), 1);
}

TEST(Thread, ExceptionInAStepIsRethrownOnTheWorker)
{
    std::atomic<bool> caught{false};
    TTestThread t([&](TTestThread &self) {
        try {
            self.HandOff([] { throw std::runtime_error("step failed"); });
        } catch (const std::runtime_error &) {
            caught = true;
        }
    });
    t.WaitForEnd();
    EXPECT_TRUE(caught.load());
}

TEST(Thread, AThrowingRunStillEndsTheThread)
{
    TTestThread t([](TTestThread &) { throw std::runtime_error("run failed"); });
    t.WaitForEnd();
    EXPECT_TRUE(t.Ended());
}

TEST(Thread, AClassThatForgetsToWaitRunsNoStepOnceDestroyed)
{
#ifndef NDEBUG
    GTEST_SKIP() << "a debug build stops at the assertion";
#endif
    static std::atomic<int> steps{0};
    // The mistake: no StopAndWait in its destructor.
    struct TForgetful : TThread {
        TForgetful() { Start(); }
        void Run() override
        {
            while (!StopRequested())
                Synchronize([] { ++steps; });
        }
    };
    auto *thread = new TForgetful;
    UntilHandOffPending();
    const int before = steps.load();
    delete thread;  // waits for the end; the waiting step is dropped, not run
    EXPECT_EQ(before, steps.load());
    EXPECT_EQ(0, TThread::PendingHandOffs());
}
