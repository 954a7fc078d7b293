#include "rows/rowtext.h"

#include <algorithm>

const char *const CrLf = "\r\n";
const char *const SylkEnd = "E\r\n";

namespace {

char AlignmentLetter(TCellKind kind)
{
    switch (kind) {
    case TCellKind::Number:
        return 'R';
    case TCellKind::CentredText:
        return 'C';
    default:
        return 'L';
    }
}

// A byte that would end a line or a field where a reader splits them: every
// byte below 0x20 (TAB, CR, LF among them) and DEL. No trail byte of a
// double-byte character falls in that range.
bool IsControlByte(char c)
{
    const unsigned char b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

// text with each control byte written as "?".
void AppendLineSafe(std::string &out, const std::string &text)
{
    const size_t start = out.size();
    out += text;
    for (size_t i = start; i < out.size(); ++i)
        if (IsControlByte(out[i]))
            out[i] = '?';
}

// A text cell that a spreadsheet would evaluate as a formula: "=", "+" or
// "-" first ("@" is left alone: fastcall names begin with it).
bool LooksLikeFormula(const std::string &text, TCellKind kind)
{
    return kind != TCellKind::Number && !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-');
}

// text in double quotes with each quote inside doubled.
void AppendQuoted(std::string &out, const std::string &text, bool formulaGuard)
{
    out += '"';
    if (formulaGuard)
        out += '\'';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// The cell as a SYLK K field: control bytes as "?", a text cell quoted (a
// SYLK text is never evaluated, so it keeps its first byte) with each ";"
// doubled, since a bare one would end the field (0x3B is never the trail
// byte of a double-byte character).
void AppendSylkValue(std::string &out, const std::string &text, TCellKind kind)
{
    const bool quoted = kind != TCellKind::Number;
    if (quoted)
        out += '"';
    for (char c : text) {
        if (IsControlByte(c))
            c = '?';
        else if (quoted && (c == '"' || c == ';'))
            out += c;  // doubled
        out += c;
    }
    if (quoted)
        out += '"';
}

template <class Cell>
void AppendLine(std::string &out, const TCellRow &row, char separator, const char *lineEnd, Cell cell)
{
    for (size_t col = 0; col < row.size(); ++col) {
        if (col > 0)
            out += separator;
        cell(out, row[col]);
    }
    out += lineEnd;
}

int FoldedByte(char c)
{
    const int b = static_cast<unsigned char>(c);
    return b >= 'a' && b <= 'z' ? b - ('a' - 'A') : b;
}

// The text rule on a and b as if the shorter were filled with leading "0"s
// up to the longer one's length; nothing is copied.
int CompareZeroFilled(const char *a, size_t na, const char *b, size_t nb)
{
    const size_t n = std::max(na, nb), padA = n - na, padB = n - nb;
    for (size_t i = 0; i < n; ++i) {
        const int x = i < padA ? '0' : FoldedByte(a[i - padA]);
        const int y = i < padB ? '0' : FoldedByte(b[i - padB]);
        if (x != y)
            return x - y;
    }
    return 0;
}

}  // namespace

void AppendTextLine(std::string &out, const TCellRow &row, const char *lineEnd)
{
    AppendLine(out, row, '\t', lineEnd, [](std::string &o, const TCell &c) {
        if (LooksLikeFormula(*c.Text, c.Kind))
            o += '\'';
        AppendLineSafe(o, *c.Text);
    });
}

void AppendCsvLine(std::string &out, const TCellRow &row, const char *lineEnd)
{
    AppendLine(out, row, ',', lineEnd, [](std::string &o, const TCell &c) {
        if (c.Kind == TCellKind::Number)
            o += *c.Text;
        else
            AppendQuoted(o, *c.Text, LooksLikeFormula(*c.Text, c.Kind));
    });
}

std::string SylkHead(int rows, int columns, const char *lineEnd)
{
    return std::string("ID;PLVU") + lineEnd + "B;Y" + std::to_string(rows) + ";X" + std::to_string(columns) + lineEnd;
}

void AppendSylkRow(std::string &out, int rowNumber, const TCellRow &row, const char *lineEnd)
{
    for (size_t col = 0; col < row.size(); ++col) {
        out += "F;";
        if (col == 0) {
            out += 'Y';
            out += std::to_string(rowNumber);
            out += ';';
        }
        out += 'X';
        out += std::to_string(col + 1);
        out += ";FG0";
        out += AlignmentLetter(row[col].Kind);
        out += lineEnd;
        out += "C;K";
        AppendSylkValue(out, *row[col].Text, row[col].Kind);
        out += lineEnd;
    }
}

int CompareText(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = FoldedByte(a[i]), y = FoldedByte(b[i]);
        if (x != y)
            return x - y;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareNumberText(std::string_view a, std::string_view b)
{
    // Class 0 empty, 1 negative (the "-" dropped), 2 not negative (a "+" dropped).
    auto classOf = [](std::string_view s, size_t &skip) {
        skip = !s.empty() && (s[0] == '-' || s[0] == '+') ? 1 : 0;
        return s.empty() ? 0 : s[0] == '-' ? 1 : 2;
    };
    size_t skipA, skipB;
    const int classA = classOf(a, skipA), classB = classOf(b, skipB);
    if (classA != classB)
        return classA - classB;
    if (classA == 0)
        return 0;
    const int result = CompareZeroFilled(a.data() + skipA, a.size() - skipA, b.data() + skipB, b.size() - skipB);
    return classA == 1 ? -result : result;
}
