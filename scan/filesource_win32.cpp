// The file source on Windows: one handle with full sharing, positioned reads.
#include "scan/filesource.h"

#include <windows.h>

#include <cwchar>

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
    // Each call here is a round trip to the server under Wine, so there are
    // as few as can be: no type query (a pipe or a device has no size and
    // fails below) and no error mode (the reading thread sets its own once).
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error ? error : CodeFileNotFound;
    }
    FHandle = reinterpret_cast<intptr_t>(h);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        const DWORD sizeError = GetLastError();
        Close();
        return sizeError ? sizeError : CodeAccessDenied;
    }
    FSize = static_cast<uint64_t>(size.QuadPart);
    return 0;
}

namespace {

int64_t FileTimeValue(const FILETIME &t)
{
    return static_cast<int64_t>((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

TFileStamp StampOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME &written, const FILETIME &created)
{
    TFileStamp stamp;
    stamp.Size = (uint64_t(sizeHigh) << 32) | sizeLow;
    stamp.Modified = FileTimeValue(written);
    stamp.Changed = FileTimeValue(created);
    // A listing tells a link's own times, not those of the file it leads to
    // and that an open reads: a link has no stamp.
    stamp.Known = !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    return stamp;
}

}  // namespace

bool FileStamp(const std::string &path, TFileStamp &stamp)
{
    // The attributes the folder keeps for the file, as a listing gives them;
    // the file is not opened.
    WIN32_FILE_ATTRIBUTE_DATA data;
    stamp = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
                ? StampOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
                          data.ftCreationTime)
                : TFileStamp();
    return stamp.Known;
}

bool TFileSource::Stamp(TFileStamp &stamp) const
{
    // Asked only when a read is to be kept: one more call on the handle,
    // which an open for a search without the cache does not pay.
    FILETIME created, written;
    stamp = FHandle != -1 && GetFileTime(reinterpret_cast<HANDLE>(FHandle), &created, nullptr, &written)
                ? StampOf(0, DWORD(FSize >> 32), DWORD(FSize), written, created)
                : TFileStamp();
    return stamp.Known;
}

bool TFileSource::ReadAt(uint64_t offset, void *out, uint32_t n)
{
    if (FHandle == -1)
        return false;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(FHandle), out, n, &got, &at)) {
        const DWORD error = GetLastError();
        // Reading at the end of the file fails with ERROR_HANDLE_EOF.
        return ReadFailed(error ? error : CodeHandleEof);
    }
    return got == n || ReadFailed(CodeHandleEof);  // the file shrank
}

namespace {

// text in the ANSI code page as UTF-16.
std::wstring Wide(const std::string &text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// name in the ANSI code page; false when a character has no exact form
// there (the system would write "?" or a look-alike, "u" for "u umlaut",
// which names no file or another one).
bool Narrow(const wchar_t *name, std::string &text)
{
    // A listed name holds at most MAX_PATH UTF-16 units, each at most four
    // bytes in any ANSI code page, so one call into a buffer of that size.
    // UTF-8 as the ANSI code page holds every character, and the system
    // refuses the best-fit flag and the lossy report for it.
    char buffer[4 * MAX_PATH + 1];
    const bool utf8 = GetACP() == CP_UTF8;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, name, -1, buffer, sizeof buffer,
                                      nullptr, utf8 ? nullptr : &lossy);
    text.assign(buffer, n > 0 ? n - 1 : 0);
    return n > 0 && !lossy;
}

// The name a listed entry is reached by: its long name, or its short (8.3)
// name when the long one has no exact ANSI form. Without either the lossy
// name stays, and opening or listing it fails with the system's code.
std::string ReachableName(const WIN32_FIND_DATAW &find)
{
    std::string name;
    if (Narrow(find.cFileName, name))
        return name;
    std::string shortName;
    return find.cAlternateFileName[0] && Narrow(find.cAlternateFileName, shortName) ? shortName : name;
}

}  // namespace

uint32_t ListFolder(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                    bool)
{
    // Listed in UTF-16, so that a name the ANSI code page cannot hold is
    // known as such rather than turned into a look-alike.
    WIN32_FIND_DATAW find;
    HANDLE h = FindFirstFileW(Wide(JoinPath(folder, pattern)).c_str(), &find);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Nothing matches: an empty listing, not a failure.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    const DWORD skipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */;
    // The stamps come with every listing: the find data holds them.
    do
        entries.push_back({ReachableName(find), (find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (find.dwFileAttributes & skipped) != 0,
                           (find.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                           StampOf(find.dwFileAttributes, find.nFileSizeHigh, find.nFileSizeLow,
                                   find.ftLastWriteTime, find.ftCreationTime)});
    while (FindNextFileW(h, &find));
    // The listing ends with ERROR_NO_MORE_FILES; anything else cut it short.
    const DWORD error = GetLastError();
    FindClose(h);
    return error == ERROR_NO_MORE_FILES ? 0 : error ? error : ERROR_GEN_FAILURE;
}

bool FolderIdentity(const std::string &folder, uint64_t &volume, uint64_t &file)
{
    HANDLE h = CreateFileA(folder.empty() ? "." : folder.c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return false;
    volume = info.dwVolumeSerialNumber;
    file = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return file != 0;  // 0: the file system keeps no file numbers
}

bool IsFolder(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    // The last byte is a separator only if it is no trail byte of a
    // double-byte character.
    bool separator = false;
    for (size_t i = 0; i < folder.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folder[i]);
        if (IsDBCSLeadByte(c) && i + 1 < folder.size()) {
            ++i;
            separator = false;
        } else {
            separator = c == '\\';
        }
    }
    return separator ? folder + name : folder + "\\" + name;
}
