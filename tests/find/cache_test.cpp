// kalvex-find with its name cache cold, warm and off gives the same bytes,
// also after each of a table of changes to the files between two searches;
// two searches at once with one cache leave a cache that reads back whole.
#include "scan/modulereader.h"
#include "scan/namecache.h"
#include "tests/find/findrun.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TRun Find(const std::string &cwd, const std::string &args)
{
    const std::string err = cwd + ".err";
    return FinishRun(popen(FindCommand(cwd, args, err).c_str(), "r"), err);
}


// Modules of both kinds in nested folders (several of one size, a link and
// a copy), files that are no modules, and a cache folder beside them.
class FindCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string base = (fs::temp_directory_path() / ("kalvex-findcache-" + std::to_string(getpid()))).string();
        fs::remove_all(base);
        fs::create_directories(base + "/tree/sub/deeper");
        Root = fs::canonical(base + "/tree").string();
        Cache = base + "/cache";
        for (int m = 0; m < 6; ++m)
            Module(m, m % 2 == 1, Root + (m < 4 ? "/m" : "/sub/deeper/m") + std::to_string(m) + ".dll");
        // Equal lists, which a run matches once: a link and a copy.
        fs::create_hard_link(Root + "/m0.dll", Root + "/sub/link.dll");
        fs::copy_file(Root + "/m2.dll", Root + "/sub/copy.dll");
        std::ofstream(Root + "/text.dll") << "not a module";
        std::ofstream(Root + "/sub/data.bin") << std::string(5000, 'x');
    }
    void TearDown() override { fs::remove_all(fs::path(Root).parent_path()); }

    // Module m: its own export and import names.
    static void Module(int m, bool pe32plus, const std::string &path)
    {
        TPeBuilder b(2, 0x30000000, pe32plus);
        const std::string n = std::to_string(m);
        const uint32_t end =
            b.PutExports(TPeBuilder::DataRva, {"Alloc" + n, "Alloc" + n + "Ex", "Free" + n, "Zero"}, {0, 3, 2, 5});
        b.PutImports(end + 8, {{"K" + n + ".dll", {"HeapAlloc" + n}, {uint16_t(17 + m)}}});
        ASSERT_TRUE(b.WriteTo(path));
    }

    std::string Root, Cache;
};

// The searches compared: both tables, every file named (-- errors), a
// keyword, and files named on the command line.
const char *const Searches[] = {
    "-r --mask all --errors ''",
    "--imports -r --mask all --errors ''",
    "-r -i alloc",
    "--imports -x HeapAlloc0 m0.dll text.dll missing.dll sub/deeper/m5.dll",
};

}  // namespace

TEST_F(FindCache, ColdWarmAndOffGiveTheSameBytesBeforeAndAfterEachChange)
{
    const std::string m0 = Root + "/m0.dll";
    const auto before = fs::last_write_time(Root + "/m3.dll");
    const std::pair<const char *, std::function<void()>> changes[] = {
        {"nothing", [] {}},
        {"touched", [&] { fs::last_write_time(m0, fs::last_write_time(m0) + std::chrono::seconds(10)); }},
        {"appended", [&] { std::ofstream(Root + "/m1.dll", std::ios::app) << std::string(100, '\0'); }},
        {"truncated", [&] { fs::resize_file(Root + "/m2.dll", 700); }},
        // In place (the same inode), and its time set back: only the change time tells.
        {"replaced by another module of the same size",
         [&] {
             Module(9, false, Root + "/m3.dll");
             fs::last_write_time(Root + "/m3.dll", before);
         }},
        {"deleted", [&] { fs::remove(Root + "/sub/deeper/m4.dll"); }},
        {"renamed", [&] { fs::rename(Root + "/m1.dll", Root + "/n1.dll"); }},
        {"folder renamed",
         [&] {
             fs::rename(Root + "/sub", Root + "/moved");
             fs::create_directories(Root + "/sub/deeper");
             fs::copy(Root + "/moved/deeper/m5.dll", Root + "/sub/deeper/m5.dll");
         }},
        {"made unreadable", [&] { fs::permissions(m0, fs::perms::none); }},
    };
    for (const auto &change : changes) {
        change.second();
        const bool cold = &change == &changes[0] || &change == &changes[std::size(changes) - 1];
        for (const char *search : Searches) {
            const std::string what = std::string(change.first) + ": " + search;
            const TRun off = Find(Root, std::string("--no-cache ") + search);
            // Warm from the search before the change, then warm from this one.
            EXPECT_EQ(off, Find(Root, "--cache-dir '" + Cache + "' " + search)) << what;
            EXPECT_EQ(off, Find(Root, "--cache-dir '" + Cache + "' " + search)) << what << " (again)";
            fs::remove_all(Cache + "-cold");
            if (cold) {
                EXPECT_EQ(off, Find(Root, "--cache-dir '" + Cache + "-cold' " + search)) << what << " (cold)";
            }
        }
    }
    // The warm searches took the files from the cache: each file's exports
    // are there, whole (but those of the file that cannot be read, unless root).
    TNameCache cache(Cache);
    size_t files = 0;
    for (const auto &e : fs::recursive_directory_iterator(Root))
        if (e.is_regular_file() && e.path().extension() == ".dll" && e.path() != m0) {
            ++files;
            TFileStamp stamp;
            ASSERT_TRUE(FileStamp(e.path().string(), stamp));
            TNameList list;
            cache.ReadFunctionNames(e.path().string(), stamp, true, list);
        }
    EXPECT_EQ(files, cache.Counts().Hits);
}

