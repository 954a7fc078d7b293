// An end for loops that wait for something to happen, so that a regression
// fails the test instead of hanging the run. It is generous on purpose: no
// test asserts how fast anything is.
#pragma once

#include <windows.h>

class TDeadline {
public:
    explicit TDeadline(DWORD milliseconds = 30000) : FEnd(GetTickCount64() + milliseconds) {}
    bool Passed() const { return GetTickCount64() >= FEnd; }

private:
    ULONGLONG FEnd;
};
