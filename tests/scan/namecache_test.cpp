// The name cache against hostile cache files, its limit, and what it keeps:
// every read through it must give what a fresh read of the file gives.
#include "scan/modulereader.h"
#include "scan/namecache.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

uint32_t Get32(const std::string &bytes, size_t at)
{
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}


std::string Fresh(const std::string &path, bool exports)
{
    TNameList list;
    uint32_t base = 0;
    const uint32_t code = ReadFunctionNames(path, exports, list, nullptr, &base);
    return NameListText(code, base, list);
}

std::string Cached(TNameCache &cache, const std::string &path, bool exports, const TStopCheck &stopped = nullptr)
{
    TFileStamp stamp;
    FileStamp(path, stamp);
    TNameList list;
    uint32_t base = 0;
    const uint32_t code = cache.ReadFunctionNames(path, stamp, exports, list, stopped, &base);
    return NameListText(code, base, list);
}

// Modules of both kinds, a file that is no module, and a cache folder.
class NameCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        Root = (fs::temp_directory_path() / ("kalvex-cache-" + std::to_string(::testing::UnitTest::GetInstance()
                                                                                   ->random_seed()) +
                                             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                   .string();
        fs::remove_all(Root);
        fs::create_directories(Root);
        Folder = (fs::path(Root) / "cache").string();
        File = (fs::path(Folder) / "names.kvc").string();
        for (bool pe32plus : {false, true}) {
            TPeBuilder b(2, 0x30000000, pe32plus);
            // Names that begin like the one before, which the cache keeps once.
            const uint32_t end =
                b.PutExports(TPeBuilder::DataRva, {"Alpha", "AlphaBeta\r", "Alpine", "Gamma"}, {0, 4, 1, 2});
            b.PutImports(end + 8, {{"K.dll", {"Sleep"}, {17}}});
            Files.push_back((fs::path(Root) / (pe32plus ? "b.dll" : "a.dll")).string());
            ASSERT_TRUE(b.WriteTo(Files.back()));
        }
        Files.push_back((fs::path(Root) / "text.dll").string());
        WriteAll(Files.back(), "not a module");
    }
    void TearDown() override
    {
        fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(Root);
    }

    // Every file and table through a cache in Folder, against fresh reads.
    void ExpectFresh(const std::string &what, uint64_t limit = TNameCache::DefaultLimit)
    {
        TNameCache cache(Folder, limit);
        for (const std::string &f : Files)
            for (bool exports : {true, false})
                EXPECT_EQ(Fresh(f, exports), Cached(cache, f, exports)) << what << " " << f;
    }
    // A cache in Folder that holds every file's tables.
    std::string Filled()
    {
        fs::remove_all(Folder);
        ExpectFresh("filling");
        return ReadAll(File);
    }

    std::string Root, Folder, File;
    std::vector<std::string> Files;
};

}  // namespace

TEST_F(NameCache, HostileCacheFilesGiveTheFreshReadsRowsAndAreRebuilt)
{
    const std::string good = Filled();
    ExpectFresh("warm");
    const uint32_t slotBits = Get32(good, 12);
    const size_t log = 4096 + ((size_t(1) << slotBits) + 32) * 16;
    ASSERT_LT(log, good.size());
    std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty", ""},
        {"foreign", "PK\x03\x04 an archive, say"},
        {"header cut", good.substr(0, 20)},
        {"index cut", good.substr(0, log - 100)},
    };
    // The same header with another version, its checksum made good.
    std::string future = good;
    future[8] = 2;
    const uint64_t sum = NameCacheChecksum(future.data(), 24);
    std::memcpy(&future[24], &sum, 8);
    damaged.emplace_back("future version", future);
    // Cut at each record boundary and inside each record.
    size_t records = 0;
    for (size_t at = log; at < good.size(); at += Get32(good, at), ++records) {
        damaged.emplace_back("cut at record " + std::to_string(at), good.substr(0, at));
        damaged.emplace_back("cut inside record " + std::to_string(at), good.substr(0, at + 7));
    }
    // A file record for each file and table, a list for each table: the two
    // modules' lists have the same bytes, and the text has none.
    EXPECT_EQ(8u, records);
    for (const auto &d : damaged) {
        WriteAll(File, d.second);
        ExpectFresh(d.first);
        ExpectFresh(d.first + ", rebuilt");
        TNameCache cache(Folder);
        EXPECT_TRUE(cache.On()) << d.first;
    }
    // A byte flipped in the header, in the tag and the offset of each slot in
    // use, and in every third byte of the records.
    std::vector<size_t> flips;
    for (size_t at = 0; at < 32; ++at)
        flips.push_back(at);
    for (size_t at = 4096; at < log; at += 16)
        if (good.substr(at, 16) != std::string(16, '\0'))
            flips.insert(flips.end(), {at + 3, at + 8});
    for (size_t at = log; at < good.size(); at += 3)
        flips.push_back(at);
    for (size_t at : flips) {
        std::string bytes = good;
        bytes[at] ^= 0x10;
        WriteAll(File, bytes);
        ExpectFresh("byte flipped at " + std::to_string(at));
    }
}

