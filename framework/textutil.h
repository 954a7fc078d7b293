// Byte-string helpers for texts in the system's ANSI code page.
#pragma once

#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// Index of the last "\" or ":" of text that is not the second byte of a
// double-byte character, or std::string::npos.
size_t LastPathDelimiter(const std::string &text);
// The text after the last path delimiter, or the whole text without one.
std::string ExtractFileName(const std::string &path);
// text with "\" appended unless its last character already is one (a trail
// byte 0x5C of a double-byte character is not).
std::string IncludeTrailingBackslash(const std::string &text);
