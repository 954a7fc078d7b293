// The result rows of one module: the entries of its name table that contain
// the keyword, each turned into the four texts of a row.
#pragma once

#include "scan/nametables.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TResultRow {
    std::string Name;    // the exported name, or an import's function part
    std::string Number;  // decimal: the export ordinal-table value, or the hint
    std::string Module;  // export: the file-name part of Path; import: the imported module
    std::string Path;    // the file read
    std::string Forwarder;  // a forwarded export's target, or empty
    bool Delay = false;     // an import of the delay-load table
};
using TResultRows = std::vector<TResultRow>;

// The keyword test of a name: any of the keywords, a byte-wise substring
// search (exact: the whole name), after upper-casing the name (a copy, with
// upper) when the keywords are matched without regard to case (they are then
// upper-cased once, here). An empty keyword matches all but exactly. Usable
// from several threads at once.
class TNameMatch {
public:
    using TUpper = void (*)(std::string &);
    TNameMatch(std::vector<std::string> keywords, bool ignoreCase, TUpper upper, bool exact = false);
    TNameMatch(const std::string &keyword, bool ignoreCase, TUpper upper)
        : TNameMatch(std::vector<std::string>{keyword}, ignoreCase, upper)
    {
    }
    bool operator()(std::string_view name) const;
    // Whether a keyword matches name; if so, where the earliest match starts
    // and how long it is (the whole name for an exact match). Upper-casing
    // keeps every byte in its place, so the match lies at the name's bytes.
    bool Find(std::string_view name, size_t &start, size_t &length) const;

private:
    std::vector<std::string> FKeywords;  // upper-cased when case does not count
    TUpper FUpper;                       // null: case counts
    bool FExact;
    bool FMatchesAll;  // an empty keyword, not exact
};

// The name of an entry (an import's function part) and, for an import, the
// imported module's name (empty for an export); false when the name does
// not match, or for an unnamed export unless unnamedExports. The views
// point into entry.
bool MatchEntry(const TNameEntry &entry, bool exportTable, bool unnamedExports, const TNameMatch &match,
                std::string_view &name, std::string_view &module);

// The info tip of a row, for what its columns do not show: an export's
// ordinal proper (its index plus the table's base) and, for a forwarder,
// where its code lives; whether an import is delay-loaded.
std::string ExportTip(uint32_t index, uint32_t base, std::string_view forwarder);
std::string ImportTip(bool delayLoaded);

enum class TSortKey { None, Name, Number, Module, Path };
// A stable sort by one column with the list's comparison rules: the number
// column by value, the others as text with letters folded.
void SortResultRows(TResultRows &rows, TSortKey key);
