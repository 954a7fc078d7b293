#include "framework/application.h"

#include <commctrl.h>

#include "framework/form.h"
#include "framework/thread.h"

#include <exception>

TApplication Application;

namespace {

const DWORD HandOffSlice = 20;  // ms of hand-offs between two looks at the queue

// Messages after which no state the update rules read can have changed.
bool IsIdleMessage(const MSG &msg)
{
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_TIMER:
    case 0x0118:  // WM_SYSTIMER: the caret's blink
        return false;
    }
    return true;
}

}  // namespace

void TApplication::Initialize()
{
    // A fresh start: a loop ended before (a test's main window) ends no later one.
    FTerminated = false;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

void TApplication::Run(HWND mainWindow, int show)
{
    MainWindow = mainWindow;
    ShowWindow(mainWindow, show == SW_SHOWNORMAL ? SW_SHOWDEFAULT : show);
    UpdateWindow(mainWindow);
    RunUntil([] { return false; });
}

void TApplication::RunUntil(const std::function<bool()> &done)
{
    for (;;) {
        ProcessMessages();
        if (FTerminated || done())
            return;
        TThread::WaitForHandOffOrMessage(QS_ALLINPUT);
    }
}

bool TApplication::PreTranslate(MSG &msg)
{
    if (!msg.hwnd)
        return false;
    auto *form = dynamic_cast<TForm *>(TControl::FromHandle(GetAncestor(msg.hwnd, GA_ROOT)));
    return form && form->PreTranslate(msg);
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        // The hand-off timer is for the system's modal loops: this loop
        // serves right below, and a timer served here for a whole slice
        // would be due again at its end, so the queue would never empty.
        if (msg.message == WM_TIMER && msg.hwnd == TThread::HandOffWindow())
            continue;
        Dispatch(msg);
    }
    // Then the workers' hand-offs, for a slice that ends as soon as input
    // arrives; what they change is seen by the idle pass.
    if (TThread::ServeHandOffs(HandOffSlice) > 0)
        FIdlePending = true;
    Idle();
}

void TApplication::Terminate()
{
    FTerminated = true;
    PostQuitMessage(0);
}

void TApplication::Dispatch(MSG &msg)
{
    if (IsIdleMessage(msg))
        FIdlePending = true;
    try {
        if (PreTranslate(msg))
            return;
    } catch (...) {
        HandleException();
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void TApplication::Idle()
{
    if (!FIdlePending)
        return;
    FIdlePending = false;
    try {
        if (OnIdle)
            OnIdle();
    } catch (...) {
        HandleException();
    }
}

void TApplication::ShowException(const std::string &message)
{
    MessageBoxA(MainWindow, message.c_str(), Title.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const std::exception &e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("");
    }
}
