// Module name tables: the export names or the import names of one module.
#pragma once

#include "scan/imageview.h"
#include "scan/stopcheck.h"

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
// Result code for a walk that a stop request ended.
const uint32_t CodeWalkStopped = 1223;  // ERROR_CANCELLED
// The budget of one walk: every byte it reads from the image plus every byte
// the list holds (texts, entries, spare capacity and, while the list grows,
// its old buffer). A table that needs more overlaps itself - real modules
// stay at a few MB - and ends as a fault, so a walk's work and memory stay
// bounded and far below what the window shares the address space for.
const uint64_t NameWalkByteLimit = 64u << 20;
// The heap block a list entry's text holds beyond the entry, with the heap's
// own overhead; none while the text stays inside its string object.
uint64_t NameTextHeapBytes(const std::string &text);

// The walks over a module image; dirRva is where the directory starts. They
// append in table order and return 0 or CodeWalkFault, keeping the entries
// appended before a fault. stopped, when given, is asked every few thousand
// reads; once it holds, the walk ends with CodeWalkStopped.
// thunks64: the lookup tables hold the 64-bit thunks of a PE32+ module
// (import by ordinal in bit 63) rather than 32-bit ones (bit 31).
// base, when given, receives the export table's ordinal base (an entry's
// ordinal is its Number plus the base).
uint32_t WalkExportNames(const FIImage &image, uint32_t dirRva, TNameList &list,
                         const TStopCheck &stopped = nullptr, uint32_t *base = nullptr);
uint32_t WalkImportNames(const FIImage &image, uint32_t dirRva, TNameList &list, bool thunks64 = false,
                         const TStopCheck &stopped = nullptr);
