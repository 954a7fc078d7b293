#include "find/platform.h"

#include "framework/textutil.h"
#include "scan/errorstring.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

void FindUpperCase(std::string &text)
{
    text = AnsiUpperCase(std::move(text));
}

std::string FindFileName(const std::string &path)
{
    // ExtractFileName's rule with "/" a separator too, as the system takes
    // it in a path.
    const size_t d = LastPathDelimiter(path, "\\/:");
    return d == std::string::npos ? path : path.substr(d + 1);
}

std::string FindErrorText(uint32_t code)
{
    // The reader's own two codes in its words (the system's text for 193
    // holds a "%1"); the system's text otherwise, without its full stop,
    // and its code.
    if (code == 193)
        return "not a PE32 or PE32+ module";
    if (code == 998)
        return "the module's name table is damaged (it leads outside the module or is too large)";
    std::string text = ErrorText(code);
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return (text.empty() ? "error" : text) + " (" + std::to_string(code) + ")";
}

TWriteFailure LastWriteFailure()
{
    // msvcrt sets errno from the system's code, which it keeps in _doserrno.
    // A pipe whose reader has gone fails with ERROR_NO_DATA or
    // ERROR_BROKEN_PIPE (both EPIPE); under Wine 8 a Unix pipe fails with
    // ERROR_PIPE_NOT_CONNECTED, which msvcrt turns into EINVAL.
    const int error = errno;
    const unsigned long system = _doserrno;
    const bool closed = error == EPIPE || system == ERROR_NO_DATA || system == ERROR_BROKEN_PIPE ||
                        system == ERROR_PIPE_NOT_CONNECTED;
    return {closed, error != 0 ? std::strerror(error) : "an unknown error"};
}

void PrepareStreams()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);  // a NUL-separated list as it is
    // No critical-error box (a drive without its medium): the error is reported.
    SetErrorMode(SEM_FAILCRITICALERRORS);
}

void PrepareMemory()
{
    // Nothing to do: the system heap takes blocks above its virtual-memory
    // threshold (about 512 KiB) straight from VirtualAlloc and frees them to it.
}

uint32_t FindOpenErrorCode()
{
    // msvcrt keeps the system's code of the failed CreateFile.
    return _doserrno != 0 ? static_cast<uint32_t>(_doserrno) : 2;
}

bool StdoutTakesColour()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    const DWORD escapes = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING (Windows 10)
    return GetConsoleMode(out, &mode) && ((mode & escapes) || SetConsoleMode(out, mode | escapes));
}

bool StdoutIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool ProgressWanted()
{
    // A process has one console: stdout on a console is stderr's.
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0 && !StdoutIsTerminal();
}

namespace {

volatile LONG ProgressWidth = 0;

BOOL WINAPI EraseOnBreak(DWORD)
{
    // Runs on a thread of its own; the default handler then ends the process.
    const LONG width = InterlockedExchange(&ProgressWidth, 0);
    if (width > 0) {
        // Appended, not "\r" + string: GCC 12 warns falsely (-Wrestrict) about that.
        std::string line(1, '\r');
        line.append(static_cast<size_t>(width), ' ').append(1, '\r');
        DWORD written;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    return FALSE;
}

}  // namespace

void SetProgressWidth(size_t width)
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        SetConsoleCtrlHandler(EraseOnBreak, TRUE);
    }
    InterlockedExchange(&ProgressWidth, static_cast<LONG>(width));
}

FILE *OpenSpool()
{
    // msvcrt's tmpfile() writes to the drive's root, which is often denied.
    char folder[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "kvf", 0, path))
        return nullptr;
    return std::fopen(path, "w+bD");  // D: deleted when closed
}
