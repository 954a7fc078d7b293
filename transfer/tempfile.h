// The pieces of the transfer's temporary file that need no collector state:
// the file name check, the folder creation and the busy-clipboard retry.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <functional>

// The longest folder path we make: the 260-byte buffer that holds it then
// always ends in two zero bytes, which the shell's delete list needs.
constexpr size_t MaxTempFolderLength = MAX_PATH - 2;
// The longest path of the file in that folder.
constexpr size_t MaxTempFilePathLength = MAX_PATH - 1;
// How many folder names are tried before the file step gives up.
constexpr int MaxTempFolderCandidates = 100;

// True for a name that creates a file inside a folder and nowhere else: not
// empty, not "." or "..", no "\" (the trail byte of a double-byte character
// is no "\"), "/", ":", wildcard or other character that a file name cannot
// hold, no truncated double-byte character, and no device name such as
// "CON" or "LPT1.txt".
bool IsPlainFileName(const char *name);

// Creates a new folder named tempPath (the system's temporary path, which
// ends in "\"), one more "\", and a number in lower-case hexadecimal, trying
// first, first + 1, ... Writes its path into folder, a zero-filled buffer of
// MAX_PATH bytes. Fails, creating nothing, when the folder path would be
// longer than MaxTempFolderLength or a file name of nameLength bytes inside it
// would make a path longer than MaxTempFilePathLength, at the first creation
// error other than "already exists", and after MaxTempFolderCandidates names.
bool MakeTempFolder(const char *tempPath, DWORD first, size_t nameLength, char *folder);

// Deletes folder and everything in it, for good and without any dialog.
// folder must be followed by two zero bytes.
void DeleteFolderTree(const char *folder);

// Puts data on the clipboard with set (OleSetClipboard by default). While
// another program holds the clipboard open, set fails with
// CLIPBRD_E_CANT_OPEN: only then it is tried again, up to
// ClipboardRetries more times, ClipboardRetryPause ms apart.
constexpr int ClipboardRetries = 10;
constexpr DWORD ClipboardRetryPause = 10;
HRESULT SetClipboardRetrying(IDataObject *data,
                             const std::function<HRESULT(IDataObject *)> &set = OleSetClipboard);
