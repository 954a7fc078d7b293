#include "scan/namecache.h"

#include "scan/modulereader.h"
#include "scan/peimage.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

// The cache is one file, names.kvc, beside the writers' lock, names.lock.
// All numbers are little-endian.
//
//   header    "KVXNAMES", version, log2 of the index's home slots, the
//             file's generation (a new one whenever the file is rewritten),
//             a checksum of these; padded to IndexAt
//   index     slots of (tag, record offset), 0 tags free; a key's slot is
//             one of the Window slots from its home slot on (no wrap: the
//             index has Window slots past the last home slot)
//   log       records appended one after another
//
// A record is its size (u32, all of it), its kind, its body and a checksum
// of all that. A file record holds the table, the reader's code, the export
// base, the stamp, where its list lies (offset, content hash, record size)
// and the path. A list record holds the encoded entries behind their content
// hash and is shared by every file whose list has the same bytes (hard
// links, copies of one module). Index slots lead to file records (tag: the
// path and table) and to list records (tag: the content hash), so that a
// list is found again when another file has it.
//
// Nobody trusts anything read: a slot leads to a record only if that
// record's checksum holds and its path, table and stamp are the ones asked
// for, and its list record's checksum and content hash hold too; anything
// else is a fresh read. Writers append under the lock, records first and
// then slots, so a write cut short leaves bytes nobody points at, or a slot
// that leads to them and fails the checks. The file is rewritten (a new
// file put in its place) only to keep it under its limit or to give the
// index room; a file whose header is no header of ours is set aside.

namespace {

const char Magic[8] = {'K', 'V', 'X', 'N', 'A', 'M', 'E', 'S'};
const uint32_t Version = 2;
const uint32_t HeaderBytes = 32;
const uint64_t IndexAt = 4096;
const uint32_t SlotBytes = 16;
const uint32_t Window = 32;
const uint32_t MinSlotBits = 12, MaxSlotBits = 22;
const uint8_t KindFile = 1, KindList = 2;
const uint32_t FileFixed = 78;  // a file record's bytes before its path
const uint32_t ListFixed = 13;  // a list record's bytes before its content
const uint32_t MaxRecord = 128u << 20;
// What a search keeps of the file in memory: index blocks (direct-mapped),
// one read-ahead run of the log (file records lie in the order of the walk
// that wrote them) and the lists read last (shared by copies and links).
const uint32_t IndexBlockSlots = 1024;
const uint32_t IndexBlocks = 256;
const uint32_t AheadBytes = 16 * 1024;
const uint64_t ListMemoBytes = 4u << 20;
// Entries wait in memory until this much is to be written.
const uint64_t FlushBytes = 1u << 20;
// What may wait while the lock is busy; past it the entries are dropped.
const uint64_t MaxPendingBytes = 8u << 20;

uint64_t SlotCount(uint32_t bits)
{
    return (uint64_t(1) << bits) + Window;
}

uint64_t LogAt(uint32_t bits)
{
    return IndexAt + SlotCount(bits) * SlotBytes;
}

uint64_t Hash64(const void *data, size_t n, uint64_t seed)
{
    const uint64_t m = 0xc6a4a7935bd1e995ull;
    uint64_t h = seed ^ (n * m);
    const uint8_t *p = static_cast<const uint8_t *>(data);
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t k;
        std::memcpy(&k, p, 8);
        k *= m;
        k ^= k >> 47;
        k *= m;
        h = (h ^ k) * m;
    }
    if (n > 0) {
        uint64_t k = 0;
        std::memcpy(&k, p, n);
        h = (h ^ k) * m;
    }
    h ^= h >> 47;
    h *= m;
    return h ^ (h >> 47);
}

uint64_t NonZero(uint64_t tag)
{
    return tag ? tag : 1;
}

uint64_t FileTag(const std::string &key, bool exportTable)
{
    return NonZero(Hash64(key.data(), key.size(), exportTable ? 0x6578706f7274ull : 0x696d706f7274ull));
}

uint64_t ListTag(uint64_t contentHash)
{
    return NonZero(Hash64(&contentHash, 8, 0x6c697374ull));
}

uint64_t ContentHash(const std::vector<uint8_t> &content)
{
    return Hash64(content.data(), content.size(), 0x636f6e74656e74ull);
}

