// The name cache's files on Windows. The cache's folder texts are UTF-8
// (a user name in %LOCALAPPDATA% may hold characters the ANSI code page
// lacks), so these calls take the "W" entry points.
#include "scan/cachefile.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string &text, UINT codePage)
{
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const std::wstring &wide)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string text(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

HANDLE Handle(intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}

const DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

TCacheFile::~TCacheFile()
{
    Close();
}

uint32_t TCacheFile::Open(const std::string &path, bool create)
{
    Close();
    HANDLE h = CreateFileW(Wide(path, CP_UTF8).c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error ? error : ERROR_FILE_NOT_FOUND;
    }
    // A pipe or a device in the file's place is no cache file.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return ERROR_INVALID_FUNCTION;
    }
    FHandle = reinterpret_cast<intptr_t>(h);
    return 0;
}

void TCacheFile::Close()
{
    if (FHandle != -1)
        CloseHandle(Handle(FHandle));
    FHandle = -1;
}

uint32_t TCacheFile::ReadAt(uint64_t offset, void *out, uint32_t n) const
{
    uint32_t done = 0;
    while (FHandle != -1 && done < n) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD got = 0;
        if (!ReadFile(Handle(FHandle), static_cast<char *>(out) + done, n - done, &got, &at) || got == 0)
            break;
        done += got;
    }
    return done;
}

bool TCacheFile::WriteAt(uint64_t offset, const void *data, uint32_t n)
{
    uint32_t done = 0;
    while (FHandle != -1 && done < n) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD put = 0;
        if (!WriteFile(Handle(FHandle), static_cast<const char *>(data) + done, n - done, &put, &at) || put == 0)
            return false;
        done += put;
    }
    return done == n;
}

uint64_t TCacheFile::Size() const
{
    LARGE_INTEGER size;
    return FHandle != -1 && GetFileSizeEx(Handle(FHandle), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

TCacheLock::~TCacheLock()
{
    Release();
}

bool TCacheLock::Take(const std::string &path)
{
    Release();
    HANDLE h = CreateFileW(Wide(path, CP_UTF8).c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // A byte-range lock belongs to the handle: it ends with the process.
    for (int attempt = 0; attempt < 200; ++attempt) {
        OVERLAPPED at = {};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            FHandle = reinterpret_cast<intptr_t>(h);
            return true;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
            break;
        Sleep(1);
    }
    CloseHandle(h);
    return false;
}

void TCacheLock::Release()
{
    if (FHandle != -1)
        CloseHandle(Handle(FHandle));  // releases the lock
    FHandle = -1;
}

std::string DefaultCacheFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? CachePath(Utf8(std::wstring(buffer, n)), "Kalvex") : std::string();
}

std::string CacheFolderFromText(const std::string &text)
{
    return Utf8(Wide(text, CP_ACP));
}

bool MakeCacheFolder(const std::string &folder)
{
    const std::wstring wide = Wide(folder, CP_UTF8);
    if (wide.empty())
        return false;
    // Each parent in turn; "C:\" and "\\server\share\" fail harmlessly.
    for (size_t at = wide.find_first_of(L"\\/", 1); at != std::wstring::npos; at = wide.find_first_of(L"\\/", at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(wide.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CachePath(const std::string &folder, const char *name)
{
    // UTF-8 has no trail byte that reads as a separator.
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

bool ReplaceCacheFile(const std::string &from, const std::string &to)
{
    const std::wstring source = Wide(from, CP_UTF8), target = Wide(to, CP_UTF8);
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    // A file that is open (here or in another program) cannot be replaced,
    // but it can be renamed and deleted, as its handles share deletion: it
    // lives on under another name until its last handle closes.
    const std::wstring aside = target + L".old-" + std::to_wstring(CacheUniqueNumber());
    if (!MoveFileExW(target.c_str(), aside.c_str(), 0))
        return false;
    if (!MoveFileExW(source.c_str(), target.c_str(), 0)) {
        MoveFileExW(aside.c_str(), target.c_str(), 0);
        return false;
    }
    DeleteFileW(aside.c_str());
    return true;
}

bool RemoveCacheFile(const std::string &path)
{
    return DeleteFileW(Wide(path, CP_UTF8).c_str()) != 0;
}

uint64_t CacheUniqueNumber()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (uint64_t(GetCurrentProcessId()) << 40) ^ uint64_t(counter.QuadPart);
}

std::string CacheKeyBase()
{
    return std::string();
}

std::string CacheKeyPath(const std::string &path, const std::string &)
{
    // The module paths are in the ANSI code page; the full path as the
    // system completes it, upper-cased as NTFS compares names.
    const std::wstring wide = Wide(path, CP_ACP);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(n > 0 ? n : 1, L'\0');
    const DWORD got = n > 0 ? GetFullPathNameW(wide.c_str(), n, &full[0], nullptr) : 0;
    full.resize(got > 0 && got < n ? got : 0);
    if (full.empty())
        full = wide;
    CharUpperBuffW(&full[0], static_cast<DWORD>(full.size()));
    return Utf8(full);
}
