// Result rows as text: the lines of tab-separated text, CSV and SYLK that a
// copy of the window's rows and the command-line search both write, and the
// comparisons their sorts use. Plain bytes in the system's ANSI code page;
// nothing is converted. Portable: no Win32.
#pragma once

#include <string>
#include <vector>

// A cell's kind, from the alignment of its list column.
enum class TCellKind {
    Text,         // left-justified: quoted in CSV and SYLK, SYLK letter L
    Number,       // right-justified (and the check-state column): bare, R
    CentredText,  // centred: quoted, C
};

struct TCell {
    const std::string *Text;
    TCellKind Kind;
};
using TCellRow = std::vector<TCell>;

extern const char *const CrLf;

// No byte of a cell splits a row or a record, and no text cell is evaluated
// by a spreadsheet: in tab text and SYLK each byte below 0x20 and DEL is
// written as "?"; CSV keeps a cell's exact bytes inside its quotes. A text
// cell of tab text or CSV that begins with "=", "+" or "-" is written with a
// leading "'" (SYLK text cells are never evaluated and keep their bytes).

// One row of tab-separated text, or of CSV (a number bare, any other text in
// double quotes with each quote inside doubled), ended by lineEnd (the
// window's copies: CR LF).
void AppendTextLine(std::string &out, const TCellRow &row, const char *lineEnd = CrLf);
void AppendCsvLine(std::string &out, const TCellRow &row, const char *lineEnd = CrLf);
// SYLK: the identification and bounds records (rows, then columns), the
// records of row rowNumber (from 1: a format record that places each cell
// and a cell record that takes that place), and the end record; each record
// ends in lineEnd.
std::string SylkHead(int rows, int columns, const char *lineEnd = CrLf);
void AppendSylkRow(std::string &out, int rowNumber, const TCellRow &row, const char *lineEnd = CrLf);
extern const char *const SylkEnd;

// Byte by byte, unsigned, with 'a'-'z' folded to 'A'-'Z' (no locale); the
// difference of the first differing bytes, else the difference in length.
int CompareText(std::string_view a, std::string_view b);
// Empty before negative before not negative; within a class by value, the
// digits compared as text after filling the shorter with leading zeros.
int CompareNumberText(std::string_view a, std::string_view b);
