#include "app/folderdialog.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

const DWORD InvalidHandleCode = 0xC0000008;  // STATUS_INVALID_HANDLE
DWORD GuardedThread = 0;

// The browser can raise an invalid-handle exception inside the shell; it is
// harmless, so it is dismissed for this thread while the browser runs.
LONG CALLBACK DismissInvalidHandle(EXCEPTION_POINTERS *info)
{
    if (info->ExceptionRecord->ExceptionCode == InvalidHandleCode && GetCurrentThreadId() == GuardedThread)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

int CALLBACK BrowseCallback(HWND window, UINT msg, LPARAM lp, LPARAM data)
{
    if (msg == BFFM_INITIALIZED) {
        if (data)
            SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    } else if (msg == BFFM_SELCHANGED) {
        char path[MAX_PATH] = "";
        if (!SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lp), path))
            path[0] = '\0';
        SendMessageA(window, BFFM_ENABLEOK, 0, path[0] != '\0');
    }
    return 0;
}

}  // namespace

int WINAPI FolderDialog(HWND owner, const char *title, char *path)
{
    // The new dialog style needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(path);

    GuardedThread = GetCurrentThreadId();
    void *guard = AddVectoredExceptionHandler(1, DismissInvalidHandle);
    int chosen = 0;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info)) {
        char folder[MAX_PATH] = "";
        if (SHGetPathFromIDListA(item, folder)) {
            lstrcpynA(path, folder, MAX_PATH);
            chosen = 1;
        }
        CoTaskMemFree(item);
    }
    RemoveVectoredExceptionHandler(guard);
    if (SUCCEEDED(com))
        CoUninitialize();
    return chosen;
}
