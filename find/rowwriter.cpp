#include "find/rowwriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Text gathered before it is written: one write for many rows.
const size_t WriteChunk = 4096;

// The colour of a match in a name, as grep writes it, and the reset.
const char MatchColour[] = "\x1b[01;31m", ColourEnd[] = "\x1b[m";

// The length of the UTF-8 sequence at s[i] that encodes a character (no
// overlong form, no surrogate, nothing past U+10FFFF), or 0.
size_t Utf8Length(std::string_view s, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (s.size() - i < n)
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            return 0;
    }
    return n;
}

// An import by ordinal shows as "%" and the ordinal's digits.
bool ImportOrdinal(std::string_view name, std::string_view &digits)
{
    if (name.size() < 2 || name[0] != '%' || name.find_first_not_of("0123456789", 1) != std::string_view::npos)
        return false;
    digits = name.substr(1);
    return true;
}

}  // namespace

void AppendJsonString(std::string &out, std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t n = Utf8Length(bytes, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (n > 1 || (n == 1 && c >= 0x20)) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        } else {
            // A control character, or a byte of no UTF-8 sequence: the
            // character of the same number, so that each byte stays one.
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        ++i;
    }
    out += '"';
}

TRowWriter::TRowWriter(const TFindOptions &options, const TNameMatch *colour, bool lineAtATime, FILE *out)
    : FFormat(options.Format), FFiles(options.Files), FNull(options.Null), FLineEnd(options.LineEnd),
      FColour(FFormat == TFormat::Tsv && FFiles == TFileOutput::Rows ? colour : nullptr), FLineAtATime(lineAtATime),
      FOut(out),
      FCells{{&FCell[0], TCellKind::Text}, {&FCell[1], TCellKind::Number}, {&FCell[2], TCellKind::Text},
             {&FCell[3], TCellKind::Text}},
      FHeaderCells{{&FCell[0], TCellKind::Text}, {&FCell[1], TCellKind::Text}, {&FCell[2], TCellKind::Text},
                   {&FCell[3], TCellKind::Text}}
{
    if (FOut && FFormat == TFormat::Sylk && FFiles == TFileOutput::Rows)
        FSpool = OpenSpool();
    if (FOut && options.Header && FFiles == TFileOutput::Rows && FFormat != TFormat::Json) {
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

void TRowWriter::Row(const TFindRow &row)
{
    if (!FOut || FFailed)
        return;
    if (FFormat == TFormat::Json) {
        AppendJson(row);
    } else if (FColour) {
        AppendColoured(row);
    } else {
        FCell[0].assign(row.Name);
        FCell[1].assign(row.Number);
        FCell[2].assign(row.Module);
        FCell[3].assign(row.Path);
        Append(FCells);
    }
    Flush(false);
}

void TRowWriter::File(std::string_view path, size_t count)
{
    if (!FOut || FFailed)
        return;
    // A path ends in NUL with -0, so that any byte of it stays its own.
    FText.append(path);
    if (FFiles == TFileOutput::Counts)
        FText.append("\t").append(std::to_string(count)).append(FLineEnd);
    else if (FNull)
        FText += '\0';
    else
        FText += FLineEnd;
    Flush(false);
}

void TRowWriter::AppendColoured(const TFindRow &row)
{
    // The name cell alone as tab text (a leading "'" may come first, bytes
    // stay in place), the colour around the match, then the other cells.
    size_t start, length;
    FCell[0].assign(row.Name);
    const std::string *name = &FCell[0];
    AppendTextLine(FText, {{name, TCellKind::Text}}, "");
    if (FColour->Find(row.Name, start, length) && length > 0) {
        const size_t at = FText.size() - row.Name.size() + start;
        FText.insert(at + length, ColourEnd);
        FText.insert(at, MatchColour);
    }
    FCell[1].assign(row.Number);
    FCell[2].assign(row.Module);
    FCell[3].assign(row.Path);
    FText += '\t';
    AppendTextLine(FText, {FCells[1], FCells[2], FCells[3]}, FLineEnd);
    ++FRowCount;
}

void TRowWriter::AppendJson(const TFindRow &row)
{
    // ordinal: the ordinal proper (an export's index plus the base, an
    // import by ordinal's own); index: the export's raw index as the window
    // shows it; hint: an import by name's. Null where a table has none.
    std::string_view digits;
    const bool byOrdinal = !row.Export && ImportOrdinal(row.Name, digits);
    FText += "{\"name\":";
    AppendJsonString(FText, row.Name);
    FText += ",\"ordinal\":";
    if (row.Export)
        FText += std::to_string(std::strtoull(std::string(row.Number).c_str(), nullptr, 10) + row.Base);
    else if (byOrdinal)
        FText.append(digits);
    else
        FText += "null";
    FText += ",\"index\":";
    FText.append(row.Export ? row.Number : "null");
    FText += ",\"hint\":";
    FText.append(!row.Export && !byOrdinal ? row.Number : "null");
    FText += ",\"module\":";
    AppendJsonString(FText, row.Module);
    FText += ",\"path\":";
    AppendJsonString(FText, row.Path);
    FText += row.Export ? ",\"kind\":\"export\"" : ",\"kind\":\"import\"";
    // forwarder: an export's target, or null; delay: an import's kind.
    FText += ",\"forwarder\":";
    if (row.Forwarder.empty())
        FText += "null";
    else
        AppendJsonString(FText, row.Forwarder);
    FText += row.Export ? ",\"delay\":null}" : row.Delay ? ",\"delay\":true}" : ",\"delay\":false}";
    FText += FLineEnd;
    ++FRowCount;
}

bool TRowWriter::Finish()
{
    Flush(true);
    if (FOut && FFormat == TFormat::Sylk && FFiles == TFileOutput::Rows && !FFailed) {
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
        case TFormat::Json:
            break;  // AppendJson
        }
    } catch (const std::bad_alloc &) {
        Fail({false, std::strerror(ENOMEM)});
    }
}

void TRowWriter::Flush(bool all)
{
    if (!FOut || FFailed || FText.empty() || (!all && !FLineAtATime && FText.size() < WriteChunk))
        return;
    if (FFormat != TFormat::Sylk || FFiles != TFileOutput::Rows) {
        Put(FText.data(), FText.size());
        if (FLineAtATime && !FFailed && std::fflush(FOut) != 0)
            Fail(LastWriteFailure());
    }
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