TEST_F(NameCache, AnythingInTheFilesPlaceIsSetAsideAndAFolderThatCannotBeWrittenMeansNoCache)
{
    const std::string good = Filled();
    fs::remove(File);
    fs::create_directories(File + "/inside");
    ExpectFresh("a folder in its place");
    EXPECT_TRUE(fs::is_regular_file(File));
#ifndef _WIN32
    fs::remove_all(File + ".bad");
    fs::remove(File);
    ASSERT_EQ(0, mkfifo(File.c_str(), 0644));
    ExpectFresh("a FIFO in its place");
    EXPECT_TRUE(fs::is_regular_file(File));
    if (geteuid() != 0) {
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        fs::permissions(Folder, fs::perms::owner_read | fs::perms::owner_exec);
        ExpectFresh("a read-only folder");
        EXPECT_FALSE(TNameCache(Folder).On());
        fs::permissions(Folder, fs::perms::owner_all);
    }
#endif
    // A folder that cannot be made: below a file.
    const std::string below = (fs::path(Files[0]) / "cache").string();
    TNameCache none(below);
    EXPECT_FALSE(none.On());
    EXPECT_FALSE(none.Problem().empty());
    for (const std::string &f : Files)
        EXPECT_EQ(Fresh(f, true), Cached(none, f, true));
}

TEST_F(NameCache, KeepsTablesAndNonModulesButNoFailedOrStoppedRead)
{
    const std::string missing = (fs::path(Root) / "missing.dll").string();
    // Imports long enough for the walk to ask whether to stop.
    const std::string flood = (fs::path(Root) / "flood.dll").string();
    ASSERT_TRUE(OrdinalFloodImports(64, 1024).WriteTo(flood));
    {
        TNameCache cache(Folder);
        EXPECT_EQ(Fresh(missing, true), Cached(cache, missing, true));
        const std::string stopped = Cached(cache, flood, false, [] { return true; });
        EXPECT_EQ(0u, stopped.find(std::to_string(CodeWalkStopped) + " "));
        for (const std::string &f : {Files[1], Files[2]})
            Cached(cache, f, true);
        EXPECT_EQ(4u, cache.Counts().Reads);
    }
    TNameCache cache(Folder);
    EXPECT_EQ(Fresh(flood, false), Cached(cache, flood, false));
    for (const std::string &f : {Files[1], Files[2]})
        EXPECT_EQ(Fresh(f, true), Cached(cache, f, true));
    EXPECT_EQ(2u, cache.Counts().Hits);  // b.dll's exports and the text file
    EXPECT_EQ(1u, cache.Counts().Reads);
}

TEST_F(NameCache, PastItsLimitTheOldestEntriesGoFirst)
{
    // Modules whose lists differ, each of about 1 KB (names that share no
    // beginning with the one before, which the cache would keep once).
    std::vector<std::string> modules;
    for (int m = 0; m < 300; ++m) {
        std::vector<std::string> names;
        for (int n = 0; n < 40; ++n)
            names.push_back(std::to_string(n * 7919 % 1009) + "_Function_" + std::to_string(m) + "_" +
                            std::to_string(n));
        TPeBuilder b(2);
        b.PutExports(TPeBuilder::DataRva, names, std::vector<uint16_t>(names.size(), 0));
        modules.push_back((fs::path(Root) / ("m" + std::to_string(m) + ".dll")).string());
        ASSERT_TRUE(b.WriteTo(modules.back()));
    }
    const uint64_t limit = 256 << 10;
    {
        TNameCache cache(Folder, limit);
        for (const std::string &m : modules)
            Cached(cache, m, true);
    }
    EXPECT_LE(fs::file_size(File), limit);
    TNameCache cache(Folder, limit);
    EXPECT_EQ(Fresh(modules.back(), true), Cached(cache, modules.back(), true));
    EXPECT_EQ(1u, cache.Counts().Hits);
    EXPECT_EQ(Fresh(modules.front(), true), Cached(cache, modules.front(), true));
    EXPECT_EQ(1u, cache.Counts().Hits);
}
