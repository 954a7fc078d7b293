#include "framework/thread.h"

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace {

// Hand-offs wait in one process-wide queue: the worker enqueues itself, posts a
// wake-up to the hand-off window and sets the request event (for WaitForEnd);
// the user interface thread runs and completes every queued step. A wake-up
// that finds the queue empty is harmless, so no message ever refers to a
// thread object that may already be gone.
std::mutex QueueLock;
TThread *QueueHead = nullptr;
TThread **QueueTail = &QueueHead;
int QueueCount = 0;
HANDLE RequestEvent = nullptr;  // auto-reset; set only while someone waits
std::atomic<int> Waiting{0};    // WaitForEnd calls in progress
HWND Window = nullptr;

LRESULT CALLBACK HandOffProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP_HANDOFF) {
        TThread::CheckSynchronize();
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
    FHandle = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    if (!FHandle)
        throw std::runtime_error("cannot start a thread");
}

DWORD WINAPI TThread::ThreadEntry(void *self)
{
    TThread *thread = static_cast<TThread *>(self);
    try {
        thread->Run();
    } catch (...) {
        // Run reports its own failures; nothing may leave the thread entry.
    }
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
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        FNextPending = nullptr;
        *QueueTail = this;
        QueueTail = &FNextPending;
        ++QueueCount;
    }
    // WaitForEnd announces itself before it checks the queue, so either it
    // sees this step or we see it waiting.
    if (Waiting.load() > 0)
        SetEvent(RequestEvent);
    PostMessageA(Window, WM_APP_HANDOFF, 0, 0);
    WaitForSingleObject(FHandOffDone, INFINITE);
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
    SetEvent(FHandOffDone);
}

void TThread::CheckSynchronize()
{
    for (;;) {
        TThread *next;
        {
            std::lock_guard<std::mutex> lock(QueueLock);
            next = QueueHead;
            if (!next)
                return;
            QueueHead = next->FNextPending;
            if (!QueueHead)
                QueueTail = &QueueHead;
            --QueueCount;
        }
        next->RunPending();
    }
}

int TThread::PendingHandOffs()
{
    std::lock_guard<std::mutex> lock(QueueLock);
    return QueueCount;
}

void TThread::WaitForEnd()
{
    HANDLE handles[2] = {FHandle, RequestEvent};
    ++Waiting;
    for (;;) {
        CheckSynchronize();
        DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0)
            break;
        if (r == WAIT_OBJECT_0 + 2) {
            // A message sent from another thread: any peek delivers it. Posted
            // messages stay queued (the filter matches nothing real).
            MSG msg;
            PeekMessageA(&msg, nullptr, WM_APP_HANDOFF, WM_APP_HANDOFF, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (r == WAIT_FAILED) {
            break;
        }
    }
    --Waiting;
    CheckSynchronize();
}