void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put64(std::vector<uint8_t> &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t Get64(const uint8_t *p)
{
    return Get32(p) | uint64_t(Get32(p + 4)) << 32;
}

void Set64(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends the record's checksum and writes its size at its start.
void Seal(std::vector<uint8_t> &out, size_t start)
{
    const uint32_t size = static_cast<uint32_t>(out.size() - start + 8);
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<uint8_t>(size >> (8 * i));
    Put64(out, Hash64(out.data() + start, out.size() - start, 0));
}

uint8_t *PutVarint(uint8_t *p, uint32_t v)
{
    for (; v >= 0x80; v >>= 7)
        *p++ = static_cast<uint8_t>(v | 0x80);
    *p++ = static_cast<uint8_t>(v);
    return p;
}

// A list's content: the count, then each entry's text - the bytes it shares
// with the text before (export names come sorted) and the rest after its
// length - number, name size and flags. Written in place: every read that
// is kept passes here.
std::vector<uint8_t> EncodeList(const TNameList &list)
{
    size_t bytes = 4;
    for (const TNameEntry &e : list)
        bytes += e.Text.size() + 21;
    std::vector<uint8_t> out(bytes);
    uint8_t *p = out.data();
    const uint32_t count = static_cast<uint32_t>(list.size());
    for (int i = 0; i < 4; ++i)
        *p++ = static_cast<uint8_t>(count >> (8 * i));
    const std::string *before = nullptr;
    for (const TNameEntry &e : list) {
        size_t shared = 0;
        if (before)
            for (const size_t most = std::min(before->size(), e.Text.size());
                 shared < most && (*before)[shared] == e.Text[shared];)
                ++shared;
        p = PutVarint(p, static_cast<uint32_t>(shared));
        p = PutVarint(p, static_cast<uint32_t>(e.Text.size() - shared));
        std::memcpy(p, e.Text.data() + shared, e.Text.size() - shared);
        p += e.Text.size() - shared;
        p = PutVarint(p, e.Number);
        p = PutVarint(p, e.NameSize);
        *p++ = e.Flags;
        before = &e.Text;
    }
    out.resize(p - out.data());
    return out;
}

class TReader {
public:
    TReader(const uint8_t *p, size_t n) : FP(p), FEnd(p + n) {}
    bool Varint(uint32_t &v)
    {
        v = 0;
        for (int shift = 0; shift < 35 && FP < FEnd; shift += 7) {
            const uint8_t b = *FP++;
            if (shift == 28 && b > 0x0F)
                return false;
            v |= uint32_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    const uint8_t *Take(size_t n)
    {
        if (size_t(FEnd - FP) < n)
            return nullptr;
        const uint8_t *at = FP;
        FP += n;
        return at;
    }
    bool AtEnd() const { return FP == FEnd; }

private:
    const uint8_t *FP, *FEnd;
};

bool DecodeList(const uint8_t *p, size_t n, TNameList &list)
{
    TReader r(p, n);
    const uint8_t *countAt = r.Take(4);
    if (!countAt)
        return false;
    const uint32_t count = Get32(countAt);
    if (count > n / 5)  // an entry takes five bytes at least
        return false;
    list.clear();
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t shared, rest, number, nameSize;
        const uint8_t *text, *flags;
        if (!r.Varint(shared) || (shared > 0 && (i == 0 || shared > list.back().Text.size())) || !r.Varint(rest) ||
            !(text = r.Take(rest)) || !r.Varint(number) || !r.Varint(nameSize) || !(flags = r.Take(1)))
            return false;
        std::string whole;
        whole.reserve(size_t(shared) + rest);
        if (shared > 0)
            whole.append(list.back().Text, 0, shared);
        whole.append(reinterpret_cast<const char *>(text), rest);
        list.push_back({std::move(whole), number, nameSize, *flags});
    }
    return r.AtEnd();
}

// The stamp fields of a file record, in their order there.
void PutStamp(std::vector<uint8_t> &out, const TFileStamp &s)
{
    Put64(out, s.Size);
    Put64(out, static_cast<uint64_t>(s.Modified));
    Put64(out, static_cast<uint64_t>(s.Changed));
    Put64(out, s.File);
    Put64(out, s.Volume);
}

TFileStamp GetStamp(const uint8_t *p)
{
    TFileStamp s;
    s.Size = Get64(p);
    s.Modified = static_cast<int64_t>(Get64(p + 8));
    s.Changed = static_cast<int64_t>(Get64(p + 16));
    s.File = Get64(p + 24);
    s.Volume = Get64(p + 32);
    s.Known = true;
    return s;
}

// The parts of a file record (offsets into it).
const uint32_t AtTable = 5, AtCode = 6, AtBase = 10, AtStamp = 14, AtList = 54, AtListHash = 62, AtListSize = 70,
               AtPathSize = 74;

std::string HexNumber(uint64_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4)
        text += digits[(n >> shift) & 15];
    return text;
}

// Puts (tag, offset) into the slot of the same tag (the entry it replaces),
// else into the first free one of the tag's window; false when full.
bool PutSlot(TCacheFile &file, uint32_t slotBits, uint64_t tag, uint64_t offset)
{
    uint8_t slots[Window * SlotBytes];
    const uint64_t at = IndexAt + (tag & ((uint64_t(1) << slotBits) - 1)) * SlotBytes;
    if (file.ReadAt(at, slots, sizeof slots) != sizeof slots)
        return false;
    uint32_t chosen = Window;
    for (uint32_t i = 0; i < Window; ++i) {
        const uint64_t slotTag = Get64(slots + i * SlotBytes);
        if (slotTag == tag || slotTag == 0) {
            chosen = i;
            break;
        }
    }
    if (chosen == Window)
        return false;
    uint8_t slot[SlotBytes];
    Set64(slot, tag);
    Set64(slot + 8, offset);
    return file.WriteAt(at + chosen * SlotBytes, slot, SlotBytes);
}

// A header for a file of 2^slotBits home slots.
std::vector<uint8_t> Header(uint32_t slotBits)
{
    std::vector<uint8_t> header(Magic, Magic + 8);
    Put32(header, Version);
    Put32(header, slotBits);
    Put64(header, CacheUniqueNumber());
    Put64(header, Hash64(header.data(), header.size(), 0));
    return header;
}

// Writes header and an empty index into file.
bool WriteEmpty(TCacheFile &file, uint32_t slotBits)
{
    std::vector<uint8_t> block = Header(slotBits);
    block.resize(64 * 1024, 0);
    if (!file.WriteAt(0, block.data(), HeaderBytes))
        return false;
    std::fill(block.begin(), block.begin() + HeaderBytes, 0);
    for (uint64_t at = HeaderBytes; at < LogAt(slotBits);) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(block.size(), LogAt(slotBits) - at));
        if (!file.WriteAt(at, block.data(), n))
            return false;
        at += n;
    }
    return true;
}

