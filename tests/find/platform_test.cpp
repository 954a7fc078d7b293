// What kalvex-find asks of the system, natively and as kalvex-find.exe: the
// module column's file name, the texts of the reader's codes, and which
// failed writes are a closed pipe.
#include "find/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

TEST(FindPlatform, FileNameStartsAfterTheLastSeparator)
{
    const struct {
        const char *Path, *Name;
    } cases[] = {
        {"a.dll", "a.dll"},
        {"sub/a.dll", "a.dll"},
        {"./x/y/a.dll", "a.dll"},
        {"sub/", ""},
#ifdef _WIN32
        {"sub\\a.dll", "a.dll"},
        {"c:a.dll", "a.dll"},
        {"c:\\w/s\\a.dll", "a.dll"},
        // ソ is 0x83 0x5C: its trail byte is no "\"; a lead byte's next byte
        // is its trail byte, even a "/".
        {"sub/\x83\x5C.dll", "\x83\x5C.dll"},
        {"\x83\x5C\x83\x5C/a.dll", "a.dll"},
        {"x\x83/a.dll", "x\x83/a.dll"},
#else
        {"sub\\a.dll", "sub\\a.dll"},  // a byte of the name here
#endif
    };
#ifdef _WIN32
    ASSERT_EQ(932u, GetACP()) << "the double-byte cases need code page 932";
#endif
    for (const auto &c : cases)
        EXPECT_EQ(c.Name, FindFileName(c.Path)) << c.Path;
}

#ifndef _WIN32
TEST(FindPlatform, EveryCodeTheReaderGivesHereHasItsText)
{
    // The file access's codes (scan/filesource_posix.cpp), the reader's, and
    // the device codes a read may come to give.
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
