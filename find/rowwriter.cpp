#include "find/rowwriter.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Text gathered before it is written: one write for many rows.
const size_t WriteChunk = 4096;

}  // namespace

TRowWriter::TRowWriter(TFormat format, bool header, const char *lineEnd, FILE *out)
    : FFormat(format), FLineEnd(lineEnd), FOut(out),
      FCells{{&FCell[0], TCellKind::Text}, {&FCell[1], TCellKind::Number}, {&FCell[2], TCellKind::Text},
             {&FCell[3], TCellKind::Text}},
      FHeaderCells{{&FCell[0], TCellKind::Text}, {&FCell[1], TCellKind::Text}, {&FCell[2], TCellKind::Text},
                   {&FCell[3], TCellKind::Text}}
{
    if (FOut && FFormat == TFormat::Sylk)
        FSpool = OpenSpool();
    if (FOut && header) {
        FCell[0] = "function";
        FCell[1] = "ordinal";
        FCell[2] = "module";
        FCell[3] = "path";
        Append(FHeaderCells);
    }
}

TRowWriter::~TRowWriter()
{
    if (FSpool)
        std::fclose(FSpool);
}

void TRowWriter::Row(std::string_view name, std::string_view number, std::string_view module, std::string_view path)
{
    if (!FOut || FFailed)
        return;
    FCell[0].assign(name);
    FCell[1].assign(number);
    FCell[2].assign(module);
    FCell[3].assign(path);
    Append(FCells);
    Flush(false);
}

bool TRowWriter::Finish()
{
    Flush(true);
    if (FOut && FFormat == TFormat::Sylk && !FFailed) {
        const std::string head = SylkHead(FRowCount, 4, FLineEnd);
        Put(head.data(), head.size());
        if (FSpool) {
            // The spool's last records leave its buffer here, before it is read back.
            if (std::fflush(FSpool) != 0 || std::fseek(FSpool, 0, SEEK_SET) != 0)
                SpoolFailed();
            char buffer[65536];
            size_t n;
            while (!FFailed && (n = std::fread(buffer, 1, sizeof buffer, FSpool)) > 0)
                Put(buffer, n);
            if (!FFailed && std::ferror(FSpool))
                SpoolFailed();
        } else {
            Put(FText.data(), FText.size());
        }
        const std::string end = std::string("E") + FLineEnd;
        Put(end.data(), end.size());
    }
    if (FOut && !FFailed && std::fflush(FOut) != 0)
        Fail(LastWriteFailure());
    return !FFailed;
}

void TRowWriter::Append(const TCellRow &row)
{
    // Only SYLK without a spool lets the text grow: memory is its spool then.
    try {
        ++FRowCount;
        switch (FFormat) {
        case TFormat::Tsv:
            AppendTextLine(FText, row, FLineEnd);
            break;
        case TFormat::Csv:
            AppendCsvLine(FText, row, FLineEnd);
            break;
        case TFormat::Sylk:
            AppendSylkRow(FText, FRowCount, row, FLineEnd);
            break;
        }
    } catch (const std::bad_alloc &) {
        Fail({false, std::strerror(ENOMEM)});
    }
}

void TRowWriter::Flush(bool all)
{
    if (!FOut || FFailed || FText.empty() || (!all && FText.size() < WriteChunk))
        return;
    if (FFormat != TFormat::Sylk)
        Put(FText.data(), FText.size());
    else if (!FSpool)
        return;  // no temporary file: the records stay in memory
    else if (std::fwrite(FText.data(), 1, FText.size(), FSpool) != FText.size())
        SpoolFailed();
    FText.clear();
}

void TRowWriter::Put(const char *data, size_t n)
{
    if (!FFailed && std::fwrite(data, 1, n, FOut) != n)
        Fail(LastWriteFailure());
}

void TRowWriter::Fail(TWriteFailure failure)
{
    if (FFailed)
        return;
    FFailed = true;
    FFailure = std::move(failure);
}

void TRowWriter::SpoolFailed()
{
    // A temporary file is no pipe: whatever it met is an error to tell.
    TWriteFailure failure = LastWriteFailure();
    failure.ClosedPipe = false;
    Fail(std::move(failure));
}