// The record at offset, read through run (runBytes of the file from runAt
// on, read anew when it does not hold the record's size; a record longer
// than the run is read alone); false when its size or checksum fails.
bool RecordThroughRun(const TCacheFile &file, uint64_t offset, uint32_t runBytes, std::vector<uint8_t> &run,
                      uint64_t &runAt, std::vector<uint8_t> &record)
{
    if (offset < runAt || offset - runAt + 4 > run.size()) {
        run.resize(runBytes);
        run.resize(file.ReadAt(offset, run.data(), runBytes));
        runAt = offset;
    }
    const uint64_t at = offset - runAt;
    const uint32_t size = at + 4 <= run.size() ? Get32(&run[at]) : 0;
    if (size < ListFixed + 8 || size > MaxRecord)
        return false;
    if (at + size <= run.size()) {
        record.assign(run.begin() + at, run.begin() + at + size);
    } else {
        record.resize(size);
        if (file.ReadAt(offset, record.data(), size) != size)
            return false;
    }
    return Get64(&record[size - 8]) == Hash64(record.data(), size - 8, 0);
}

}  // namespace

// An entry waiting to be written: the file record's fields and the list's content.
struct TNameCache::TEntry {
    std::string Key;
    bool Export;
    uint32_t Code, Base;
    TFileStamp Stamp;
    std::vector<uint8_t> Content;  // empty: no entries
    uint64_t Hash = 0;
};

TNameCache::TNameCache(const std::string &folder, uint64_t limit) : FFolder(folder), FLimit(limit)
{
    if (folder.empty())
        return;
    FPath = CachePath(folder, "names.kvc");
    FLockPath = CachePath(folder, "names.lock");
    FKeyBase = CacheKeyBase();
    // Most searches find the file; the folder is made only when it is not.
    if (OpenFile())
        return;
    if (!MakeCacheFolder(folder)) {
        FProblem = "the name cache's folder cannot be made; no cache";
        return;
    }
    // Missing, damaged, or something else in its place: made anew under
    // the lock, which also tells whether the folder can be written.
    if (FLock.Take(FLockPath)) {
        if (!OpenFile())
            MakeFile();
        FLock.Release();
    }
    if (!On())
        FProblem = "the name cache's folder cannot be written (or another program holds it); no cache";
}

TNameCache::~TNameCache()
{
    // Also while an exception unwinds a search: what is not written is lost.
    try {
        Close();
    } catch (...) {
    }
}

