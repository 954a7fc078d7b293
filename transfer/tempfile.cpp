#include "transfer/tempfile.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

namespace {

bool IsDeviceName(const char *name)
{
    // The device names count with any extension and with trailing blanks.
    size_t stem = strcspn(name, ".");
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char *d : devices)
        if (stem == 3 && _strnicmp(name, d, 3) == 0)
            return true;
    return stem == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const char *name)
{
    if (!name || !*name || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    for (const char *p = name; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsDBCSLeadByte(c)) {
            if (!p[1])
                return false;  // a lead byte without its trail byte
            ++p;               // the trail byte may be 0x5C or 0x7C, yet it is no "\" or "|"
            continue;
        }
        if (c < 0x20 || strchr("\\/:*?\"<>|", c))
            return false;
    }
    return !IsDeviceName(name);
}

bool MakeTempFolder(const char *tempPath, DWORD first, size_t nameLength, char *folder)
{
    DWORD number = first;
    for (int i = 0; i < MaxTempFolderCandidates; ++i, ++number) {
        // The system's path ends in "\" already; the second one is kept, the
        // file system reads the doubled separator as one.
        char candidate[MAX_PATH + 16];
        const int length = snprintf(candidate, sizeof candidate, "%s\\%lx", tempPath, number);
        if (length < 0 || static_cast<size_t>(length) >= sizeof candidate ||
            static_cast<size_t>(length) > MaxTempFolderLength ||
            nameLength > MaxTempFilePathLength - 1 - length) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        if (GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (CreateDirectoryA(candidate, nullptr)) {
            memcpy(folder, candidate, length);
            return true;
        }
        // A missing or unwritable temporary folder fails the same way every
        // time; only a name taken in the meantime is worth another try.
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    SetLastError(ERROR_FILE_EXISTS);  // every name tried is taken
    return false;
}

void DeleteFolderTree(const char *folder)
{
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = folder;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

HRESULT SetClipboardRetrying(IDataObject *data, const std::function<HRESULT(IDataObject *)> &set)
{
    HRESULT result = set(data);
    for (int i = 0; i < ClipboardRetries && result == CLIPBRD_E_CANT_OPEN; ++i) {
        Sleep(ClipboardRetryPause);
        result = set(data);
    }
    return result;
}
