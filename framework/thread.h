// TThread: a worker thread with a stop request and synchronous hand-offs to
// the user interface thread.
//
// The user interface thread is the thread that constructed the first TThread
// (it owns the hidden hand-off window). A worker hands a parameterless step to
// it with Synchronize and blocks until the step has run there: from the
// message loop (the hand-off window's message) or from WaitForEnd, which keeps
// serving hand-offs and sent messages while it waits.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

class TThread {
public:
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;
    // Requests a stop and waits if the thread still runs. A derived class
    // with fields of its own must call StopAndWait in its own destructor.
    virtual ~TThread();

    bool StopRequested() const { return FStopRequested.load(); }
    void RequestStop() { FStopRequested.store(true); }
    // User interface thread only: returns once Run has returned, serving
    // hand-offs and sent messages meanwhile (posted input stays queued).
    void WaitForEnd();
    bool Ended() const;

    // Runs every pending hand-off on the calling (user interface) thread.
    static void CheckSynchronize();
    // Number of hand-offs waiting to be run; for tests and diagnostics.
    static int PendingHandOffs();
    // The hidden window whose messages carry hand-offs and the end-of-run
    // notice; the message loop dispatches them like any other message.
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
    void RunPending();

    HANDLE FHandle = nullptr;
    HANDLE FHandOffDone = nullptr;  // auto-reset, set when our step has run
    const std::function<void()> *FStep = nullptr;
    std::exception_ptr FStepError;
    std::atomic<bool> FStopRequested{false};
    TThread *FNextPending = nullptr;
};

// Posted to the hand-off window when a thread's Run has returned, so that the
// user interface thread wakes and an idle pass follows.
const UINT WM_APP_THREADENDED = WM_APP + 1;
const UINT WM_APP_HANDOFF = WM_APP + 2;