bool TNameCache::ReadHeader(TCacheFile &file, uint32_t &slotBits, uint64_t &generation) const
{
    uint8_t h[HeaderBytes];
    if (file.ReadAt(0, h, HeaderBytes) != HeaderBytes || std::memcmp(h, Magic, 8) != 0 || Get32(h + 8) != Version ||
        Get64(h + 24) != Hash64(h, 24, 0))
        return false;
    slotBits = Get32(h + 12);
    generation = Get64(h + 16);
    return slotBits >= MinSlotBits && slotBits <= MaxSlotBits && file.Size() >= LogAt(slotBits);
}

bool TNameCache::OpenFile()
{
    Forget();
    if (FFile.Open(FPath, false) == 0 && ReadHeader(FFile, FSlotBits, FGeneration))
        return true;
    FFile.Close();
    return false;
}

bool TNameCache::MakeFile()
{
    // What is in the way (a damaged file, a folder, a FIFO) goes aside,
    // where one such thing is kept for a look.
    const std::string aside = FPath + ".bad";
    RemoveCacheFile(aside);
    ReplaceCacheFile(FPath, aside);
    // Made complete under another name, then put in place.
    const std::string fresh = FPath + ".new-" + HexNumber(CacheUniqueNumber());
    TCacheFile file;
    const bool written = file.Open(fresh, true) == 0 && WriteEmpty(file, MinSlotBits);
    file.Close();
    if (!written || !ReplaceCacheFile(fresh, FPath)) {
        RemoveCacheFile(fresh);
        return false;
    }
    return OpenFile();
}

bool TNameCache::ReadRecord(uint64_t offset, uint8_t kind, std::vector<uint8_t> &record) const
{
    // Most records fit the first read.
    record.resize(kind == KindList ? 8192 : 512);
    const uint32_t got = FFile.ReadAt(offset, record.data(), static_cast<uint32_t>(record.size()));
    if (got < 4)
        return false;
    const uint32_t size = Get32(record.data());
    const uint32_t least = kind == KindList ? ListFixed + 4 + 8 : FileFixed + 8;
    if (size < least || size > MaxRecord || offset < IndexAt)
        return false;
    if (size > got) {
        record.resize(size);
        if (FFile.ReadAt(offset + got, record.data() + got, size - got) != size - got)
            return false;
    }
    record.resize(size);
    return record[4] == kind && Get64(record.data() + size - 8) == Hash64(record.data(), size - 8, 0);
}

void TNameCache::Forget()
{
    ++FEpoch;
    FBlockNumbers.assign(IndexBlocks, UINT64_MAX);
    FDirty.assign(IndexBlocks, {0, 0});
    FBlocks.resize(IndexBlocks);
    FAhead.clear();
    FLists.clear();
    FListBytes = 0;
}

uint8_t *TNameCache::SlotAt(uint64_t slot)
{
    const uint64_t number = slot / IndexBlockSlots;
    const size_t at = number % IndexBlocks;
    if (FBlockNumbers[at] != number) {
        WriteBlock(at);
        FBlocks[at].resize(IndexBlockSlots * SlotBytes);
        const uint32_t got = FFile.ReadAt(IndexAt + number * IndexBlockSlots * SlotBytes, FBlocks[at].data(),
                                          IndexBlockSlots * SlotBytes);
        std::fill(FBlocks[at].begin() + got, FBlocks[at].end(), 0);
        FBlockNumbers[at] = number;
    }
    return &FBlocks[at][(slot % IndexBlockSlots) * SlotBytes];
}

void TNameCache::SlotWindow(uint64_t tag, uint8_t *out)
{
    const uint64_t first = tag & ((uint64_t(1) << FSlotBits) - 1);
    for (uint64_t slot = first; slot < first + Window; ++slot)
        std::memcpy(out + (slot - first) * SlotBytes, SlotAt(slot), SlotBytes);
}

bool TNameCache::PlaceSlot(uint64_t tag, uint64_t offset)
{
    // The slot of the same tag (the entry it replaces), else the first free one.
    const uint64_t first = tag & ((uint64_t(1) << FSlotBits) - 1);
    for (uint64_t slot = first; slot < first + Window; ++slot) {
        uint8_t *p = SlotAt(slot);
        const uint64_t slotTag = Get64(p);
        if (slotTag != tag && slotTag != 0)
            continue;
        Set64(p, tag);
        Set64(p + 8, offset);
        // Written with the block's other changes.
        const size_t at = (slot / IndexBlockSlots) % IndexBlocks;
        const uint32_t from = static_cast<uint32_t>(slot % IndexBlockSlots) * SlotBytes;
        if (FDirty[at].second == 0)
            FDirty[at] = {from, from + SlotBytes};
        FDirty[at] = {std::min(FDirty[at].first, from), std::max(FDirty[at].second, from + SlotBytes)};
        return true;
    }
    return false;
}

