// kalvex-find's printer: the rows as the chosen format's bytes on the
// output, and what became of the writing.
#pragma once

#include "find/options.h"
#include "find/platform.h"
#include "rows/rowtext.h"

#include <cstdio>
#include <string>
#include <string_view>

class TRowWriter {
public:
    // out null: nothing is written (-q). A header row is written at once.
    // lineEnd ends each line or record.
    TRowWriter(TFormat format, bool header, const char *lineEnd, FILE *out);
    ~TRowWriter();
    TRowWriter(const TRowWriter &) = delete;
    TRowWriter &operator=(const TRowWriter &) = delete;

    // One row; its texts are copied into the writer's own cells, whose room
    // is kept from row to row.
    void Row(std::string_view name, std::string_view number, std::string_view module, std::string_view path);
    // Writes what is left; false when a write failed.
    bool Finish();
    // A write failed: the output (or the spool) went wrong, see Failure().
    bool Failed() const { return FFailed; }
    const TWriteFailure &Failure() const { return FFailure; }

private:
    void Append(const TCellRow &row);
    void Flush(bool all);
    void Put(const char *data, size_t n);
    void Fail(TWriteFailure failure);
    void SpoolFailed();

    const TFormat FFormat;
    const char *const FLineEnd;
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
