#include "framework/textutil.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>

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

TEST(CharBoundaryLength, NeverCutsADoubleByteCharacter)
{
    // "\x95\x5c" and "\x83\x5c" are double-byte characters (trail byte "\").
    const struct {
        const char *text;
        size_t limit, length;
    } cases[] = {
        {"abc", 5, 3},           {"abc", 2, 2},           {"a\x95\x5c", 2, 1}, {"a\x95\x5c", 3, 3},
        {"\x95\x5c\x83\x5c", 3, 2}, {"\x95\x5c\x83\x5c", 1, 0}, {"\x95\x5c" "ab", 3, 3}, {"", 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.length, CharBoundaryLength(c.text, c.limit)) << c.text << " " << c.limit;
}

TEST(ChangeFileExt, ReplacesOnlyTheLastNamesExtension)
{
    const struct {
        const char *path, *changed;
    } cases[] = {
        {"C:\\dir\\Kalvex.exe", "C:\\dir\\Kalvex.ini"},
        {"C:\\dir.d\\Kalvex", "C:\\dir.d\\Kalvex.ini"},
        {"C:\\d\\a.tar.exe", "C:\\d\\a.tar.ini"},
        {"C:.x\\a", "C:.x\\a.ini"},
        // The trail byte of 表 (0x95 0x5C) ends no name.
        {"C:\\d\\a.表", "C:\\d\\a.ini"},
        {"C:\\表\\a.exe", "C:\\表\\a.ini"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.changed, ChangeFileExt(c.path, ".ini")) << c.path;
}

TEST(CommaText, SplitsAtCommasAndBlanksWithQuotedFields)
{
    const struct {
        const char *text;
        TStringList fields;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"180,50,150,-2", {"180", "50", "150", "-2"}},
        {" a , b ", {"a", "b"}},
        {"a b\tc", {"a", "b", "c"}},
        {"a,\r\n b", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {",a", {"", "a"}},
        {"a,", {"a", ""}},
        {"a , ,", {"a", "", ""}},
        {"\"a b\",c", {"a b", "c"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"ab\"cd", {"ab", "cd"}},
        {"\"open", {"open"}},
        {"\"\"", {""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.fields, SplitCommaText(c.text)) << c.text;
}

TEST(StrToInt, ConvertsDecimalAndHexadecimalFormsWithinThirtyTwoBits)
{
    const struct {
        const char *text;
        int value;
    } cases[] = {
        {"0", 0},           {"123", 123},      {"-2", -2},         {"+7", 7},
        {"  42", 42},       {"\t5", 5},        {"007", 7},         {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN}, {"$1F", 31}, {"x1f", 31},        {"X10", 16},
        {"0x10", 16},       {"0XaB", 171},     {"-$10", -16},      {"$FFFFFFFF", -1},
        {"$80000000", INT_MIN},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.value, StrToInt(c.text)) << c.text;
        EXPECT_EQ(c.value, StrToIntDef(c.text, 99)) << c.text;
    }
}

namespace {

// The message StrToInt raises for text, or "" when it converts.
std::string ConversionError(const std::string &text)
{
    try {
        StrToInt(text);
    } catch (const EConvertError &e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(StrToInt, RejectsEverythingElseWithTheConversionMessage)
{
    const char *cases[] = {
        "", " ", "abc", "12 ", "1.5", "12a", "+", "-", "--1", "$", "x", "0x", "0x-1", "$G",
        "2147483648", "-2147483649", "$100000000", "99999999999999999999", "1,2", "表",
    };
    for (const char *text : cases) {
        EXPECT_EQ(99, StrToIntDef(text, 99)) << text;
        EXPECT_EQ(std::string("'") + text + "' は整数ではありません", ConversionError(text));
    }
    // The message in code page 932 bytes.
    EXPECT_EQ("'a' \x82\xcd\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1",
              ConversionError("a"));
}

TEST(AnsiUpperCase, EqualsTheSystemsUpperCasingForAsciiAndOtherText)
{
    std::string ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii += static_cast<char>(c);
    // Full-width "ａｂ", a kanji whose trail byte is 0x5C, then ASCII: the system's path.
    for (const std::string &text : {ascii, std::string("\x82\x81\x82\x82\x95\x5c" "abc_z")}) {
        std::string system = text;
        CharUpperBuffA(&system[0], static_cast<DWORD>(system.size()));
        EXPECT_EQ(system, AnsiUpperCase(text));
    }
    EXPECT_EQ("", AnsiUpperCase(""));
}
