#include "framework/textutil.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(CodePage, TheSuiteRunsInCodePage932)
{
    EXPECT_EQ(932u, GetACP());
}

TEST(ExtractFileName, TakesTheTextAfterTheLastDelimiter)
{
    const struct {
        const char *path, *name;
    } cases[] = {
        {"C:\\Windows\\System32\\kernel32.dll", "kernel32.dll"},
        {"kernel32.dll", "kernel32.dll"},
        {"C:kernel32.dll", "kernel32.dll"},
        {"C:\\dir\\", ""},
        {"", ""},
        {"\\\\server\\share\\a.dll", "a.dll"},
        // The second byte of 表 (0x95 0x5C) is no delimiter.
        {"C:\\dir\\表", "表"},
        {"C:\\表\\表.dll", "表.dll"},
        {"表", "表"},
        {"C:\\a\\表x", "表x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.name, ExtractFileName(c.path)) << c.path;
}

TEST(ExtractFileName, LoneLeadByteAtTheEndIsKeptWhole)
{
    EXPECT_EQ("\x95", ExtractFileName("C:\\d\\\x95"));
    EXPECT_EQ(std::string::npos, LastPathDelimiter("\x95\\"));
}
