#include "scan/targetfiles.h"

#include <windows.h>

#include <cstdint>
#include <set>
#include <utility>

namespace {

// ---- the file system: the only two places that ask it ----

// One entry of a folder listing.
struct TEntry {
    std::string Name;
    bool Directory;
    bool Hidden;  // hidden, system or a volume label: not entered by the walk
};

// Calls each(entry) for every entry of folder (ending in "\") matching
// pattern, in listing order, while it returns true; false when each stopped it.
template <typename F> bool ListEntries(const std::string &folder, const std::string &pattern, F each)
{
    WIN32_FIND_DATAA find;
    HANDLE h = FindFirstFileA((folder + pattern).c_str(), &find);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */;
    bool going = true;
    do
        going = each(TEntry{find.cFileName, (find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                            (find.dwFileAttributes & hidden) != 0});
    while (going && FindNextFileA(h, &find));
    FindClose(h);
    return going;
}

using TDirectoryId = std::pair<uint32_t, uint64_t>;  // volume serial, file index

// Whether path names a directory, and (when asked for and it can be opened)
// its identity, so that one reached again through a link is recognised.
bool Directory(const std::string &path, TDirectoryId *id = nullptr, bool *known = nullptr)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!id)
        return true;
    *known = false;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        *id = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
        *known = true;
    }
    CloseHandle(h);
    return true;
}

// ---- the walk ----

struct TWalk {
    const std::string &Mask;
    TStringList &List;
    const TStopCheck &Stopped;
    std::set<TDirectoryId> Walked;

    bool Stop() const { return Stopped && Stopped(); }

    // False when stopped.
    bool Collect(const std::string &folderText, bool recursive)
    {
        const std::string folder = IncludeTrailingBackslash(folderText);
        if (recursive) {
            // A directory that cannot be opened is walked as found.
            TDirectoryId id;
            bool known = false;
            Directory(folder, &id, &known);
            if (known && !Walked.insert(id).second)
                return true;
        }
        size_t start = 0;
        for (;;) {
            const size_t end = Mask.find(';', start);
            const std::string pattern = Mask.substr(start, end == std::string::npos ? end : end - start);
            if (!pattern.empty() && !ListEntries(folder, pattern, [&](const TEntry &e) {
                    if (!e.Directory)
                        List.push_back(folder + e.Name);
                    return !Stop();
                }))
                return false;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (!recursive)
            return !Stop();
        TStringList subfolders;
        if (!ListEntries(folder, "*.*", [&](const TEntry &e) {
                if (e.Directory && !e.Hidden && e.Name != "." && e.Name != "..")
                    subfolders.push_back(folder + e.Name);
                return !Stop();
            }))
            return false;
        for (const std::string &sub : subfolders)
            if (Stop() || !Collect(sub, true))
                return false;
        return true;
    }
};

}  // namespace

TTargetRequest TargetFiles(const TStringList &files)
{
    TTargetRequest request;
    for (const std::string &path : files)
        request.Sources.push_back({path, false});
    return request;
}

void CollectFiles(const std::string &folder, const std::string &mask, TStringList &list, bool recursive,
                  const TStopCheck &stopped)
{
    TWalk{mask, list, stopped, {}}.Collect(folder, recursive);
}

void CollectTargets(const TTargetRequest &request, TStringList &list, const TStopCheck &stopped)
{
    for (const TTargetSource &source : request.Sources) {
        if (stopped && stopped())
            return;
        if (source.Walk && Directory(source.Path))
            CollectFiles(source.Path, request.Mask, list, request.Recursive, stopped);
        else
            list.push_back(source.Path);
    }
}
