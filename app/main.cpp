// Entry point of Kalvex: no command line is read.
#include "app/unitkalvex.h"

#include <exception>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        Application.Initialize();
        FormKalvex = new TFormKalvex();
        Application.Run(FormKalvex->Handle);
        delete FormKalvex;
        FormKalvex = nullptr;
    } catch (const std::exception &e) {
        Application.ShowException(e.what());
    } catch (...) {
        Application.ShowException("");
    }
    return 0;
}
