#include "framework/thread.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace {

// Hand-offs wait in one process-wide queue. A worker enqueues itself and
// wakes the user interface thread if that thread sleeps; the user interface
// thread runs the step and wakes the worker if it sleeps. Each side spins
// briefly before it sleeps: a worker between two rows is microseconds away
// from its next hand-off, and a step takes microseconds.
//
// The sleeps are condition variables on a slim lock, which the system (Wine
// on Linux too) serves with a futex in the process: about 8 µs for a
// hand-off and back when the two threads share one core, against 80 µs with
// events, each of which is a round trip to the Wine server. Only a user
// interface thread that has seen no hand-off for a while waits for its
// messages too (MsgWaitForMultipleObjects and an event); until then it looks
// at its queue every two milliseconds.
//
// No message is posted per hand-off: posted messages are always retrieved
// before keyboard and mouse input, so a stream of them would starve input.
// Lost wake-ups are excluded by the lock (a condition variable sleeper) or by
// pairing a sequentially consistent write with a read on each side (the
// message wait: the worker counts the queue up and then reads the state; the
// user interface thread sets the state and then reads the queue).
SRWLOCK Lock = SRWLOCK_INIT;
CONDITION_VARIABLE RequestArrived = CONDITION_VARIABLE_INIT;
TThread *QueueHead = nullptr;
TThread **QueueTail = &QueueHead;
std::atomic<int> QueueCount{0};
HANDLE RequestEvent = nullptr;  // auto-reset; set when a hand-off arrives during a message wait

// What the user interface thread is doing, for a worker that needs it.
enum TInterface { Looking, Sleeping, WaitingForMessages };
std::atomic<int> Interface{Looking};

std::atomic<int> Running{0};  // threads started whose Run has not returned
HWND Window = nullptr;

const UINT_PTR ServeTimer = 1;
const UINT ServeInterval = 10;  // ms: the timer that serves during modal loops
const DWORD TimerSlice = 20;    // ms of hand-offs per timer tick
const int InterfaceSpin = 50;   // µs the user interface thread spins for the next hand-off
const int WorkerSpin = 50;      // µs a worker spins for its step before it sleeps
const int LookInterval = 2;     // ms between two looks at the message queue while serving
const int QuietLimit = 4;       // ms without a hand-off before the message wait

LONGLONG Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG TicksPerMs()
{
    static const LONGLONG perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart / 1000;
    }();
    return perMs;
}

// Spins until done() holds or about micros microseconds have passed, and
// offers the core to other threads between looks: when the other core is
// busy with another program, the thread it waits for may be waiting for this
// core. (Spinning without the offers made a hand-off cost four times as much
// with one core busy; the offers cost little when the machine is idle.)
template <class Done> bool SpinUntil(Done done, int micros)
{
    const LONGLONG start = Ticks(), limit = TicksPerMs() * micros / 1000;
    for (int i = 1;; ++i) {
        if (done())
            return true;
        YieldProcessor();
        if (i % 16 == 0) {
            if (Ticks() - start >= limit)
                return done();
            SwitchToThread();
        }
    }
}

// User interface thread: sleeps until a hand-off arrives or about ms
// milliseconds have passed; true when one waits.
bool SleepForRequest(DWORD ms)
{
    AcquireSRWLockExclusive(&Lock);
    Interface = Sleeping;
    if (QueueCount.load() == 0)
        SleepConditionVariableSRW(&RequestArrived, &Lock, ms, 0);
    Interface = Looking;
    ReleaseSRWLockExclusive(&Lock);
    return QueueCount.load() > 0;
}

