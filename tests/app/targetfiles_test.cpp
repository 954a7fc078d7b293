// The mask table and the open dialog filter.
#include "app/targetfiles.h"

#include <gtest/gtest.h>

TEST(FileMasks, EntryTextsAndFilterAreTheseExactTexts)
{
    const char *entries[] = {"DLLファイル (*.dll)", "実行ファイル (*.exe)", "DLLおよび実行ファイル (*.dll;*.exe)",
                             "すべてのファイル (*.*)"};
    for (int i = 0; i < FileMaskCount; ++i)
        EXPECT_EQ(entries[i], FileMaskEntryText(FileMaskTable[i]));
    EXPECT_EQ("DLLファイル (*.dll)|*.dll|実行ファイル (*.exe)|*.exe|DLLおよび実行ファイル (*.dll;*.exe)|"
              "*.dll;*.exe|すべてのファイル (*.*)|*.*",
              FileMaskFilter());
    // "DLLファイル" in code page 932.
    EXPECT_EQ("DLL\x83\x74\x83\x40\x83\x43\x83\x8b", std::string(FileMaskTable[0].Label));
    EXPECT_EQ("*.dll", FileMaskOf(0));
    EXPECT_EQ("*.*", FileMaskOf(3));
    EXPECT_EQ("*.dll", FileMaskOf(-1));  // no selection: the first row
    EXPECT_EQ("*.dll", FileMaskOf(7));
}

TEST(TrailingBackslash, IsAddedOnceAndAwareOfDoubleByteCharacters)
{
    EXPECT_EQ("C:\\", IncludeTrailingBackslash("C:\\"));
    EXPECT_EQ("C:\\dir\\", IncludeTrailingBackslash("C:\\dir"));
    EXPECT_EQ("C:\\", IncludeTrailingBackslash("C:"));
    EXPECT_EQ("C:\\表\\", IncludeTrailingBackslash("C:\\表"));  // 表 ends in byte 0x5C
    EXPECT_EQ("\\", IncludeTrailingBackslash(""));
}
