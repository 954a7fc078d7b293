// Iniutility: the window placement as the settings file keeps it, as one text
// "left,top,width,height,state": the normal (restored) rectangle in screen
// coordinates and the state, 0 normal, 1 minimised, 2 maximised.
#pragma once

#include <windows.h>

#include <string>

// The placement text of window. The normal rectangle comes from the window's
// placement record, which the system gives relative to the work area; the
// work area's offset makes it a screen position again, so the window comes
// back at the same place when the task bar sits at the left or top.
std::string GetWindowPlacementText(HWND window);

// Applies a placement text to window. Its fields (a comma text) are taken in
// order, at most five: left, top, width, height, state; fewer fields change
// only what they name (two fields move the left and top edges and keep the
// right and bottom ones), further fields are ignored, an empty text changes
// nothing. A state other than 0, 1 or 2 counts as 0. Edges are computed in
// 64 bits and clamped to the 32-bit range. A field that is not an integer
// raises EConvertError before anything has changed.
//
// The result cannot lose the window: a width or height below the window's
// minimum tracking size becomes that minimum, and a rectangle with no part on
// any monitor is moved onto the nearest monitor's work area.
//
// Returns the show command of the resulting state (SW_SHOWNORMAL,
// SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED). A visible window is put in that
// state here. A hidden window only gets its bounds and stays hidden: its
// owner shows it with the returned command, so that a window is never
// minimised or maximised before it has been shown.
int SetWindowPlacementText(HWND window, const std::string &text);
