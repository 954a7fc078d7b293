// kalvex-find's printer: JSON strings keep every byte of a name.
#include "find/rowwriter.h"

#include <gtest/gtest.h>

TEST(JsonString, KeepsUtf8AndWritesEveryOtherByteAsItsOwnEscape)
{
    const struct {
        std::string Bytes, Json;
    } cases[] = {
        {"HeapAlloc", "\"HeapAlloc\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\t\x1F\x7F", "\"\\u0009\\u001f\x7F\""},
        {"\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80", "\"\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80\""},  // é, あ, an emoji
        {"\x83\x5C", "\"\\u0083\\\\\""},                 // a Shift-JIS "ソ": its trail byte is "\"
        {"\xC0\x80", "\"\\u00c0\\u0080\""},             // an overlong NUL
        {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
        {"\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // past U+10FFFF
        {"\xE3\x81", "\"\\u00e3\\u0081\""},             // cut short
        {std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const auto &c : cases) {
        std::string out;
        AppendJsonString(out, c.Bytes);
        EXPECT_EQ(c.Json, out) << c.Bytes;
    }
}
