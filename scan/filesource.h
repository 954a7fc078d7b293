// Random-access reads of a module's bytes: from a file (a Win32 and a POSIX
// implementation of one small interface) or from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FIByteSource {
public:
    virtual ~FIByteSource() = default;
    // The size when the source was opened; reads may still fail below it
    // when a file shrinks meanwhile.
    virtual uint64_t Size() const = 0;
    // Copies exactly n bytes at offset into out; false on any shortfall,
    // whose system code ReadError then gives.
    virtual bool ReadAt(uint64_t offset, void *out, uint32_t n) = 0;
    // The code of the first read that failed (an I/O error, a lock, a file
    // that shrank: CodeHandleEof), or 0. A read outside Size() is the
    // caller's mistake and sets nothing.
    uint32_t ReadError() const { return FReadError; }

protected:
    // Keeps the first failure's code; returns false for the caller's return.
    bool ReadFailed(uint32_t code)
    {
        if (FReadError == 0)
            FReadError = code;
        return false;
    }

private:
    uint32_t FReadError = 0;
};

class TMemorySource : public FIByteSource {
public:
    TMemorySource(const uint8_t *data, size_t size) : FData(data), FSize(size) {}
    explicit TMemorySource(const std::vector<uint8_t> &bytes) : TMemorySource(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return FSize; }
    bool ReadAt(uint64_t offset, void *out, uint32_t n) override;
    // Makes every read that touches a byte at or past offset fail with code,
    // as a disk that fails there would.
    void FailAt(uint64_t offset, uint32_t code)
    {
        FFailOffset = offset;
        FFailCode = code;
    }

private:
    const uint8_t *FData;
    size_t FSize;
    uint64_t FFailOffset = UINT64_MAX;
    uint32_t FFailCode = 0;
};

// System error codes in Win32 numbering on every platform, so that error rows
// read alike wherever the core runs.
const uint32_t CodeFileNotFound = 2;
const uint32_t CodePathNotFound = 3;
const uint32_t CodeAccessDenied = 5;
const uint32_t CodeHandleEof = 38;  // ERROR_HANDLE_EOF: the file ended early
// A pipe, socket or device: no regular file to read (ERROR_INVALID_FUNCTION).
const uint32_t CodeNotRegularFile = 1;
// errno in that numbering (POSIX builds only).
uint32_t SystemCode(int error);

// What a folder listing tells of a file without opening it, enough to see
// that the file changed: its size and times, and natively the inode and
// device. On Windows the times are FILETIMEs (last write, creation) and the
// file and volume numbers stay 0, as a listing does not give them; natively
// they are the modification and change times in nanoseconds.
struct TFileStamp {
    uint64_t Size = 0;
    int64_t Modified = 0;
    int64_t Changed = 0;
    uint64_t File = 0;
    uint64_t Volume = 0;
    bool Known = false;  // false: nothing could be learnt (no stamp)

    bool operator==(const TFileStamp &o) const
    {
        return Known && o.Known && Size == o.Size && Modified == o.Modified && Changed == o.Changed &&
               File == o.File && Volume == o.Volume;
    }
};
// The stamp of the file at path, taken without opening it (a stat, or the
// attributes the folder gives); false when there is none to take.
bool FileStamp(const std::string &path, TFileStamp &stamp);

// A file opened for reading while others may read, write, rename or delete it.
class TFileSource : public FIByteSource {
public:
    TFileSource() = default;
    ~TFileSource() override;
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;

    // 0, or the system's code for the failed open (2 missing, 3 bad folder,
    // 5 denied or a folder, 32 in use, ...); a source that is no regular
    // file (a device, a pipe) fails too. On Windows the calling thread should
    // have the critical-error box off (SEM_FAILCRITICALERRORS): a drive
    // without its medium would ask the user otherwise.
    uint32_t Open(const std::string &path);
    uint64_t Size() const override { return FSize; }
    bool ReadAt(uint64_t offset, void *out, uint32_t n) override;
    // The open file's stamp, as FileStamp gives it for its path while
    // nothing changes the file; false when it cannot be had.
    bool Stamp(TFileStamp &stamp) const;

private:
    void Close();

    intptr_t FHandle = -1;  // a HANDLE or a file descriptor
    uint64_t FSize = 0;
    TFileStamp FStamp;  // POSIX: taken at the open, which asks for it anyway
};

// ---- folders ----

struct TFolderEntry {
    std::string Name;
    bool Folder;
    bool Hidden;  // a hidden or system folder, which recursive walks pass by
    bool Link = false;  // a symbolic link (on Windows any reparse point), Folder telling where it leads
    TFileStamp Stamp{};  // a file's, when the listing was asked for stamps
};
// Appends the entries of folder whose names match the wildcard pattern ("*"
// any run, "?" one byte, letters without regard to case; "*.*" all): in the
// system's listing order on Windows, in byte order elsewhere. An empty folder
// text is the current folder. 0 (also when nothing matches) or the system's
// code for a folder that cannot be listed, or whose listing failed midway
// (the entries before the failure are kept). "Byte order" folds ASCII
// letters to upper case first, as NTFS and Wine order a listing. On Windows
// a name that the ANSI code page cannot hold exactly is given as its short
// (8.3) name when it has one, else with "?" for what it cannot hold. With
// stamps, each file's stamp comes too: from the listing itself on Windows,
// natively from a stat of the entry that follows a link as an open does.
uint32_t ListFolder(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                    bool stamps = false);
// A folder's identity (volume, file number), so that one reached again
// through a link is known; false when it cannot be had (also when the file
// system gives file number 0, as some network redirectors do).
bool FolderIdentity(const std::string &folder, uint64_t &volume, uint64_t &file);
// Whether path names an existing folder.
bool IsFolder(const std::string &path);
// name in folder, joined by the system's separator; an empty folder (the
// current one) adds nothing.
std::string JoinPath(const std::string &folder, const std::string &name);
// The wildcard rule of ListFolder, for the systems that have none.
bool WildcardMatch(const char *pattern, const char *name);