bool TNameCache::WriteBlock(size_t at)
{
    const auto dirty = FDirty[at];
    FDirty[at] = {0, 0};
    return dirty.second == 0 ||
           FFile.WriteAt(IndexAt + FBlockNumbers[at] * IndexBlockSlots * SlotBytes + dirty.first,
                         &FBlocks[at][dirty.first], dirty.second - dirty.first);
}

bool TNameCache::FileRecord(uint64_t offset, std::vector<uint8_t> &record)
{
    return offset >= IndexAt && RecordThroughRun(FFile, offset, AheadBytes, FAhead, FAheadAt, record) &&
           record[4] == KindFile && record.size() >= FileFixed + 8;
}

std::shared_ptr<const std::vector<uint8_t>> TNameCache::ListRecord(uint64_t offset, uint32_t size, uint64_t hash)
{
    const auto known = FLists.find(offset);
    if (known != FLists.end())
        return known->second->size() == size && Get64(known->second->data() + 5) == hash ? known->second : nullptr;
    auto list = std::make_shared<std::vector<uint8_t>>(size);
    if (size < ListFixed + 4 + 8 || size > MaxRecord || offset < IndexAt ||
        FFile.ReadAt(offset, list->data(), size) != size || Get32(list->data()) != size || (*list)[4] != KindList ||
        Get64(list->data() + size - 8) != Hash64(list->data(), size - 8, 0) || Get64(list->data() + 5) != hash ||
        Hash64(list->data() + ListFixed, size - ListFixed - 8, 0x636f6e74656e74ull) != hash)
        return nullptr;
    if (FListBytes + size > ListMemoBytes) {
        FLists.clear();
        FListBytes = 0;
    }
    FListBytes += size;
    FLists.emplace(offset, list);
    return list;
}

bool TNameCache::Lookup(const std::string &key, bool exportTable, const TFileStamp &stamp, uint32_t &code,
                        uint32_t &base, std::shared_ptr<const std::vector<uint8_t>> &list, uint64_t &same)
{
    std::lock_guard<std::mutex> hold(FMutex);
    if (!On())
        return false;
    const uint64_t tag = FileTag(key, exportTable);
    const uint64_t first = tag & ((uint64_t(1) << FSlotBits) - 1);
    for (uint64_t slot = first; slot < first + Window; ++slot) {
        const uint8_t *p = SlotAt(slot);
        const uint64_t slotTag = Get64(p);
        if (slotTag == 0)
            break;
        if (slotTag != tag || !FileRecord(Get64(p + 8), FRecord))
            continue;
        const uint8_t *r = FRecord.data();
        const uint32_t pathSize = Get32(r + AtPathSize);
        if (pathSize != FRecord.size() - FileFixed - 8 || key.size() != pathSize ||
            std::memcmp(key.data(), r + FileFixed, pathSize) != 0 || r[AtTable] != (exportTable ? 1 : 0))
            continue;
        // The file's entry: of use only if the file is as it was.
        if (!(GetStamp(r + AtStamp) == stamp))
            return false;
        const uint64_t listAt = Get64(r + AtList);
        list = nullptr;
        if (listAt != 0 && !(list = ListRecord(listAt, Get32(r + AtListSize), Get64(r + AtListHash))))
            return false;
        // A list's offset names it until the file is another one.
        same = FEpoch << 48 | listAt;
        code = Get32(r + AtCode);
        base = Get32(r + AtBase);
        ++FCounts.Hits;
        return true;
    }
    return false;
}

