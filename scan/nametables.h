// Module name tables: the export names or the import names of one module.
#pragma once

#include "scan/imageview.h"
#include "scan/stopcheck.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What an entry is besides its name (bits of TNameEntry::Flags).
const uint8_t NameDelayLoaded = 1;  // an import of the delay-load table
const uint8_t NameForwarded = 2;    // an export whose code lives in another module
const uint8_t NameUnnamed = 4;      // an export that no name points to

// One name of a table. Text is the name, then, after one CR byte, the entry's
// second part: an import's module, or a forwarded export's target
// ("DLL.Function" or "DLL.#ordinal"). The name of an import by ordinal, and
// of an unnamed export, is "%" and the ordinal. NameSize says where the name
// ends, so that a CR inside a hostile name splits nothing.
struct TNameEntry {
    std::string Text;
    uint32_t Number;    // export: index into the address table (ordinal - base); import: Hint, or 0
    uint32_t NameSize;  // the name's bytes at the start of Text
    uint8_t Flags;

    std::string_view Name() const { return std::string_view(Text).substr(0, NameSize); }
    // The second part, or empty.
    std::string_view Detail() const
    {
        return NameSize < Text.size() ? std::string_view(Text).substr(NameSize + 1) : std::string_view();
    }
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

// The walks over a module image. They append in table order and return 0 or
// CodeWalkFault, keeping the entries appended before a fault. stopped, when
// given, is asked every few thousand reads; once it holds, the walk ends
// with CodeWalkStopped.
//
// The export walk lists the named exports in name-table order, then the
// address-table slots that no name points to and that are not zero, in
// index order. An export whose address lies inside the directory is a
// forwarder; its target text must end inside the directory. base, when
// given, receives the ordinal base (an entry's ordinal is its Number plus
// the base).
uint32_t WalkExportNames(const FIImage &image, TDirectory dir, TNameList &list,
                         const TStopCheck &stopped = nullptr, uint32_t *base = nullptr);

// What the import walk reads: the import directory, then the delay-load
// directory, in one budget.
struct TImportTables {
    uint32_t Imports = 0;    // RVA of the import descriptors, 0: none
    uint32_t DelayLoad = 0;  // RVA of the delay-load descriptors, 0: none
    // The lookup tables hold the 64-bit thunks of a PE32+ module (import by
    // ordinal in bit 63) rather than 32-bit ones (bit 31).
    bool Thunks64 = false;
    // An old-style delay-load descriptor (attributes bit 0 clear) holds
    // virtual addresses: the image base is taken off them.
    uint64_t ImageBase = 0;
};
uint32_t WalkImportTables(const FIImage &image, const TImportTables &tables, TNameList &list,
                          const TStopCheck &stopped = nullptr);
// The import directory at dirRva alone.
uint32_t WalkImportNames(const FIImage &image, uint32_t dirRva, TNameList &list, bool thunks64 = false,
                         const TStopCheck &stopped = nullptr);
