// The name cache: what the reader gave for a module file and one table,
// kept on disk and keyed by the file's stamp as the folder listing gives it,
// so that a search over files that did not change opens none of them.
//
// One cache object serves one search (a window pass, a kalvex-find run) and
// may be shared by its reading threads. It never decides a row: an entry is
// used only when its path, table and stamp equal the file's and every byte
// of it passes its checksum; anything else is a fresh read, which replaces
// the entry. A folder that cannot be used means no cache, never an error.
#pragma once

#include "scan/cachefile.h"
#include "scan/filesource.h"
#include "scan/nametables.h"
#include "scan/stopcheck.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <string>
#include <vector>

// What a search took from the cache and what it read, for the benchmark.
struct TNameCacheCounts {
    uint64_t Hits = 0;   // entries used: files not opened
    uint64_t Reads = 0;  // files read
    uint64_t Kept = 0;   // reads written to the cache
};

class TNameCache {
public:
    // The file stays below this many bytes: when a search leaves it larger,
    // the oldest entries go until it holds half of it.
    static const uint64_t DefaultLimit = uint64_t(256) << 20;

    // Opens the cache in folder (made if missing; "" for none). A folder
    // that cannot be made or written leaves the cache off; Problem says why.
    explicit TNameCache(const std::string &folder, uint64_t limit = DefaultLimit);
    ~TNameCache();
    TNameCache(const TNameCache &) = delete;
    TNameCache &operator=(const TNameCache &) = delete;

    bool On() const { return FFile.IsOpen(); }
    const std::string &Folder() const { return FFolder; }
    // Why a cache asked for is off, in one line; "" when on or not asked for.
    const std::string &Problem() const { return FProblem; }

    // ReadFunctionNames of the file at path, from the cache when stamp (from
    // the listing, or from FileStamp) equals its entry's; else read, and
    // kept when the read gave the file's table or told it is no module
    // (failures of the open or of a read, and stopped reads, are not kept).
    // list is replaced; exportBase receives the base, 0 when there is none.
    // known, when given, is asked with the identity of the list the cache
    // holds for the file before it is decoded: equal lists (of links and
    // copies) have one identity while the cache is open. When it holds, the
    // caller has what it made of that list before and list stays empty.
    uint32_t ReadFunctionNames(const std::string &path, const TFileStamp &stamp, bool exportTable, TNameList &list,
                               const TStopCheck &stopped = nullptr, uint32_t *exportBase = nullptr,
                               const std::function<bool(uint64_t list)> &known = nullptr);
    // Writes what is still to be written and keeps the file under its
    // limit; the cache is off afterwards.
    void Close();
    TNameCacheCounts Counts() const;

private:
    struct TEntry;
    struct TSlotUpdate;
    bool OpenFile();
    bool MakeFile();
    bool ReadHeader(TCacheFile &file, uint32_t &slotBits, uint64_t &generation) const;
    bool Lookup(const std::string &key, bool exportTable, const TFileStamp &stamp, uint32_t &code, uint32_t &base,
                std::shared_ptr<const std::vector<uint8_t>> &list, uint64_t &same);
    void Forget();
    uint8_t *SlotAt(uint64_t slot);
    void SlotWindow(uint64_t tag, uint8_t *out);
    bool PlaceSlot(uint64_t tag, uint64_t offset);
    bool WriteBlock(size_t at);
    bool FileRecord(uint64_t offset, std::vector<uint8_t> &record);
    std::shared_ptr<const std::vector<uint8_t>> ListRecord(uint64_t offset, uint32_t size, uint64_t hash);
    bool ReadRecord(uint64_t offset, uint8_t kind, std::vector<uint8_t> &record) const;
    void Keep(TEntry &&entry);
    void Flush();
    bool FollowCurrentFile();
    std::vector<TEntry> WriteBatch(bool &full);
    bool Compact(uint64_t budget, bool grow);

    std::string FFolder, FPath, FLockPath;
    uint64_t FLimit;
    std::string FProblem;
    std::string FKeyBase;
    TCacheFile FFile;
    uint32_t FSlotBits = 0;
    uint64_t FGeneration = 0;
    TCacheLock FLock;
    mutable std::mutex FMutex;
    std::vector<TEntry> FPending;
    uint64_t FPendingBytes = 0;
    TNameCacheCounts FCounts;
    // What lookups keep of the file (see namecache.cpp).
    std::vector<uint64_t> FBlockNumbers;
    std::vector<std::vector<uint8_t>> FBlocks;
    std::vector<std::pair<uint32_t, uint32_t>> FDirty;  // each block's bytes changed, [from, to)
    std::vector<uint8_t> FOut;  // a batch of records
    std::vector<uint8_t> FAhead, FRecord;
    uint64_t FAheadAt = 0;
    std::unordered_map<uint64_t, std::shared_ptr<const std::vector<uint8_t>>> FLists;
    uint64_t FListBytes = 0;
    bool FCannotRewrite = false;
    uint64_t FEpoch = 0;  // counts the files the cache has read: a list's identity has it
};

// The checksum of the cache file's header and records (for tools and tests
// that look into the file).
uint64_t NameCacheChecksum(const void *data, size_t size);

// The folder a cache lives in unless told otherwise (see DefaultCacheFolder).
inline std::string NameCacheFolder()
{
    return DefaultCacheFolder();
}
