// Counts what operator new hands out in this test executable, so a test can
// tell how much memory a piece of code held at its peak, committed or not.
#pragma once

#include <cstddef>

// Bytes allocated with operator new and not yet deleted.
size_t HeapLiveBytes();
// The most there were since the last ResetHeapPeak (or the start).
size_t HeapPeakBytes();
void ResetHeapPeak();
