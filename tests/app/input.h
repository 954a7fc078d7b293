// Real input for window tests: key strokes and mouse events through
// SendInput, which Wine takes from the X server as it takes a user's.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

// A key nothing in the program handles. Typed behind the input under test,
// its release taken from the queue tells that everything before it has been
// handled (a posted message would not: under Wine it overtakes queued input).
const WORD MarkerKey = VK_F24;

// Presses keys in order and releases them in reverse, so {VK_CONTROL, 'C'}
// is Ctrl+C; with marker, the marker key follows.
inline void SendKeys(std::initializer_list<WORD> keys, bool marker = false)
{
    std::vector<INPUT> in;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = flags;
        in.push_back(i);
    };
    for (WORD vk : keys)
        add(vk, 0);
    for (auto it = keys.end(); it != keys.begin();)
        add(*--it, KEYEVENTF_KEYUP);
    if (marker) {
        add(MarkerKey, 0);
        add(MarkerKey, KEYEVENTF_KEYUP);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// One mouse event; an absolute one at a point of the screen.
inline void SendMouse(DWORD flags, POINT at = {})
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        in.mi.dx = MulDiv(at.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
        in.mi.dy = MulDiv(at.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    }
    SendInput(1, &in, sizeof in);
}

// The marker's toggle state now, and whether its release has been taken
// since that state was read.
inline SHORT MarkerToggle()
{
    return GetKeyState(MarkerKey) & 1;
}
inline bool MarkerTaken(SHORT toggleBefore)
{
    return (GetKeyState(MarkerKey) & 1) != toggleBefore && GetKeyState(MarkerKey) >= 0;
}
