// kalvex-find's printer: the rows (or the files that have them) in the
// chosen output form on the output, and what became of the writing.
#pragma once

#include "find/options.h"
#include "find/platform.h"
#include "rows/resultrows.h"
#include "rows/rowtext.h"

#include <cstdio>
#include <string>
#include <string_view>

// One row as the printer takes it.
struct TFindRow {
    std::string_view Name;    // the exported name, or an import's function part
    std::string_view Number;  // the window's number column: the raw index, or the hint
    std::string_view Module;  // export: the file name; import: the imported module
    std::string_view Path;    // the file read
    bool Export;
    uint32_t Base;  // the export table's ordinal base
    std::string_view Forwarder;  // a forwarded export's target, or empty
    bool Delay;                  // an import of the delay-load table
};

// A byte string as a JSON string (quotes included) appended to out: UTF-8
// sequences as they are, every byte outside one as \u00XX, control
// characters, '"' and '\' escaped.
void AppendJsonString(std::string &out, std::string_view bytes);

class TRowWriter {
public:
    // out null: nothing is written (-q). A header row is written at once.
    // colour: the keywords whose match in a name is coloured, or null.
    // lineAtATime: each row leaves at once (a terminal), not in chunks.
    TRowWriter(const TFindOptions &options, const TNameMatch *colour, bool lineAtATime, FILE *out);
    ~TRowWriter();
    TRowWriter(const TRowWriter &) = delete;
    TRowWriter &operator=(const TRowWriter &) = delete;

    // One row; its texts are copied into the writer's own cells, whose room
    // is kept from row to row.
    void Row(const TFindRow &row);
    // A file with count matching names (-l, -c).
    void File(std::string_view path, size_t count);
    // Writes what is left; false when a write failed.
    bool Finish();
    // A write failed: the output (or the spool) went wrong, see Failure().
    bool Failed() const { return FFailed; }
    const TWriteFailure &Failure() const { return FFailure; }

private:
    void Append(const TCellRow &row);
    void AppendColoured(const TFindRow &row);
    void AppendJson(const TFindRow &row);
    void Flush(bool all);
    void Put(const char *data, size_t n);
    void Fail(TWriteFailure failure);
    void SpoolFailed();

    const TFormat FFormat;
    const TFileOutput FFiles;
    const bool FNull;
    const char *const FLineEnd;
    const TNameMatch *const FColour;
    const bool FLineAtATime;
    FILE *const FOut;
    // SYLK names its row count before the rows, so its records wait in a
    // temporary file (in memory when none can be made) until the end.
    FILE *FSpool = nullptr;
    std::string FText;
    std::string FCell[4];
    TCellRow FCells, FHeaderCells;
    int FRowCount = 0;
    bool FFailed = false;
    TWriteFailure FFailure{false, ""};
};
