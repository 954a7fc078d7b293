// TThread: a worker thread with a stop request and synchronous hand-offs to
// the user interface thread.
//
// The user interface thread is the thread that constructed the first TThread.
// A worker hands a parameterless step to it with Synchronize and blocks until
// the step has run there. The user interface thread runs steps from its
// message loop (ServeHandOffs, between messages, never ahead of waiting input),
// from a timer while a modal loop of the system runs (menus, dialogs), and
// from WaitForEnd, which keeps serving hand-offs and sent messages while it
// waits. Messages sent to its windows from other threads are answered while
// it serves, without leaving the hand-offs.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

class TThread {
public:
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;
    // A derived class must call StopAndWait in its own destructor, while its
    // fields still live. One that forgot fails an assertion in a debug build;
    // in any build the thread is then stopped and waited for here, and no
    // further step of it runs (its Synchronize throws instead).
    virtual ~TThread();

    bool StopRequested() const { return FStopRequested.load(); }
    void RequestStop() { FStopRequested.store(true); }
    // User interface thread only: returns once Run has returned, serving
    // hand-offs and sent messages meanwhile (posted input stays queued).
    void WaitForEnd();
    bool Ended() const;

    // Runs every hand-off that is waiting now, on the calling (user interface)
    // thread; the number run.
    static int CheckSynchronize();
    // Runs hand-offs for up to sliceMs: those waiting, and those that arrive
    // while it waits for the next. Returns early as soon as input or a posted
    // message waits, when no worker runs, or when none has arrived for a few
    // milliseconds. The number run.
    static int ServeHandOffs(DWORD sliceMs);
    // Blocks the user interface thread until a hand-off or a message of the
    // kinds in wakeMask arrives (a message wait that also wakes for hand-offs).
    static void WaitForHandOffOrMessage(DWORD wakeMask);
    // Number of hand-offs waiting to be run; for tests and diagnostics.
    static int PendingHandOffs();
    // The hidden window that gets the end-of-run notice and the timer that
    // serves hand-offs during modal loops of the system.
    static HWND HandOffWindow();

protected:
    TThread();
    // Starts the OS thread; the most-derived constructor calls it last.
    void Start();
    void StopAndWait();
    virtual void Run() = 0;
    // Worker thread only: runs step on the user interface thread and returns
    // after it has run there. An exception thrown by the step is rethrown here.
    void Synchronize(const std::function<void()> &step);

private:
    static DWORD WINAPI ThreadEntry(void *self);
    static bool RunOnePending();
    void RunPending();

    HANDLE FHandle = nullptr;
    CONDITION_VARIABLE FStepRan;  // signalled when our step has run and we sleep
    std::atomic<bool> FStepDone{false};
    std::atomic<bool> FSleeping{false};  // the worker sleeps on FStepRan
    const std::function<void()> *FStep = nullptr;
    std::exception_ptr FStepError;
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FOrphaned{false};  // being destroyed while Run still runs
    TThread *FNextPending = nullptr;
};

// Posted to the hand-off window when a thread's Run has returned, so that the
// user interface thread wakes and an idle pass follows.
const UINT WM_APP_THREADENDED = WM_APP + 1;
