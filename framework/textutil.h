// Byte-string helpers for texts in the system's ANSI code page.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// Index of the last of delimiters ("\" and ":" by default) in text that is
// not the second byte of a double-byte character, or std::string::npos.
size_t LastPathDelimiter(const std::string &text, const char *delimiters = "\\:");
// The length of the longest start of text that holds at most limit bytes
// and ends on a character boundary (a double-byte character is never cut).
size_t CharBoundaryLength(std::string_view text, size_t limit);
// text upper-cased by the system's ANSI rules for the current code page;
// the byte length does not change.
std::string AnsiUpperCase(std::string text);
// The text after the last path delimiter, or the whole text without one.
std::string ExtractFileName(const std::string &path);
// text with "\" appended unless its last character already is one (a trail
// byte 0x5C of a double-byte character is not).
std::string IncludeTrailingBackslash(const std::string &text);
// path with its extension (the text from the last "." after the last path
// delimiter) replaced by ext, or with ext appended when it has none.
std::string ChangeFileExt(const std::string &path, const std::string &ext);

// text without the blanks and control characters at either end. Trail bytes
// of double-byte characters are never below 0x40, so none is cut.
std::string Trim(const std::string &text);

// Fields of a comma text: separated by "," or by blanks (control characters
// included), which are skipped around a field and end one that is not quoted;
// a field may be enclosed in double quotes, "" inside standing for one quote
// (an unclosed quote runs to the end); a "," at the very end adds an empty
// field. An empty or all-blank text has no fields.
TStringList SplitCommaText(const std::string &text);

// The program's conversion error: a text that must be an integer is not one.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The signed 32-bit integer that text spells: leading blanks, an optional
// sign, then decimal digits, or hexadecimal digits after "$", "x" or "0x"
// (either case); the whole text must be used. Decimal values must fit the
// signed range; hexadecimal ones up to FFFFFFFF are taken as 32-bit patterns
// ($FFFFFFFF is -1). Anything else raises EConvertError with the message
// "'text' は整数ではありません".
int StrToInt(const std::string &text);
// The same conversion, giving def where StrToInt would raise.
int StrToIntDef(const std::string &text, int def);
