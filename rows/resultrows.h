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
};
using TResultRows = std::vector<TResultRow>;

// The keyword test of a name: a byte-wise substring search, after upper-casing
// the name (in place, with upper) when the keyword is matched without regard
// to case (the keyword is then upper-cased once, here). An empty keyword
// matches all. Usable from several threads at once.
class TNameMatch {
public:
    using TUpper = void (*)(std::string &);
    TNameMatch(const std::string &keyword, bool ignoreCase, TUpper upper);
    bool operator()(std::string_view name) const;

private:
    std::string FKeyword;
    TUpper FUpper;  // null: case counts
};

// The name of an entry (an import's function part) and, for an import, the
// imported module's name (empty for an export); false when the name does
// not match. The views point into entry.
bool MatchEntry(const TNameEntry &entry, bool exportTable, const TNameMatch &match, std::string_view &name,
                std::string_view &module);
// Appends a row for each entry of list whose name matches, in table order.
// fileName is the file-name part of path.
void AppendResultRows(const TNameList &list, bool exportTable, const std::string &path,
                      const std::string &fileName, const TNameMatch &match, TResultRows &rows);

enum class TSortKey { None, Name, Number, Module, Path };
// A stable sort by one column with the list's comparison rules: the number
// column by value, the others as text with letters folded.
void SortResultRows(TResultRows &rows, TSortKey key);
