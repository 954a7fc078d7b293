// Entry point of Kalvex: no command line is read.
#include "app/unitkalvex.h"
#include "transfer/datacopydrag.h"

#include <exception>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        Application.Initialize();
        FormKalvex = new TFormKalvex();
        Application.Run(FormKalvex->Handle, FormKalvex->FirstShow());
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
