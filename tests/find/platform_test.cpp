// What kalvex-find asks of the system, natively and as kalvex-find.exe: the
// texts of the reader's codes, and which failed writes are a closed pipe.
#include "find/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef _WIN32
TEST(FindPlatform, EveryCodeTheReaderGivesHereHasItsText)
{
    // The file access's codes (scan/filesource_posix.cpp) and the reader's.
    for (uint32_t code : {1, 2, 3, 4, 5, 8, 21, 23, 30, 31, 32, 38, 193, 206, 998, 1117, 1921}) {
        const std::string text = FindErrorText(code);
        EXPECT_EQ(std::string::npos, text.find("error " + std::to_string(code))) << code << ": " << text;
    }
}
#endif

TEST(FindPlatform, OnlyAReaderThatWentAwayIsAClosedPipe)
{
    const struct {
        int Errno;
        unsigned long System;  // Windows: msvcrt's _doserrno
        bool ClosedPipe;
    } cases[] = {
        {EPIPE, 0, true},
        {ENOSPC, 0, false},
        {EIO, 0, false},
#ifdef _WIN32
        {EPIPE, ERROR_NO_DATA, true},
        {EPIPE, ERROR_BROKEN_PIPE, true},
        {EINVAL, ERROR_PIPE_NOT_CONNECTED, true},  // Wine's closed Unix pipe
        {ENOSPC, ERROR_DISK_FULL, false},
#endif
    };
    for (const auto &c : cases) {
#ifdef _WIN32
        _doserrno = c.System;
#endif
        errno = c.Errno;
        const TWriteFailure failure = LastWriteFailure();
        EXPECT_EQ(c.ClosedPipe, failure.ClosedPipe) << c.Errno << " " << c.System;
        EXPECT_EQ(std::strerror(c.Errno), failure.Reason);
    }
}
