#include "scan/targetwalk.h"

#include <set>
#include <utility>

namespace {

class TSystemFolders : public FIFolders {
public:
    uint32_t List(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                  bool stamps) override
    {
        return ListFolder(folder, pattern, entries, stamps);
    }
    bool Identity(const std::string &folder, uint64_t &volume, uint64_t &file) override
    {
        return FolderIdentity(folder, volume, file);
    }
};

using TFolderId = std::pair<uint64_t, uint64_t>;

class TWalk {
public:
    TWalk(const std::string &mask, bool recursive, const TWalkEvents &events, FIFolders &folders)
        : FMask(mask), FRecursive(recursive), FEvents(events), FFolders(folders)
    {
    }

    void Folder(const std::string &folder, int depth)
    {
        if (Stopped())
            return;
        // A folder reached again ends a cycle; without an identity only the
        // depth can.
        bool reported = false;
        TFolderId id;
        if (FRecursive && FFolders.Identity(folder, id.first, id.second)) {
            if (!FWalked.insert(id).second)
                return;
        } else if (depth >= MaxDepthWithoutIdentity) {
            Report(folder, CodeTooManyLinks, reported);
            return;
        }
        // A folder that cannot be listed is reported once, whichever listing failed.
        std::vector<TFolderEntry> entries;
        auto list = [&](const std::string &pattern, bool stamps) {
            entries.clear();
            const uint32_t code = FFolders.List(folder, pattern, entries, stamps);
            if (code != 0)
                Report(folder, code, reported);
        };
        // Names already reported by an earlier pattern of the mask.
        std::set<std::string> seen;
        const bool severalPatterns = FMask.find(';') != std::string::npos;
        size_t start = 0;
        for (;;) {
            const size_t end = FMask.find(';', start);
            const std::string pattern = FMask.substr(start, end == std::string::npos ? end : end - start);
            entries.clear();
            if (!pattern.empty())
                list(pattern, bool(FEvents.StampedFile));
            for (const TFolderEntry &e : entries) {
                if (Stopped())
                    return;
                if (e.Folder || (severalPatterns && !seen.insert(e.Name).second))
                    continue;
                if (FEvents.StampedFile)
                    FEvents.StampedFile(JoinPath(folder, e.Name), e.Stamp);
                else
                    FEvents.File(JoinPath(folder, e.Name));
            }
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (!FRecursive)
            return;
        list("*.*", false);
        for (const TFolderEntry &e : entries)
            if (e.Folder && !e.Hidden && (!e.Link || FEvents.FollowLinks) && e.Name != "." && e.Name != "..")
                Folder(JoinPath(folder, e.Name), depth + 1);
    }

private:
    bool Stopped() const { return FEvents.Stop && FEvents.Stop(); }
    void Report(const std::string &folder, uint32_t code, bool &reported)
    {
        if (!reported && FEvents.Error)
            FEvents.Error(folder, code);
        reported = true;
    }

    const std::string &FMask;
    const bool FRecursive;
    const TWalkEvents &FEvents;
    FIFolders &FFolders;
    std::set<TFolderId> FWalked;
};

}  // namespace

FIFolders &SystemFolders()
{
    static TSystemFolders folders;
    return folders;
}

void WalkTargetFiles(const std::string &folder, const std::string &mask, bool recursive, const TWalkEvents &events,
                     FIFolders &folders)
{
    TWalk(mask, recursive, events, folders).Folder(folder, 0);
}
