#include "app/targetfiles.h"

#include <windows.h>

#include <set>
#include <utility>

const TFileMask FileMaskTable[4] = {
    {"DLLファイル", "*.dll"},
    {"実行ファイル", "*.exe"},
    {"DLLおよび実行ファイル", "*.dll;*.exe"},
    {"すべてのファイル", "*.*"},
};

std::string FileMaskEntryText(const TFileMask &row)
{
    return std::string(row.Label) + " (" + row.Mask + ")";
}

std::string FileMaskFilter()
{
    std::string filter;
    for (const TFileMask &row : FileMaskTable) {
        if (!filter.empty())
            filter += "|";
        filter += FileMaskEntryText(row) + "|" + row.Mask;
    }
    return filter;
}

std::string FileMaskOf(int index)
{
    return FileMaskTable[index >= 0 && index < FileMaskCount ? index : 0].Mask;
}

namespace {

using TDirectoryId = std::pair<DWORD, uint64_t>;  // volume serial, file index

// The identity of a directory, so that one reached again through a link is
// recognised; false when it cannot be opened (it is then walked as found).
bool DirectoryId(const std::string &folder, TDirectoryId &id)
{
    HANDLE h = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return false;
    id = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

// Calls each(entry) for every entry of folder matching pattern, in listing order.
template <typename F> void ListEntries(const std::string &folder, const std::string &pattern, F each)
{
    WIN32_FIND_DATAA find;
    HANDLE h = FindFirstFileA((folder + pattern).c_str(), &find);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
        each(find);
    while (FindNextFileA(h, &find));
    FindClose(h);
}

void Collect(const std::string &folderText, const std::string &mask, TStringList &list, bool recursive,
             std::set<TDirectoryId> &walked)
{
    const std::string folder = IncludeTrailingBackslash(folderText);
    if (recursive) {
        TDirectoryId id;
        if (DirectoryId(folder, id) && !walked.insert(id).second)
            return;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = mask.find(';', start);
        const std::string pattern = mask.substr(start, end == std::string::npos ? end : end - start);
        if (!pattern.empty())
            ListEntries(folder, pattern, [&](const WIN32_FIND_DATAA &e) {
                if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    list.push_back(folder + e.cFileName);
            });
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!recursive)
        return;
    const DWORD skipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */;
    TStringList subfolders;
    ListEntries(folder, "*.*", [&](const WIN32_FIND_DATAA &e) {
        const std::string name = e.cFileName;
        if ((e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(e.dwFileAttributes & skipped) &&
            name != "." && name != "..")
            subfolders.push_back(folder + name);
    });
    for (const std::string &sub : subfolders)
        Collect(sub, mask, list, true, walked);
}

}  // namespace

void CollectFiles(const std::string &folder, const std::string &mask, TStringList &list, bool recursive)
{
    std::set<TDirectoryId> walked;
    Collect(folder, mask, list, recursive, walked);
}
