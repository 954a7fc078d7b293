#include "find/platform.h"

#include "framework/textutil.h"
#include "scan/errorstring.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

void FindUpperCase(std::string &text)
{
    text = AnsiUpperCase(std::move(text));
}

std::string FindFileName(const std::string &path)
{
    return ExtractFileName(path);
}

std::string FindErrorText(uint32_t code)
{
    const std::string text = ErrorText(code);
    return text.empty() ? "error " + std::to_string(code) : text;
}

void PrepareStreams()
{
    _setmode(_fileno(stdout), _O_BINARY);
    // No critical-error box (a drive without its medium): the error is reported.
    SetErrorMode(SEM_FAILCRITICALERRORS);
}

bool StderrIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

FILE *OpenSpool()
{
    // msvcrt's tmpfile() writes to the drive's root, which is often denied.
    char folder[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "kvf", 0, path))
        return nullptr;
    return std::fopen(path, "w+bD");  // D: deleted when closed
}
