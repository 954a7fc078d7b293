#include "framework/textutil.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

size_t LastPathDelimiter(const std::string &text, const char *delimiters)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // No code page has a lead byte below 0x80: most bytes need no call.
        if (c >= 0x80 && IsDBCSLeadByte(c) && i + 1 < text.size())
            ++i;  // the trail byte may be 0x5C, yet it is no delimiter
        else if (c != 0 && std::strchr(delimiters, c))
            last = i;
    }
    return last;
}

size_t CharBoundaryLength(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t end = 0;
    while (end < limit) {
        const size_t next = end + (IsDBCSLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1);
        if (next > limit)
            break;
        end = next;
    }
    return end;
}

std::string AnsiUpperCase(std::string text)
{
    // Names are nearly always ASCII, whose letters the system upper-cases as
    // a-z to A-Z in every code page; only other text goes to the system (a
    // call that converts to UTF-16 and back, the larger part of a keyword
    // search's own cost).
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (char &c : text)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
    } else {
        CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    }
    return text;
}

std::string ExtractFileName(const std::string &path)
{
    const size_t d = LastPathDelimiter(path);
    return d == std::string::npos ? path : path.substr(d + 1);
}

std::string IncludeTrailingBackslash(const std::string &text)
{
    const size_t d = LastPathDelimiter(text);
    if (!text.empty() && d == text.size() - 1 && text[d] == '\\')
        return text;
    return text + "\\";
}

std::string ChangeFileExt(const std::string &path, const std::string &ext)
{
    size_t dot = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 0x80 && IsDBCSLeadByte(c) && i + 1 < path.size())
            ++i;
        else if (c == '.')
            dot = i;
        else if (c == '\\' || c == ':')
            dot = std::string::npos;
    }
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::string Trim(const std::string &text)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

TStringList SplitCommaText(const std::string &text)
{
    TStringList fields;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && IsBlank(text[i]))
        ++i;
    while (i < n) {
        std::string field;
        if (text[i] == '"') {
            for (++i; i < n; ++i) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    field += text[i];
                }
            }
        } else {
            const size_t start = i;
            while (i < n && !IsBlank(text[i]) && text[i] != ',')
                ++i;
            field = text.substr(start, i - start);
        }
        fields.push_back(field);
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i < n && text[i] == ',') {
            if (i + 1 == n)
                fields.emplace_back();
            do
                ++i;
            while (i < n && IsBlank(text[i]));
        }
    }
    return fields;
}

namespace {

int DigitValue(char c, unsigned base)
{
    unsigned d;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    else
        return -1;
    return d < base ? static_cast<int>(d) : -1;
}

bool TryStrToInt(const std::string &text, int &value)
{
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    unsigned base = 10;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    // The accumulator stays within 64 bits: it is checked against the limit
    // after every digit.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t v = 0;
    for (; i < n; ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0)
            return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > limit)
            return false;
    }
    uint32_t bits = static_cast<uint32_t>(v);
    if (negative)
        bits = 0u - bits;
    value = static_cast<int>(bits);
    return true;
}

}  // namespace

int StrToInt(const std::string &text)
{
    int value;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + text + "' は整数ではありません");
    return value;
}

int StrToIntDef(const std::string &text, int def)
{
    int value;
    return TryStrToInt(text, value) ? value : def;
}
