// kalvex-find's keywords: inside the name or the whole name, any of several,
// with or without regard to case, and where the match lies.
#include "find/platform.h"
#include "rows/resultrows.h"

#include <gtest/gtest.h>

TEST(NameMatch, FindsTheEarliestMatchOfAnyKeyword)
{
    const struct {
        std::vector<std::string> Keywords;
        bool IgnoreCase, Exact;
        const char *Name;
        bool Found;
        size_t Start, Length;
    } cases[] = {
        {{"Alloc"}, false, false, "HeapAlloc", true, 4, 5},
        {{"alloc"}, false, false, "HeapAlloc", false, 0, 0},
        {{"alloc"}, true, false, "HeapAlloc", true, 4, 5},
        {{""}, false, false, "Any", true, 0, 0},
        {{"Heap", "Alloc"}, false, false, "HeapAlloc", true, 0, 4},
        {{"Alloc", "Heap"}, false, false, "HeapAlloc", true, 0, 4},
        {{"HeapAlloc"}, false, true, "HeapAlloc", true, 0, 9},
        {{"HeapAlloc"}, false, true, "MFHeapAlloc", false, 0, 0},
        {{"heapalloc"}, true, true, "HeapAlloc", true, 0, 9},
        {{"Free", "HeapAlloc"}, false, true, "HeapAlloc", true, 0, 9},
        {{""}, false, true, "Any", false, 0, 0},
    };
    for (const auto &c : cases) {
        const TNameMatch match(c.Keywords, c.IgnoreCase, FindUpperCase, c.Exact);
        size_t start = 99, length = 99;
        EXPECT_EQ(c.Found, match.Find(c.Name, start, length)) << c.Name << " " << c.Keywords[0];
        if (c.Found) {
            EXPECT_EQ(c.Start, start) << c.Name;
            EXPECT_EQ(c.Length, length) << c.Name;
        }
    }
}
