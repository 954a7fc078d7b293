// The file source on Windows: one handle with full sharing, positioned reads.
#include "scan/filesource.h"

#include <windows.h>

TFileSource::~TFileSource()
{
    Close();
}

void TFileSource::Close()
{
    if (FHandle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(FHandle));
    FHandle = -1;
}

uint32_t TFileSource::Open(const std::string &path)
{
    Close();
    // No critical-error box (a drive without its medium) for this thread.
    DWORD oldMode = 0;
    const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode) != 0;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (modeSet)
        SetThreadErrorMode(oldMode, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return error ? error : CodeFileNotFound;
    FHandle = reinterpret_cast<intptr_t>(h);
    LARGE_INTEGER size;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        Close();
        return 193;  // ERROR_BAD_EXE_FORMAT: a device or a pipe is no module
    }
    if (!GetFileSizeEx(h, &size)) {
        const DWORD sizeError = GetLastError();
        Close();
        return sizeError ? sizeError : CodeAccessDenied;
    }
    FSize = static_cast<uint64_t>(size.QuadPart);
    return 0;
}

bool TFileSource::ReadAt(uint64_t offset, void *out, uint32_t n)
{
    if (FHandle == -1)
        return false;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(reinterpret_cast<HANDLE>(FHandle), out, n, &got, &at) && got == n;
}
