// Entry point of Kalvex: no command line is read.
#include "app/unitkalvex.h"
#include "transfer/datacopydrag.h"

#include <atomic>
#include <exception>

namespace {

// The main window while the message loop runs, for the console handler.
std::atomic<HWND> MainWindow{nullptr};

// Ctrl+C or Ctrl+Break in a console the program was started from (under
// Wine: the terminal of `make run`). Called on a thread of its own: the
// window is asked to close, as its exit command does, so that the settings
// are saved. Before and after the loop the default handler ends the process.
BOOL WINAPI ConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    const HWND window = MainWindow.load();
    return window && PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    try {
        Application.Initialize();
        FormKalvex = new TFormKalvex();
        MainWindow = FormKalvex->Handle;
        Application.Run(FormKalvex->Handle, FormKalvex->FirstShow());
        MainWindow = nullptr;
        delete FormKalvex;
        FormKalvex = nullptr;
    } catch (const std::exception &e) {
        Application.ShowException(e.what());
    } catch (...) {
        Application.ShowException("");
    }
    // After the window: pending payloads, clipboard flush (the texts stay
    // usable after the program ends), OLE, the temporary folder.
    FreeDataCopyDrag();
    return 0;
}