uint32_t TNameCache::ReadFunctionNames(const std::string &path, const TFileStamp &stamp, bool exportTable,
                                       TNameList &list, const TStopCheck &stopped, uint32_t *exportBase,
                                       const std::function<bool(uint64_t list)> &known)
{
    list.clear();
    uint32_t code = 0, base = 0;
    std::string key;
    if (On() && stamp.Known) {
        key = CacheKeyPath(path, FKeyBase);
        std::shared_ptr<const std::vector<uint8_t>> content;
        uint64_t same = 0;
        if (Lookup(key, exportTable, stamp, code, base, content, same) &&
            ((content && known && known(same)) || !content ||
             DecodeList(content->data() + ListFixed, content->size() - ListFixed - 8, list))) {
            if (exportBase)
                *exportBase = base;
            return code;
        }
        list.clear();
        base = 0;
    }
    TFileSource file;
    code = file.Open(path);
    if (code == 0)
        code = ReadModuleNames(file, exportTable, list, stopped, &base);
    if (exportBase)
        *exportBase = base;
    // Kept: a table read whole, or a file that is no module (most files of
    // a big tree). Not kept: what says nothing of the content (an open or a
    // read that failed, a stop) and a damaged table, which also stands for
    // memory that ran out. The stamp of the open file must still be the
    // listing's, else the file changed in between and the read belongs to
    // neither stamp for certain.
    TFileStamp opened;
    const bool keep =
        !key.empty() && (code == 0 || code == CodeBadExeFormat) && file.Stamp(opened) && opened == stamp;
    if (!keep) {
        std::lock_guard<std::mutex> hold(FMutex);
        ++FCounts.Reads;
        return code;
    }
    TEntry entry{key, exportTable, code, base, stamp, list.empty() ? std::vector<uint8_t>() : EncodeList(list)};
    entry.Hash = entry.Content.empty() ? 0 : ContentHash(entry.Content);
    Keep(std::move(entry));
    return code;
}

void TNameCache::Keep(TEntry &&entry)
{
    std::lock_guard<std::mutex> hold(FMutex);
    ++FCounts.Reads;
    if (!On())
        return;
    FPendingBytes += entry.Key.size() + entry.Content.size() + FileFixed;
    FPending.push_back(std::move(entry));
    if (FPendingBytes >= FlushBytes)
        Flush();
}

bool TNameCache::FollowCurrentFile()
{
    // Another process may have rewritten the file, or set it aside, since
    // this one opened it: the file at the path is the one written to.
    TCacheFile now;
    uint32_t bits;
    uint64_t generation;
    if (now.Open(FPath, false) == 0 && ReadHeader(now, bits, generation)) {
        if (generation != FGeneration) {
            FFile.Swap(now);
            FSlotBits = bits;
            FGeneration = generation;
            Forget();
        }
        return true;
    }
    now.Close();
    FFile.Close();
    return MakeFile();
}

void TNameCache::Flush()
{
    if (FPending.empty())
        return;
    if (!FLock.Take(FLockPath)) {
        // Busy: the entries wait for the next flush, within a bound.
        if (FPendingBytes > MaxPendingBytes) {
            FPending.clear();
            FPendingBytes = 0;
        }
        return;
    }
    // A batch larger than half the limit keeps its newest entries.
    size_t first = 0;
    for (uint64_t bytes = FPendingBytes; bytes > FLimit / 2 && first < FPending.size(); ++first)
        bytes -= FPending[first].Key.size() + FPending[first].Content.size() + FileFixed;
    FPending.erase(FPending.begin(), FPending.begin() + first);
    // Entries that found no room are written again once the file has been
    // rewritten with room for them.
    for (int round = 0; round < 2 && !FPending.empty() && FollowCurrentFile(); ++round) {
        bool full = false;
        FPending = WriteBatch(full);
        if (!FPending.empty() && !Compact(full ? FLimit / 2 : FLimit, !full))
            break;
    }
    FPending.clear();
    FPendingBytes = 0;
    FLock.Release();
}

