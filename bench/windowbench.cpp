// Measures the full listing path in the real main window: a search with an
// empty keyword over a folder (default: the system directory), from the
// launch to the summary text, with every row appended to the visible list.
//   kalvex_windowbench.exe [folder]
#include "app/unitkalvex.h"

#include <cstdio>

int main(int argc, char **argv)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    Application.Initialize();
    FormKalvex = new TFormKalvex();
    ShowWindow(FormKalvex->Handle, SW_SHOW);
    Application.ProcessMessages();
    FormKalvex->EditFolder->SetText(argc > 1 ? argv[1] : sys);
    FormKalvex->EditFindText->SetText("");

    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    FormKalvex->ActionFind->Execute();
    while (FormKalvex->IsFinding()) {
        Application.ProcessMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
    Application.ProcessMessages();
    QueryPerformanceCounter(&t1);
    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart);
    const int rows = FormKalvex->ListView->Count();
    std::printf("window listing  rows %7d  %8.3f s  %10.0f rows/s\n", rows, seconds, rows / seconds);
    delete FormKalvex;
    return 0;
}
