#include "scan/errorstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The system's own text for code, looked up directly for comparison.
std::string SystemText(DWORD code)
{
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char *>(&text), 0, nullptr);
    std::string s = text ? text : "";
    LocalFree(text);
    return s;
}

std::string Take(char *text)
{
    std::string s = text ? text : "<null>";
    if (text)
        LocalFree(text);
    return s;
}

}  // namespace

TEST(ErrorString, GivesTheSystemTextUntrimmed)
{
    const std::string text = Take(GetErrorString(998));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(SystemText(998), text);
    EXPECT_EQ(Take(GetErrorString(ERROR_MOD_NOT_FOUND)), SystemText(ERROR_MOD_NOT_FOUND));
}

TEST(ErrorString, CodeWithoutSystemTextGivesNull)
{
    EXPECT_EQ(nullptr, GetErrorString(0x2000ABCDu));
    EXPECT_EQ(nullptr, GetErrorString(0xFFFFFFFFu));
}

TEST(ErrorString, InsertMarkersStayAsWritten)
{
    // Messages with inserts must not read arguments that were never passed.
    int withInsert = 0;
    for (DWORD code = 1; code < 16000; ++code) {
        const std::string raw = SystemText(code);
        if (raw.find("%1") == std::string::npos)
            continue;
        ++withInsert;
        EXPECT_NE(std::string::npos, Take(GetErrorString(code)).find("%1")) << code;
    }
    EXPECT_GT(withInsert, 0);
}

TEST(ErrorString, LastErrorStringFollowsTheThreadsLastError)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), Take(GetLastErrorString()));
}
