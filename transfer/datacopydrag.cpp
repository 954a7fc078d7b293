#include "transfer/datacopydrag.h"

#include "transfer/dataobject.h"
#include "transfer/tempfile.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Every payload block: movable, zero-filled, shareable with other programs.
constexpr UINT BlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE;

TDataCopyDrag *Instance = nullptr;

}  // namespace

TDataCopyDrag &DataCopyDrag()
{
    if (!Instance)
        Instance = new TDataCopyDrag();
    return *Instance;
}

void FreeDataCopyDrag()
{
    delete Instance;
    Instance = nullptr;
}

TDataCopyDrag::TDataCopyDrag() : FOleResult(OleInitialize(nullptr))
{
}

TDataCopyDrag::~TDataCopyDrag()
{
    FreePending();
    // The clipboard renders every format of our data object and lets it go,
    // so the texts outlive the program; then the files it names are deleted.
    OleFlushClipboard();
    RemoveTempFolder();
    for (TFolder &folder : FKept)
        Remove(folder);
    FKept.clear();
    if (OleInitialized())
        OleUninitialize();
    SetFileName(nullptr);
}

bool TDataCopyDrag::AddText(const char *text)
{
    return text && AddData(CF_TEXT, text, strlen(text) + 1);
}

bool TDataCopyDrag::AddData(CLIPFORMAT format, const void *data, size_t size)
{
    // A movable block of size 0 cannot be locked.
    if (!data || size == 0)
        return false;
    HGLOBAL block = GlobalAlloc(BlockFlags, size);
    if (!block)
        return false;
    void *p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        return false;
    }
    memcpy(p, data, size);
    GlobalUnlock(block);
    return AddHandle(format, block);
}

bool TDataCopyDrag::AddFileName(const char *path)
{
    if (!path)
        return false;
    // DROPFILES, then the ANSI name, its zero and the zero that ends the list.
    const size_t length = strlen(path);
    HGLOBAL block = GlobalAlloc(BlockFlags, sizeof(DROPFILES) + length + 2);
    if (!block)
        return false;
    auto *drop = static_cast<DROPFILES *>(GlobalLock(block));
    if (!drop) {
        GlobalFree(block);
        return false;
    }
    drop->pFiles = sizeof(DROPFILES);
    drop->fNC = TRUE;
    drop->fWide = FALSE;
    memcpy(reinterpret_cast<char *>(drop) + sizeof(DROPFILES), path, length);
    GlobalUnlock(block);
    return AddHandle(CF_HDROP, block);
}

bool TDataCopyDrag::AddHandle(CLIPFORMAT format, HGLOBAL block)
{
    if (!block)
        return false;
    auto *grown = static_cast<TPending *>(realloc(FPending, (FCount + 1) * sizeof(*FPending)));
    if (!grown) {
        GlobalFree(block);
        return false;
    }
    FPending = grown;
    FPending[FCount++] = TPending{format, block};
    return true;
}

void TDataCopyDrag::SetFileName(const char *name)
{
    free(FFileName);
    FFileName = name ? _strdup(name) : nullptr;
}

bool TDataCopyDrag::CopyToClipboard(const char *fileName)
{
    return Transfer(fileName, false);
}

bool TDataCopyDrag::StartDrag(const char *fileName)
{
    return Transfer(fileName, true);
}

bool TDataCopyDrag::AddTempFile(const char *name)
{
    for (size_t i = 0; i < FCount; ++i) {
        if (FPending[i].format != CF_TEXT)
            continue;
        // Only the first plain text is written. Its block may lack a zero
        // (AddData with any size), so the text ends at the block's end at most.
        HGLOBAL block = FPending[i].block;
        bool made = false;
        if (const char *text = static_cast<const char *>(GlobalLock(block))) {
            made = MakeTempFile(name, text, strnlen(text, GlobalSize(block)));
            GlobalUnlock(block);
        }
        return made;
    }
    return false;
}