// What needs the user interface thread's loop: input, posted messages (a
// notice, a close), hot keys; timers and paints wait for the end of the
// slice. Messages sent from other threads are answered on the spot: any peek
// delivers them, and the filter takes none of the posted ones. The zero wait
// comes first because under Wine input from the display reaches the queue
// only while the thread waits for messages.
bool LoopNeeded()
{
    const DWORD kinds = QS_INPUT | QS_POSTMESSAGE | QS_HOTKEY | QS_SENDMESSAGE;
    if (MsgWaitForMultipleObjectsEx(0, nullptr, 0, kinds, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0)
        return false;
    const DWORD waiting = HIWORD(GetQueueStatus(kinds));
    if (waiting & QS_SENDMESSAGE) {
        MSG msg;
        PeekMessageA(&msg, nullptr, WM_APP_THREADENDED, WM_APP_THREADENDED, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return (waiting & ~QS_SENDMESSAGE) != 0;
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
    InitializeConditionVariable(&FStepRan);
}

TThread::~TThread()
{
    if (FHandle && !Ended()) {
        // The derived destructor has run: a step would use fields that are gone.
        assert(!"a class derived from TThread must call StopAndWait in its destructor");
        FOrphaned.store(true);
        StopAndWait();
    }
    if (FHandle)
        CloseHandle(FHandle);
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
    if (FOrphaned.load())
        throw std::logic_error("hand-off of a thread whose object is being destroyed");
    FStep = &step;
    FStepError = nullptr;
    FStepDone.store(false);
    AcquireSRWLockExclusive(&Lock);
    FNextPending = nullptr;
    *QueueTail = this;
    QueueTail = &FNextPending;
    ++QueueCount;
    ReleaseSRWLockExclusive(&Lock);
    switch (Interface.load()) {
    case Sleeping:
        WakeConditionVariable(&RequestArrived);
        break;
    case WaitingForMessages:
        SetEvent(RequestEvent);
        break;
    }
    if (!SpinUntil([this] { return FStepDone.load(); }, WorkerSpin)) {
        AcquireSRWLockExclusive(&Lock);
        FSleeping.store(true);
        while (!FStepDone.load())
            SleepConditionVariableSRW(&FStepRan, &Lock, INFINITE, 0);
        FSleeping.store(false);
        ReleaseSRWLockExclusive(&Lock);
    }
    if (FStepError)
        std::rethrow_exception(FStepError);
}

void TThread::RunPending()
{
    try {
        if (FOrphaned.load())
            throw std::logic_error("hand-off of a thread whose object is being destroyed");
        (*FStep)();
    } catch (...) {
        FStepError = std::current_exception();
    }
    FStep = nullptr;
    FStepDone.store(true);
    if (FSleeping.load()) {
        // Through the lock: the worker is asleep, or about to see FStepDone.
        AcquireSRWLockExclusive(&Lock);
        ReleaseSRWLockExclusive(&Lock);
        WakeConditionVariable(&FStepRan);
    }
}

// Runs the oldest waiting hand-off; false when none waits.
bool TThread::RunOnePending()
{
    TThread *next;
    AcquireSRWLockExclusive(&Lock);
    next = QueueHead;
    if (next) {
        QueueHead = next->FNextPending;
        if (!QueueHead)
            QueueTail = &QueueHead;
        --QueueCount;
    }
    ReleaseSRWLockExclusive(&Lock);
    if (!next)
        return false;
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
    const LONGLONG perMs = TicksPerMs(), start = Ticks(), end = start + perMs * sliceMs;
    LONGLONG nextLook = start + perMs * LookInterval, lastStep = start;
    for (;;) {
        LONGLONG now;
        if (RunOnePending()) {
            ++run;
            now = lastStep = Ticks();
        } else {
            if (Running.load() == 0)
                return run;  // no worker to wait for
            if (!SpinUntil([] { return QueueCount.load() > 0; }, InterfaceSpin)) {
                now = Ticks();
                if (now - lastStep >= perMs * QuietLimit)
                    return run;  // the worker reads a long file: wait for messages too
                SleepForRequest(static_cast<DWORD>(std::max<LONGLONG>(1, (nextLook - now) / perMs)));
            }
            now = Ticks();
        }
        if (now >= end)
            return run;
        // Input goes first: look for it every two milliseconds (the look
        // itself is a round trip to the server under Wine).
        if (now >= nextLook) {
            nextLook = now + perMs * LookInterval;
            if (LoopNeeded())
                return run;
        }
    }
}

void TThread::WaitForHandOffOrMessage(DWORD wakeMask)
{
    HandOffWindow();
    Interface = WaitingForMessages;
    if (QueueCount.load() == 0)
        MsgWaitForMultipleObjectsEx(1, &RequestEvent, INFINITE, wakeMask, MWMO_INPUTAVAILABLE);
    Interface = Looking;
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
        Interface = WaitingForMessages;
        const DWORD r = QueueCount.load() > 0
                            ? WAIT_OBJECT_0 + 1
                            : MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        Interface = Looking;
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
