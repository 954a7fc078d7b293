#include "scan/targetwalk.h"

#include "scan/filesource.h"

#include <set>
#include <utility>
#include <vector>

namespace {

using TFolderId = std::pair<uint64_t, uint64_t>;

class TWalk {
public:
    TWalk(const std::string &mask, bool recursive, const TWalkEvents &events)
        : FMask(mask), FRecursive(recursive), FEvents(events)
    {
    }

    void Folder(const std::string &folder)
    {
        if (Stopped())
            return;
        TFolderId id;
        if (FRecursive && FolderIdentity(folder, id.first, id.second) && !FWalked.insert(id).second)
            return;
        // A folder that cannot be listed is reported once, whichever listing failed.
        bool reported = false;
        std::vector<TFolderEntry> entries;
        auto list = [&](const std::string &pattern) {
            entries.clear();
            const uint32_t code = ListFolder(folder, pattern, entries);
            if (code != 0 && !reported && FEvents.Error)
                FEvents.Error(folder, code);
            reported = reported || code != 0;
        };
        size_t start = 0;
        for (;;) {
            const size_t end = FMask.find(';', start);
            const std::string pattern = FMask.substr(start, end == std::string::npos ? end : end - start);
            entries.clear();
            if (!pattern.empty())
                list(pattern);
            for (const TFolderEntry &e : entries) {
                if (Stopped())
                    return;
                if (!e.Folder)
                    FEvents.File(JoinPath(folder, e.Name));
            }
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (!FRecursive)
            return;
        list("*.*");
        for (const TFolderEntry &e : entries)
            if (e.Folder && !e.Hidden && e.Name != "." && e.Name != "..")
                Folder(JoinPath(folder, e.Name));
    }

private:
    bool Stopped() const { return FEvents.Stop && FEvents.Stop(); }

    const std::string &FMask;
    const bool FRecursive;
    const TWalkEvents &FEvents;
    std::set<TFolderId> FWalked;
};

}  // namespace

void WalkTargetFiles(const std::string &folder, const std::string &mask, bool recursive, const TWalkEvents &events)
{
    TWalk(mask, recursive, events).Folder(folder);
}
