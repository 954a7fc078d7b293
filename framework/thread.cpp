#include "framework/thread.h"

#include <mutex>
#include <stdexcept>

namespace {

// Hand-offs wait in one process-wide queue. A worker enqueues itself and wakes
// the user interface thread only if that thread sleeps (Sleepers); otherwise
// the user interface thread finds the step on its next look. Both sides spin
// briefly before they sleep: a worker between two rows is microseconds away
// from its next hand-off, and a step takes microseconds, while every sleep
// and wake-up is a round trip to the kernel (to the server under Wine).
//
// No message is posted per hand-off: posted messages are always retrieved
// before keyboard and mouse input, so a stream of them would starve input.
// Lost wake-ups are excluded by pairing a sequentially consistent write with
// a read on each side: the worker counts the queue up and then reads
// Sleepers; a sleeper counts Sleepers up and then reads the queue.
std::mutex QueueLock;
TThread *QueueHead = nullptr;
TThread **QueueTail = &QueueHead;
std::atomic<int> QueueCount{0};
HANDLE RequestEvent = nullptr;  // auto-reset; set when a hand-off arrives for a sleeper
std::atomic<int> Sleepers{0};   // waits of the user interface thread in progress
std::atomic<int> Running{0};    // threads started whose Run has not returned
HWND Window = nullptr;

const UINT_PTR ServeTimer = 1;
const UINT ServeInterval = 10;   // ms: the timer that serves during modal loops
const DWORD TimerSlice = 20;     // ms of hand-offs per timer tick
const int InterfaceSpin = 50;    // µs the user interface thread waits for the next hand-off
const int WorkerSpin = 200;      // µs a worker waits for its step before it sleeps

// Spins until done() holds or about micros microseconds have passed.
template <class Done> bool SpinUntil(Done done, int micros)
{
    static const LONGLONG perSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    const LONGLONG limit = perSecond * micros / 1000000;
    for (int i = 1;; ++i) {
        if (done())
            return true;
        YieldProcessor();
        if (i % 32 == 0) {
            QueryPerformanceCounter(&now);
            if (now.QuadPart - start.QuadPart >= limit)
                return done();
        }
    }
}

LRESULT CALLBACK HandOffProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_TIMER && wp == ServeTimer) {
        // Modal loops of the system (menus, message boxes, dialogs) dispatch
        // timers but know nothing of hand-offs; a timer ranks below input.
        TThread::ServeHandOffs(TimerSlice);
        return 0;
    }
    if (msg == WM_APP_THREADENDED) {
        if (Running.load() == 0)
            KillTimer(hwnd, ServeTimer);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

HWND TThread::HandOffWindow()
{
    if (!Window) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HandOffProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TThreadHandOff";
        RegisterClassA(&wc);
        Window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        RequestEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    return Window;
}

TThread::TThread()
{
    HandOffWindow();
    FHandOffDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

TThread::~TThread()
{
    StopAndWait();
    if (FHandle)
        CloseHandle(FHandle);
    CloseHandle(FHandOffDone);
}

void TThread::Start()
{
    // Created here, not in our constructor: a derived constructor that throws
    // before this point must leave no thread that could run on a dead object.
    ++Running;
    FHandle = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    if (!FHandle) {
        --Running;
        throw std::runtime_error("cannot start a thread");
    }
    SetTimer(Window, ServeTimer, ServeInterval, nullptr);
}

DWORD WINAPI TThread::ThreadEntry(void *self)
{
    TThread *thread = static_cast<TThread *>(self);
    try {
        thread->Run();
    } catch (...) {
        // Run reports its own failures; nothing may leave the thread entry.
    }
    --Running;
    PostMessageA(Window, WM_APP_THREADENDED, 0, 0);
    return 0;
}

bool TThread::Ended() const
{
    return WaitForSingleObject(FHandle, 0) == WAIT_OBJECT_0;
}

void TThread::StopAndWait()
{
    if (!FHandle || Ended())
        return;
    RequestStop();
    WaitForEnd();
}

void TThread::Synchronize(const std::function<void()> &step)
{
    FStep = &step;
    FStepError = nullptr;
    FStepDone.store(false);
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        FNextPending = nullptr;
        *QueueTail = this;
        QueueTail = &FNextPending;
        ++QueueCount;
    }
    if (Sleepers.load() > 0)
        SetEvent(RequestEvent);
    if (!SpinUntil([this] { return FStepDone.load(); }, WorkerSpin)) {
        FSleeping.store(true);
        // A wake-up left over from an earlier step is harmless: look again.
        while (!FStepDone.load())
            WaitForSingleObject(FHandOffDone, INFINITE);
        FSleeping.store(false);
    }
    if (FStepError)
        std::rethrow_exception(FStepError);
}

void TThread::RunPending()
{
    try {
        (*FStep)();
    } catch (...) {
        FStepError = std::current_exception();
    }
    FStep = nullptr;
    FStepDone.store(true);
    if (FSleeping.load())
        SetEvent(FHandOffDone);
}

// Runs the oldest waiting hand-off; false when none waits.
bool TThread::RunOnePending()
{
    TThread *next;
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        next = QueueHead;
        if (!next)
            return false;
        QueueHead = next->FNextPending;
        if (!QueueHead)
            QueueTail = &QueueHead;
        --QueueCount;
    }
    next->RunPending();
    return true;
}

int TThread::CheckSynchronize()
{
    // Only those waiting now: a worker queues its next step within
    // microseconds of the last, and this must end.
    int run = 0;
    for (int waiting = QueueCount.load(); run < waiting && RunOnePending();)
        ++run;
    return run;
}

int TThread::ServeHandOffs(DWORD sliceMs)
{
    int run = 0;
    const DWORD start = GetTickCount();
    DWORD checked = start;
    for (;;) {
        if (RunOnePending())
            ++run;
        else if (Running.load() == 0 || !SpinUntil([] { return QueueCount.load() > 0; }, InterfaceSpin))
            return run;  // no worker to wait for, or none came
        const DWORD now = GetTickCount();
        if (now - start >= sliceMs)
            return run;
        // Input goes first: look for it about once a millisecond (the look
        // itself is a round trip to the server under Wine).
        if (now != checked) {
            checked = now;
            if (HIWORD(GetQueueStatus(QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_HOTKEY)))
                return run;
        }
    }
}

void TThread::WaitForHandOffOrMessage(DWORD wakeMask)
{
    HandOffWindow();
    ++Sleepers;
    if (QueueCount.load() == 0)
        MsgWaitForMultipleObjectsEx(1, &RequestEvent, INFINITE, wakeMask, MWMO_INPUTAVAILABLE);
    --Sleepers;
}

int TThread::PendingHandOffs()
{
    return QueueCount.load();
}

void TThread::WaitForEnd()
{
    if (!FHandle)
        return;
    HANDLE handles[2] = {FHandle, RequestEvent};
    for (;;) {
        CheckSynchronize();
        ++Sleepers;
        const DWORD r = QueueCount.load() > 0
                            ? WAIT_OBJECT_0 + 1
                            : MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        --Sleepers;
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED)
            break;
        if (r == WAIT_OBJECT_0 + 2) {
            // A message sent from another thread: any peek delivers it. Posted
            // messages stay queued (the filter matches nothing real).
            MSG msg;
            PeekMessageA(&msg, nullptr, WM_APP_THREADENDED, WM_APP_THREADENDED,
                         PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    CheckSynchronize();
}
