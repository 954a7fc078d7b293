// TApplication: initialisation, the message loop with its idle notification,
// and the standard error display.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class TApplication {
public:
    // Common controls, OLE-free; called once before the first window. Clears
    // the terminated state.
    void Initialize();
    // Runs the message loop until Terminate; shows mainWindow first with
    // show (a normal show leaves the choice to whoever started the program).
    void Run(HWND mainWindow, int show = SW_SHOWNORMAL);
    // Processes the messages waiting now, then the workers' hand-offs (for a
    // short slice that input cuts short), then the idle pass they lead to;
    // never blocks for long.
    void ProcessMessages();
    // Runs the loop until done() holds or the program ends: the waiting
    // messages, the idle pass, then a wait for the next. Modal loops use it.
    void RunUntil(const std::function<bool()> &done);
    // Offers a message to the form it belongs to (key preview, shortcuts,
    // tab navigation) before it is translated; true when consumed.
    bool PreTranslate(MSG &msg);
    // Ends the message loop.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // The standard error display: a message box owned by the main window.
    void ShowException(const std::string &message);
    // Called by every window procedure for an exception that escaped a
    // handler: shown, and the loop goes on.
    void HandleException();

    // Runs once each time the queue has become empty after messages that may
    // change state (not mouse moves, paints or timers).
    std::function<void()> OnIdle;

    HWND MainWindow = nullptr;
    std::string Title = "Kalvex";

private:
    void Dispatch(MSG &msg);
    void Idle();

    bool FTerminated = false;
    bool FIdlePending = true;
};

extern TApplication Application;
