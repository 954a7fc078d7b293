// TDataCopyDrag: the one transfer collector behind the copy command and the
// drag-out of rows. Payloads are added one by one, then handed to the
// clipboard or to a drag as one data object. Used on the UI thread only.
//
// Typical use (copy; a drag is the same with StartDrag):
//     TDataCopyDrag &transfer = DataCopyDrag();
//     transfer.AddText(tsv);                                    // CF_TEXT, zero included
//     transfer.AddData(RegisterClipboardFormatA("Csv"), csv, strlen(csv) + 1);
//     transfer.AddData(CF_SYLK, sylk, strlen(sylk));            // no zero
//     transfer.CopyToClipboard();                               // adds the file when a name is set
//
// A hand-off's file lives in a temporary folder of its own as long as another
// program may still read it: the folder of the last file step always, an
// older one while the clipboard still holds the data object that lists its
// file. At program end, after the main window is gone, FreeDataCopyDrag()
// tears the collector down: the clipboard keeps rendered copies of the texts,
// the folders are deleted.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class TDataCopyDrag {
public:
    // AddData under CF_TEXT with the text's terminating zero.
    bool AddText(const char *text);
    // A copy of size bytes in a new global memory block, pending under
    // format. False when size is 0 or the block cannot be had.
    bool AddData(CLIPFORMAT format, const void *data, size_t size);
    // A file-drop block (CF_HDROP) listing path.
    bool AddFileName(const char *path);
    // Makes block (GlobalAlloc'ed) pending under format; the collector owns it
    // from now on, and frees it itself when it cannot keep it.
    bool AddHandle(CLIPFORMAT format, HGLOBAL block);
    // The name of the text file that hand-offs add, or null for none.
    void SetFileName(const char *name);
    const char *FileName() const { return FFileName; }

    // Transfer(fileName, false).
    bool CopyToClipboard(const char *fileName = nullptr);
    // Transfer(fileName, true); returns when the drag is over.
    bool StartDrag(const char *fileName = nullptr);
    // Hands every pending payload to one new data object, first writing the
    // first plain text into a file named fileName (or the name set, when
    // fileName is null) and adding that file. Puts the data object on the
    // clipboard, or runs a copy-only drag with it. True when the clipboard
    // took it or the drag ended in a drop. Nothing is pending afterwards.
    bool Transfer(const char *fileName, bool drag);

    // Writes text (without its zero) into the file name in a new folder
    // under the system's temporary folder, after letting go of the previous
    // folder (deleted unless the clipboard still lists its file), and adds
    // the file. On failure no new folder is left.
    bool MakeTempFile(const char *name, const char *text);
    // Deletes the folder of the last file step, if there is one.
    void RemoveTempFolder();
    // The system's code for why the last hand-off's file could not be
    // written (the temporary folder gone or full, a name it cannot take),
    // or 0. The hand-off offers its texts without the file all the same.
    DWORD FileError() const { return FFileError; }
    // The folders of earlier file steps kept because the clipboard still
    // holds the data object that lists their file.
    size_t KeptFolderCount() const { return FKept.size(); }
    // Forgets the pending entries without freeing their blocks.
    void ClearPending();

    // The folder of the last file step, or null.
    const char *TempFolder() const { return FTempFolder.path.get(); }
    // The pending formats, oldest first.
    size_t PendingCount() const { return FCount; }
    CLIPFORMAT PendingFormat(size_t i) const { return FPending[i].format; }
    // Whether OLE was initialised for this thread at construction.
    bool OleInitialized() const { return FOleResult == S_OK || FOleResult == S_FALSE; }

    // Called with true just before the modal drag loop runs and with false
    // right after it. The main window switches off its own acceptance of
    // dropped files here, so that a drag cannot end on itself.
    std::function<void(bool running)> OnDragLoop;

private:
    friend TDataCopyDrag &DataCopyDrag();
    friend void FreeDataCopyDrag();
    TDataCopyDrag();
    ~TDataCopyDrag();
    TDataCopyDrag(const TDataCopyDrag &) = delete;
    TDataCopyDrag &operator=(const TDataCopyDrag &) = delete;

    struct TPending {
        CLIPFORMAT format;
        HGLOBAL block;
    };
    bool MakeTempFile(const char *name, const char *text, size_t length);
    // Records why the file could not be written; returns false.
    bool FileFailed(DWORD code);
    // Writes the first pending plain text into the file name and adds it;
    // true when a new folder holds the file.
    bool AddTempFile(const char *name);
    // Frees the pending blocks, then forgets them.
    void FreePending();
    // A folder with the data object that lists its file (a reference of
    // ours), or none.
    struct TFolder {
        std::unique_ptr<char[]> path;  // zero-filled MAX_PATH bytes
        IDataObject *holder = nullptr;
    };
    // Deletes a folder and drops our reference to its data object.
    static void Remove(TFolder &folder);
    // Deletes the kept folders whose data object the clipboard no longer holds.
    void RemoveUnheldFolders();
    // Lets go of the last file step's folder: kept while the clipboard holds
    // its data object, else deleted.
    void RetireTempFolder();

    HRESULT FOleResult;
    size_t FCount = 0;
    TPending *FPending = nullptr;
    TFolder FTempFolder;         // the last file step's
    std::vector<TFolder> FKept;  // earlier ones the clipboard still lists
    char *FFileName = nullptr;
    DWORD FFileError = 0;
};

// The collector, made at the first call; OLE is initialised for the calling
// thread then.
TDataCopyDrag &DataCopyDrag();
// Tears the collector down, if it was made, in this order: pending payloads
// freed, clipboard flushed (rendered copies stay after the program ends),
// OLE uninitialised when it was initialised, temporary folder deleted, file
// name cleared. Called by the entry point at program end, on the UI thread.
void FreeDataCopyDrag();
