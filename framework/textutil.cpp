#include "framework/textutil.h"

#include <windows.h>

size_t LastPathDelimiter(const std::string &text)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size())
            ++i;  // the trail byte may be 0x5C, yet it is no delimiter
        else if (c == '\\' || c == ':')
            last = i;
    }
    return last;
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
