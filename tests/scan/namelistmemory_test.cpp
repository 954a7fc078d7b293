// The walks' memory: a table that would fill the address space ends at the
// walk's byte limit, and the process's peaks show it.
#include "scan/nametables.h"
#include "tests/scan/heapcount.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace {
const uint32_t Dir = TPeBuilder::DataRva;
}

// Run in a process of its own (see tests/CMakeLists.txt): the process's peaks
// are those since its start.
TEST(NameListMemory, OrdinalFloodEndsAtTheLimitWithoutPassingIt)
{
    // 1,000 descriptors sharing 8,000 imports by ordinal: 8 million entries
    // from a file of 57 KB.
    const TPeBuilder b = OrdinalFloodImports(1000, 8000);
    TGuardedImage image(b.Bytes);
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
    ResetHeapPeak();
    const size_t heapBefore = HeapLiveBytes();
    TNameList list;
    EXPECT_EQ(CodeWalkFault, WalkImportNames(image.View(), Dir, list));
    const size_t heapPeak = HeapPeakBytes() - heapBefore;
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after));
    // It went on up to the limit: the entries alone take a good part of it.
    EXPECT_GT(list.capacity() * sizeof(TNameEntry), NameWalkByteLimit / 4);
    // What the list held at once, touched or not, old buffers included.
    EXPECT_LE(heapPeak, NameWalkByteLimit);
    // The process: Wine's one true peak is the working set's (its pagefile
    // peak is the current use); Windows keeps both.
    const int64_t allowed = int64_t(NameWalkByteLimit) + (8 << 20);
    const int64_t working = int64_t(after.PeakWorkingSetSize) - int64_t(before.WorkingSetSize);
    const int64_t pagefile = int64_t(after.PeakPagefileUsage) - int64_t(before.PagefileUsage);
    EXPECT_LE(working, allowed);
    EXPECT_LE(pagefile, allowed);
    std::printf("ordinal flood: %u entries; peak heap %u KiB, working set +%lld KiB, pagefile +%lld KiB\n",
                unsigned(list.size()), unsigned(heapPeak >> 10), working >> 10, pagefile >> 10);
}
