// The file masks of a search: the table behind the mask box and the open
// dialog's filter. Plain functions over texts, so they work before (and
// without) the main window. The folder walk is the worker's (scan/).
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
