// System message texts for system error codes; exported by name.
#pragma once

#include <windows.h>

extern "C" {
// The system's text for code in a buffer the caller frees with LocalFree, or
// null when the system has none. The text is as the system wrote it
// (a trailing line break stays); insert markers such as %1 stay as written.
char *WINAPI GetErrorString(DWORD code);
// GetErrorString of the calling thread's last error.
char *WINAPI GetLastErrorString();
}

#include <string>

// GetErrorString's text as a string, its trailing line break and blanks cut
// off (a CR LF inside a row would split a copied line); empty when the system
// has none.
std::string ErrorText(DWORD code);
