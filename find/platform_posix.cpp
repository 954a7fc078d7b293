#include "find/platform.h"

#include "scan/filesource.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

void FindUpperCase(std::string &text)
{
    // Without a branch per byte: every name of every file passes here.
    for (char &c : text)
        c = static_cast<char>(c - ((static_cast<unsigned char>(c - 'a') < 26) << 5));
}

std::string FindFileName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FindErrorText(uint32_t code)
{
    // The codes of the reader and of the file access, in their Win32
    // numbering, in the words strerror gives their errno (as grep and ls
    // write them) where there is one.
    switch (code) {
    case 1: return "not a regular file (a pipe, socket or device)";
    case 2: return "No such file or directory";
    case 3: return "Not a directory";
    case 4: return "Too many open files";
    case 5: return "Permission denied";
    case 8: return "Cannot allocate memory";
    case 21: return "the device is not ready";
    case 23: return "a data error on the device";
    case 30: return "the device cannot be read";
    case 31: return "the file cannot be read";
    case 32: return "Device or resource busy";
    case 38: return "the file ended early (it shrank while it was read)";
    case 193: return "not a PE32 or PE32+ module";
    case 206: return "File name too long";
    case 998: return "the module's name table is damaged (it leads outside the module or is too large)";
    case 1117: return "Input/output error";
    case 1223: return "the read was stopped";
    case 1921: return "Too many levels of symbolic links";
    default: return "error " + std::to_string(code);
    }
}

TWriteFailure LastWriteFailure()
{
    const int error = errno;
    return {error == EPIPE, error != 0 ? std::strerror(error) : "an unknown error"};
}

void PrepareStreams()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void PrepareMemory()
{
#ifdef __GLIBC__
    // glibc raises its threshold for such blocks once a large one is freed
    // and then serves them from per-thread arenas that keep their peak:
    // sixteen files of 200,000 rows each peaked at 104 - 128 MB with -j 4
    // (the jobs held at most 64 MiB), 52 - 61 MB with a fixed threshold.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

uint32_t FindOpenErrorCode()
{
    return SystemCode(errno);
}

bool StdoutIsTerminal()
{
    return isatty(STDOUT_FILENO) != 0;
}

bool StdoutTakesColour()
{
    return StdoutIsTerminal();
}

bool ProgressWanted()
{
    if (!isatty(STDERR_FILENO))
        return false;
    struct stat out, err;
    return !isatty(STDOUT_FILENO) || fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0 ||
           out.st_rdev != err.st_rdev;
}

namespace {

std::atomic<size_t> ProgressWidth{0};

void EraseAndEnd(int signal)
{
    // Only async-signal-safe calls: write, signal, raise.
    static const char blanks[] = "                                                                                ";
    size_t width = ProgressWidth.load();
    if (width > 0) {
        (void)!::write(STDERR_FILENO, "\r", 1);
        for (; width > 0;) {
            const size_t n = width < sizeof blanks - 1 ? width : sizeof blanks - 1;
            (void)!::write(STDERR_FILENO, blanks, n);
            width -= n;
        }
        (void)!::write(STDERR_FILENO, "\r", 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void SetProgressWidth(size_t width)
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            std::signal(s, EraseAndEnd);
    }
    ProgressWidth.store(width);
}

FILE *OpenSpool()
{
    return std::tmpfile();
}
