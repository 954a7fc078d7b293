// The target files of a search: the file mask table, the open dialog's filter
// and the folder walk. Plain functions over texts and the file system, so
// they work before (and without) the main window.
#pragma once

#include "framework/textutil.h"

#include <string>

struct TFileMask {
    const char *Label;
    const char *Mask;  // wildcard patterns separated by ";"
};

// The four rows behind the mask box and the open dialog's filter; a row's
// index is the stored "FileMaskIndex".
extern const TFileMask FileMaskTable[4];
const int FileMaskCount = 4;

// "label (mask)": the text of a mask box entry.
std::string FileMaskEntryText(const TFileMask &row);
// The open dialog's filter: entry text and mask of every row, all parts
// joined by "|", with no bar at either end.
std::string FileMaskFilter();
// The mask of row index, or of row 0 when index is no row (no selection).
std::string FileMaskOf(int index);

// Appends to list the files of folder that match mask, pattern by pattern in
// the order written, then (when recursive) the files of each subfolder that
// is neither hidden nor system, depth first. Never fails: a folder that cannot
// be listed adds nothing. A directory reached twice through links is not
// walked again, so every walk ends.
void CollectFiles(const std::string &folder, const std::string &mask, TStringList &list,
                  bool recursive);
