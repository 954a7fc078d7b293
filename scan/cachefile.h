// What the name cache asks of the system (a POSIX and a Win32 half): its
// folder, files that several processes read and write at once, a lock
// between their writers, and the key path of a module file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

// A file of the cache, opened for reading and writing and shared with every
// other process (which may also rename or delete it meanwhile).
class TCacheFile {
public:
    TCacheFile() = default;
    ~TCacheFile();
    TCacheFile(const TCacheFile &) = delete;
    TCacheFile &operator=(const TCacheFile &) = delete;

    // 0, or the system's code. create makes a missing file (never truncates
    // one); a path that is no regular file (a folder, a FIFO) fails.
    uint32_t Open(const std::string &path, bool create);
    void Close();
    bool IsOpen() const { return FHandle != -1; }
    void Swap(TCacheFile &other) { std::swap(FHandle, other.FHandle); }
    // The bytes read at offset, at most n (fewer at the end of the file).
    uint32_t ReadAt(uint64_t offset, void *out, uint32_t n) const;
    bool WriteAt(uint64_t offset, const void *data, uint32_t n);
    // The size now (another process may be appending), 0 when unknown.
    uint64_t Size() const;

private:
    intptr_t FHandle = -1;  // a HANDLE or a file descriptor
};

// The writers' lock: a lock on a file of its own that the system releases
// when its holder ends, however it ends.
class TCacheLock {
public:
    TCacheLock() = default;
    ~TCacheLock();
    TCacheLock(const TCacheLock &) = delete;
    TCacheLock &operator=(const TCacheLock &) = delete;

    // Takes the lock at path (a file made if missing) if no one holds it:
    // tries a few times over a few hundred milliseconds, never waits for a
    // holder that hangs. True when held.
    bool Take(const std::string &path);
    void Release();

private:
    intptr_t FHandle = -1;
};

// The cache's folder by default: %LOCALAPPDATA%\Kalvex on Windows,
// ${XDG_CACHE_HOME:-~/.cache}/kalvex elsewhere; "" when the system names no
// such place. On Windows the cache's folder texts are UTF-8, so that any
// user name fits.
std::string DefaultCacheFolder();
// A folder text as the user gave it (the ANSI code page on Windows) in the
// cache's own form.
std::string CacheFolderFromText(const std::string &text);
// Makes folder and its parents as need be; true when it is a folder then.
bool MakeCacheFolder(const std::string &folder);
// name in the cache's folder.
std::string CachePath(const std::string &folder, const char *name);
// Puts from in the place of to at once (a reader sees the one or the other).
bool ReplaceCacheFile(const std::string &from, const std::string &to);
bool RemoveCacheFile(const std::string &path);
// A number that differs from run to run and from process to process.
uint64_t CacheUniqueNumber();
// What CacheKeyPath completes a relative path with, taken once per search:
// natively the current folder ("" on Windows, which asks the system each
// time, since a file dialog may change the current folder).
std::string CacheKeyBase();
// The path that keys a module file's entries: full, and on Windows with
// its letters folded as the file system folds them (UTF-8).
std::string CacheKeyPath(const std::string &path, const std::string &base);