std::vector<TNameCache::TEntry> TNameCache::WriteBatch(bool &full)
{
    const uint64_t end = FFile.Size();
    // Under the lock the index is read afresh: others wrote it meanwhile.
    FBlockNumbers.assign(IndexBlocks, UINT64_MAX);
    std::vector<uint8_t> &out = FOut;
    out.clear();
    out.reserve(FPendingBytes + FPending.size() * (ListFixed + 8));
    struct TSlot {
        uint64_t Tag, Offset;
        size_t Entry;  // the entry whose file record it leads to, or SIZE_MAX for a list
    };
    std::vector<TSlot> slots;
    std::vector<std::pair<const TEntry *, uint64_t>> written;  // the lists of this batch
    for (size_t n = 0; n < FPending.size(); ++n) {
        const TEntry &e = FPending[n];
        uint64_t listAt = 0;
        if (!e.Content.empty()) {
            // The same list written before, in this batch or in the file.
            for (const auto &w : written)
                if (w.first->Hash == e.Hash && w.first->Content == e.Content)
                    listAt = w.second;
            const uint64_t tag = ListTag(e.Hash);
            uint8_t window[Window * SlotBytes];
            if (listAt == 0)
                SlotWindow(tag, window);
            for (uint32_t i = 0; i < sizeof window && listAt == 0; i += SlotBytes) {
                const uint64_t slotTag = Get64(window + i), offset = Get64(window + i + 8);
                if (slotTag == 0)
                    break;
                if (slotTag != tag)
                    continue;
                // Through the lists read last: links and copies meet the same one again.
                const std::shared_ptr<const std::vector<uint8_t>> same =
                    ListRecord(offset, static_cast<uint32_t>(ListFixed + e.Content.size() + 8), e.Hash);
                if (same && std::equal(e.Content.begin(), e.Content.end(), same->begin() + ListFixed))
                    listAt = offset;
            }
            if (listAt == 0) {
                listAt = end + out.size();
                const size_t start = out.size();
                Put32(out, 0);
                out.push_back(KindList);
                Put64(out, e.Hash);
                out.insert(out.end(), e.Content.begin(), e.Content.end());
                Seal(out, start);
                slots.push_back({tag, listAt, SIZE_MAX});
                written.emplace_back(&e, listAt);
            }
        }
        const size_t start = out.size();
        Put32(out, 0);
        out.push_back(KindFile);
        out.push_back(e.Export ? 1 : 0);
        Put32(out, e.Code);
        Put32(out, e.Base);
        PutStamp(out, e.Stamp);
        Put64(out, listAt);
        Put64(out, e.Hash);
        Put32(out, e.Content.empty() ? 0 : static_cast<uint32_t>(ListFixed + e.Content.size() + 8));
        Put32(out, static_cast<uint32_t>(e.Key.size()));
        out.insert(out.end(), e.Key.begin(), e.Key.end());
        Seal(out, start);
        slots.push_back({FileTag(e.Key, e.Export), end + start, n});
    }
    std::vector<TEntry> retry;
    // Past the limit and a quarter the file is first rewritten smaller.
    full = end + out.size() > FLimit + FLimit / 4 || out.size() > UINT32_MAX;
    if (full)
        return std::move(FPending);
    if (!FFile.WriteAt(end, out.data(), static_cast<uint32_t>(out.size())))
        return retry;
    // A list without a slot is still found through its files; only sharing
    // it needs the slot.
    for (const TSlot &s : slots)
        if (!PlaceSlot(s.Tag, s.Offset) && s.Entry != SIZE_MAX)
            retry.push_back(std::move(FPending[s.Entry]));
    for (size_t at = 0; at < IndexBlocks; ++at)
        WriteBlock(at);
    return retry;
}

namespace {

// Reads records of a file in ascending order through runs of a megabyte.
class TLogRun {
public:
    explicit TLogRun(const TCacheFile &file) : FFile(file) {}
    // The record at offset, whose checksum holds; false when there is none.
    bool Record(uint64_t offset, std::vector<uint8_t> &record)
    {
        return RecordThroughRun(FFile, offset, RunBytes, FRun, FAt, record);
    }

private:
    static const uint32_t RunBytes = 1u << 20;
    const TCacheFile &FFile;
    std::vector<uint8_t> FRun;
    uint64_t FAt = 0;
};

// An index in memory up to this size, on disk beyond.
const uint64_t IndexInMemory = 8u << 20;

}  // namespace

