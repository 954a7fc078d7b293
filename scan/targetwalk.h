// The target files of a search: the files of a folder that match a mask,
// and (recursively) those of its subfolders.
#pragma once

#include "scan/filesource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TWalkEvents {
    std::function<void(const std::string &path)> File;
    // Instead of File when set: the file with its stamp from the listing.
    std::function<void(const std::string &path, const TFileStamp &stamp)> StampedFile;
    // A folder that could not be listed, with the system's code (optional).
    std::function<void(const std::string &folder, uint32_t code)> Error;
    // Asked before each folder and each file: true ends the walk (optional).
    std::function<bool()> Stop;
    // Whether a recursive walk enters links to folders (kalvex-find's -L);
    // when not, they are passed by.
    bool FollowLinks = true;
};

// The folder access of a walk: the system's (ListFolder, FolderIdentity), or
// a fake in tests.
class FIFolders {
public:
    // stamps: each file's stamp is wanted too (a fake may leave it empty).
    virtual uint32_t List(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                          bool stamps) = 0;
    virtual bool Identity(const std::string &folder, uint64_t &volume, uint64_t &file) = 0;

protected:
    ~FIFolders() = default;
};
FIFolders &SystemFolders();

// How deep a recursive walk goes below folders whose identity the file system
// cannot give: without it a link cycle cannot be told from a deep tree.
const int MaxDepthWithoutIdentity = 64;
// The code a folder cut off by that depth is reported with.
const uint32_t CodeTooManyLinks = 1921;  // ERROR_CANT_RESOLVE_FILENAME

// Reports the files of folder that match mask - wildcard patterns separated
// by ";", pattern by pattern in the order written, each in listing order, a
// file that several patterns match once, at the first - then, when
// recursive, those of each subfolder that is neither hidden nor a system
// folder, depth first. A folder reached again through a link is not walked
// again, so every walk ends (a folder without an identity is walked at most
// MaxDepthWithoutIdentity levels deep); one that cannot be listed, or whose
// listing failed midway, is reported and passed by.
void WalkTargetFiles(const std::string &folder, const std::string &mask, bool recursive, const TWalkEvents &events,
                     FIFolders &folders = SystemFolders());
