// The target files of a search: a request names files and folders, and the
// folder walk of the core (scan/targetwalk.h) turns it into the ordered list
// of paths that the search reads. Runs on the search worker; a stop request
// ends a walk at its next entry.
#pragma once

#include "framework/textutil.h"
#include "scan/filesource.h"
#include "scan/stopcheck.h"

#include <functional>
#include <string>
#include <vector>

// One path a launch names: a file, or a folder to walk.
struct TTargetSource {
    std::string Path;
    // True: a path that names a directory is walked with the mask; any other
    // path is a target as it is. False: the path is a target as it is.
    bool Walk = false;
};

struct TTargetRequest {
    std::vector<TTargetSource> Sources;
    std::string Mask;  // wildcard patterns separated by ";"
    bool Recursive = false;
};

// A request for these files, as they are.
TTargetRequest TargetFiles(const TStringList &files);

// Appends to list the files of folder that match mask, pattern by pattern in
// the order written, then (when recursive) the files of each subfolder that
// is neither hidden nor system, depth first. Never fails: a folder that cannot
// be listed adds nothing. A directory reached twice through links is not
// walked again, so every walk ends. stopped is asked before each folder and
// each file. stamps, when given, receives each file's stamp, in step with list.
void CollectFiles(const std::string &folder, const std::string &mask, TStringList &list, bool recursive,
                  const TStopCheck &stopped = nullptr, std::vector<TFileStamp> *stamps = nullptr);

// Appends the files of each source in order: the walk of a folder to walk,
// else the path itself (whose stamp, when asked for, is taken by its path).
void CollectTargets(const TTargetRequest &request, TStringList &list, const TStopCheck &stopped = nullptr,
                    std::vector<TFileStamp> *stamps = nullptr);