bool TDataCopyDrag::Transfer(const char *fileName, bool drag)
{
    const char *name = fileName ? fileName : FFileName;
    FFileError = 0;
    const bool madeFolder = name && *name && AddTempFile(name);

    TDataObject *data = new (std::nothrow) TDataObject();
    if (!data || !data->Allocate(static_cast<int>(FCount))) {
        FreePending();
        if (data)
            data->Release();
        return false;
    }
    for (size_t i = 0; i < FCount; ++i) {
        FORMATETC format = {FPending[i].format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = FPending[i].block;
        if (data->SetData(&format, &medium, TRUE) != S_OK)
            GlobalFree(FPending[i].block);
    }
    // The blocks belong to the data object now. Emptied before the hand-off:
    // the drag loop dispatches messages, and whatever they add stays pending.
    ClearPending();
    // The new folder lives at least as long as the data object is on the
    // clipboard: we keep a reference to ask the clipboard about it.
    if (madeFolder) {
        FTempFolder.holder = AsIDataObject(data);
        FTempFolder.holder->AddRef();
    }

    bool result = false;
    if (!drag) {
        result = SetClipboardRetrying(AsIDataObject(data)) == S_OK;
    } else if (TDropSource *source = new (std::nothrow) TDropSource()) {
        if (OnDragLoop)
            OnDragLoop(true);
        DWORD effect = DROPEFFECT_NONE;
        result = DoDragDrop(AsIDataObject(data), AsIDropSource(source), DROPEFFECT_COPY, &effect) ==
                 DRAGDROP_S_DROP;
        if (OnDragLoop)
            OnDragLoop(false);
        source->Release();
    }
    // The clipboard or a drop target that still holds it keeps it alive.
    data->Release();
    // A copy that replaced our previous data object on the clipboard frees
    // that object's folder.
    RemoveUnheldFolders();
    return result;
}

bool TDataCopyDrag::MakeTempFile(const char *name, const char *text)
{
    return MakeTempFile(name, text, text ? strlen(text) : 0);
}

bool TDataCopyDrag::MakeTempFile(const char *name, const char *text, size_t length)
{
    RetireTempFolder();
    FFileError = 0;
    if (!name || !text || !IsPlainFileName(name))
        return FileFailed(ERROR_INVALID_NAME);

    // GetTempPathA leaves the buffer unfilled and returns the size it needs
    // when the path does not fit.
    char temp[MAX_PATH];
    const DWORD tempLength = GetTempPathA(MAX_PATH, temp);
    if (tempLength == 0 || tempLength >= MAX_PATH)
        return FileFailed(tempLength ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    std::unique_ptr<char[]> folder(new (std::nothrow) char[MAX_PATH]());
    if (!folder)
        return FileFailed(ERROR_NOT_ENOUGH_MEMORY);
    if (!MakeTempFolder(temp, GetTickCount(), strlen(name), folder.get()))
        return FileFailed(GetLastError());
    FTempFolder.path = std::move(folder);

    // MakeTempFolder has left room for "\" and the name.
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", TempFolder(), name);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        RemoveTempFolder();
        return FileFailed(error);
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    const DWORD writeError = ok ? (written == length ? 0 : ERROR_DISK_FULL) : GetLastError();
    // A full disk may only show when the file is closed (a delayed write).
    const DWORD closeError = CloseHandle(file) ? 0 : GetLastError();
    if (writeError || closeError) {
        RemoveTempFolder();
        return FileFailed(writeError ? writeError : closeError);
    }
    AddFileName(path);
    return true;
}

bool TDataCopyDrag::FileFailed(DWORD code)
{
    FFileError = code ? code : ERROR_GEN_FAILURE;
    return false;
}

void TDataCopyDrag::RemoveTempFolder()
{
    Remove(FTempFolder);
}

void TDataCopyDrag::Remove(TFolder &folder)
{
    if (folder.path)
        DeleteFolderTree(folder.path.get());
    folder.path.reset();
    if (folder.holder)
        folder.holder->Release();
    folder.holder = nullptr;
}

void TDataCopyDrag::RemoveUnheldFolders()
{
    // OleIsCurrentClipboard compares with the object the clipboard holds;
    // another program's copy, or our next one, makes it answer S_FALSE.
    for (auto it = FKept.begin(); it != FKept.end();) {
        if (OleIsCurrentClipboard(it->holder) == S_OK) {
            ++it;
        } else {
            Remove(*it);
            it = FKept.erase(it);
        }
    }
}

void TDataCopyDrag::RetireTempFolder()
{
    if (FTempFolder.holder && OleIsCurrentClipboard(FTempFolder.holder) == S_OK) {
        FKept.push_back(std::move(FTempFolder));
        FTempFolder = TFolder();
    } else {
        RemoveTempFolder();
    }
    RemoveUnheldFolders();
}

void TDataCopyDrag::ClearPending()
{
    free(FPending);
    FPending = nullptr;
    FCount = 0;
}

void TDataCopyDrag::FreePending()
{
    for (size_t i = 0; i < FCount; ++i)
        GlobalFree(FPending[i].block);
    ClearPending();
}
