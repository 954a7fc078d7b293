// The folder chooser behind the select-folder command; exported by name.
#pragma once

#include <windows.h>

extern "C" {
// Shows the system's folder browser owned by owner, opened on the folder in
// path (a 260-byte buffer). Returns 1 with the chosen folder in path, or 0
// when cancelled (path unchanged).
int WINAPI FolderDialog(HWND owner, const char *title, char *path);
}
