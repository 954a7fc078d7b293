// Module name tables: the export names or the import names of one PE32 module.
#pragma once

#include "scan/imageview.h"

#include <cstdint>
#include <string>
#include <vector>

// One name of a table. An import entry joins the function part ("%" and the
// ordinal for an import by ordinal) and the module name with one CR byte.
struct TNameEntry {
    std::string Text;
    uint32_t Number;  // export: raw ordinal-table value; import: Hint, or 0
};
using TNameList = std::vector<TNameEntry>;

const char NameSeparator = '\r';
// Result code for a walk that met a bad RVA or a table it cannot hold.
const uint32_t CodeWalkFault = 998;  // ERROR_NOACCESS
// A table whose entries would take more than this much memory overlaps
// itself (real modules stay far below); it ends as a fault rather than
// exhausting the address space shared with the window.
const uint64_t NameListByteLimit = 256u << 20;

// The walks over a module image; dirRva is where the directory starts. They
// append in table order and return 0 or CodeWalkFault, keeping the entries
// appended before a fault.
uint32_t WalkExportNames(const TImageView &image, uint32_t dirRva, TNameList &list);
uint32_t WalkImportNames(const TImageView &image, uint32_t dirRva, TNameList &list);

// Maps the module at path as an image without running it, reads its export
// table (exportTable true) or import table into list and releases it.
// Returns 0, the loader's error code, the last error after a failed directory
// lookup, or CodeWalkFault.
uint32_t ReadFunctionNames(const std::string &path, bool exportTable, TNameList &list);