bool TNameCache::Compact(uint64_t budget, bool grow)
{
    // A rewrite that failed once (the folder refuses a new file) fails again.
    if (FCannotRewrite)
        return false;
    // What the slots lead to, in file order.
    std::vector<uint64_t> offsets;
    {
        std::vector<uint8_t> chunk(4096 * SlotBytes);
        const uint64_t slotCount = SlotCount(FSlotBits);
        for (uint64_t first = 0; first < slotCount; first += 4096) {
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(4096, slotCount - first) * SlotBytes);
            const uint32_t got = FFile.ReadAt(IndexAt + first * SlotBytes, chunk.data(), want);
            for (uint32_t i = 0; i + SlotBytes <= got; i += SlotBytes)
                if (Get64(&chunk[i]) != 0)
                    offsets.push_back(Get64(&chunk[i + 8]));
        }
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    // The live file records and the lists that passed the checks.
    struct TLive {
        uint64_t At, List;
        uint32_t Size;
    };
    std::vector<TLive> live;
    std::unordered_map<uint64_t, uint32_t> lists;  // offset, size
    std::vector<uint8_t> record, list;
    TLogRun run(FFile);
    for (uint64_t at : offsets) {
        if (at < IndexAt || !run.Record(at, record))
            continue;
        if (record[4] == KindList && record.size() >= ListFixed + 4 + 8) {
            lists[at] = static_cast<uint32_t>(record.size());
            continue;
        }
        if (record[4] != KindFile || record.size() < FileFixed + 8)
            continue;
        const uint64_t listAt = Get64(&record[AtList]);
        if (listAt != 0 && !lists.count(listAt)) {
            if (!ReadRecord(listAt, KindList, list))
                continue;
            lists[listAt] = static_cast<uint32_t>(list.size());
        }
        live.push_back({at, listAt, static_cast<uint32_t>(record.size())});
    }
    // The newest first, as many as the budget holds; then in their order.
    std::reverse(live.begin(), live.end());
    std::unordered_map<uint64_t, uint64_t> moved;  // a list's offset, its new one (0 until written)
    uint64_t used = LogAt(MinSlotBits);
    size_t kept = 0;
    for (; kept < live.size(); ++kept) {
        const TLive &l = live[kept];
        const bool newList = l.List != 0 && !moved.count(l.List);
        const uint64_t need = l.Size + (newList ? lists[l.List] : 0);
        if (used + need > budget)
            break;
        used += need;
        if (newList)
            moved[l.List] = 0;
    }
    live.resize(kept);
    std::reverse(live.begin(), live.end());
    // Half the home slots free, and room to grow when asked.
    uint32_t bits = grow ? std::min(FSlotBits + 2, MaxSlotBits) : MinSlotBits;
    while (bits < MaxSlotBits && (uint64_t(1) << bits) < 2 * (live.size() + moved.size()))
        ++bits;
    const std::string fresh = FPath + ".new-" + HexNumber(CacheUniqueNumber());
    TCacheFile file;
    bool ok = file.Open(fresh, true) == 0 && WriteEmpty(file, bits);
    std::vector<uint8_t> index(SlotCount(bits) * SlotBytes <= IndexInMemory ? SlotCount(bits) * SlotBytes : 0);
    auto place = [&](uint64_t tag, uint64_t offset) {
        if (index.empty()) {
            PutSlot(file, bits, tag, offset);
            return;
        }
        const uint64_t first = tag & ((uint64_t(1) << bits) - 1);
        for (uint64_t slot = first; slot < first + Window; ++slot) {
            uint8_t *p = &index[slot * SlotBytes];
            if (Get64(p) == 0 || Get64(p) == tag) {
                Set64(p, tag);
                Set64(p + 8, offset);
                return;
            }
        }
    };
    std::vector<uint8_t> &out = FOut;
    out.clear();
    uint64_t end = LogAt(bits);
    auto write = [&] {
        ok = ok && file.WriteAt(end, out.data(), static_cast<uint32_t>(out.size()));
        end += out.size();
        out.clear();
    };
    TLogRun again(FFile);
    for (size_t n = 0; ok && n < live.size(); ++n) {
        const TLive &l = live[n];
        uint64_t &listAt = moved[l.List];
        if (l.List != 0 && listAt == 0) {
            if (!ReadRecord(l.List, KindList, list))
                continue;
            listAt = end + out.size();
            place(ListTag(Get64(&list[5])), listAt);
            out.insert(out.end(), list.begin(), list.end());
        }
        if (!again.Record(l.At, record))
            continue;
        const uint32_t size = static_cast<uint32_t>(record.size());
        Set64(&record[AtList], l.List != 0 ? listAt : 0);
        Set64(&record[size - 8], Hash64(record.data(), size - 8, 0));
        const std::string key(reinterpret_cast<const char *>(&record[FileFixed]), size - FileFixed - 8);
        place(FileTag(key, record[AtTable] != 0), end + out.size());
        out.insert(out.end(), record.begin(), record.end());
        if (out.size() >= (1u << 20))
            write();
    }
    write();
    if (!index.empty())
        ok = ok && file.WriteAt(IndexAt, index.data(), static_cast<uint32_t>(index.size()));
    file.Close();
    if (!ok || !ReplaceCacheFile(fresh, FPath)) {
        RemoveCacheFile(fresh);
        FCannotRewrite = true;
        return false;
    }
    return FollowCurrentFile();
}

void TNameCache::Close()
{
    std::lock_guard<std::mutex> hold(FMutex);
    if (!On())
        return;
    Flush();
    if (FFile.Size() > FLimit && FLock.Take(FLockPath)) {
        if (FollowCurrentFile())
            Compact(FLimit / 2, false);
        FLock.Release();
    }
    FFile.Close();
}

uint64_t NameCacheChecksum(const void *data, size_t size)
{
    return Hash64(data, size, 0);
}

TNameCacheCounts TNameCache::Counts() const
{
    std::lock_guard<std::mutex> hold(FMutex);
    return FCounts;
}
