// The target files of a search: the files of a folder that match a mask,
// and (recursively) those of its subfolders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TWalkEvents {
    std::function<void(const std::string &path)> File;
    // A folder that could not be listed, with the system's code (optional).
    std::function<void(const std::string &folder, uint32_t code)> Error;
    // Asked before each folder and each file: true ends the walk (optional).
    std::function<bool()> Stop;
};

// Reports the files of folder that match mask - wildcard patterns separated
// by ";", pattern by pattern in the order written, each in listing order -
// then, when recursive, those of each subfolder that is neither hidden nor
// a system folder, depth first. A folder reached again through a link is
// not walked again, so every walk ends; one that cannot be listed is
// reported and passed by.
void WalkTargetFiles(const std::string &folder, const std::string &mask, bool recursive, const TWalkEvents &events);