TEST_F(FindCache, ASystemFolderGivesTheSameBytesColdWarmAndOff)
{
    const std::string sys = KALVEX_SYSTEM_FOLDER;
    if (!fs::exists(sys + "/kernel32.dll"))
        GTEST_SKIP() << "no Wine system folder at " << sys;
    for (const char *search : {"''", "--imports ''", "-i alloc"}) {
        const TRun off = Find(sys, std::string("--no-cache ") + search);
        fs::remove_all(Cache);
        for (const char *state : {"cold", "warm"})
            EXPECT_EQ(off, Find(sys, "--cache-dir '" + Cache + "' " + search)) << state << " " << search;
    }
}

TEST_F(FindCache, TwoSearchesAtOnceWithOneCacheLeaveItWhole)
{
    // More files, so that the two overlap.
    for (int i = 0; i < 200; ++i)
        Module(i, i % 2 == 0, Root + "/sub/c" + std::to_string(i) + ".dll");
    const std::string off = Find(Root, "--no-cache -r ''").Out;
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(Cache);
        const std::string a = Root + ".a", b = Root + ".b";
        FILE *exports = popen(FindCommand(Root, "--cache-dir '" + Cache + "' -r ''", a).c_str(), "r");
        FILE *imports = popen(FindCommand(Root, "--cache-dir '" + Cache + "' --imports -r ''", b).c_str(), "r");
        EXPECT_EQ(off, FinishRun(exports, a).Out);
        FinishRun(imports, b);
        // Every table that either kept reads back, equal to a fresh read.
        TNameCache cache(Cache);
        size_t files = 0;
        for (const auto &e : fs::recursive_directory_iterator(Root))
            if (e.is_regular_file() && e.path().extension() == ".dll")
                for (bool table : {true, false}) {
                    ++files;
                    TFileStamp stamp;
                    FileStamp(e.path().string(), stamp);
                    TNameList cached, fresh;
                    uint32_t cachedBase = 0, freshBase = 0;
                    const uint32_t code = cache.ReadFunctionNames(e.path().string(), stamp, table, cached, nullptr,
                                                                  &cachedBase);
                    const uint32_t freshCode = ReadFunctionNames(e.path().string(), table, fresh, nullptr, &freshBase);
                    EXPECT_EQ(NameListText(freshCode, freshBase, fresh), NameListText(code, cachedBase, cached));
                }
        EXPECT_EQ(files, cache.Counts().Hits) << "round " << round;
    }
}

TEST_F(FindCache, AFolderThatCannotBeUsedIsNamedOnlyWithErrors)
{
    const std::string below = Root + "/text.dll/cache";
    const TRun off = Find(Root, "--no-cache -i alloc");
    EXPECT_EQ(off, Find(Root, "--cache-dir '" + below + "' -i alloc"));
    const TRun named = Find(Root, "--cache-dir '" + below + "' --errors -i alloc");
    EXPECT_EQ(off.Out, named.Out);
    EXPECT_EQ("kalvex-find: " + below + ": the name cache's folder cannot be made; no cache\n"
              "kalvex-find: text.dll: not a PE32 or PE32+ module\n",
              named.Err);
}
