// The folder walk over a fake file system, and module reads that fail after
// the open: what a failing disk or an odd file system must not hide.
#include "scan/modulereader.h"
#include "scan/targetwalk.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Folders keyed by their last name, so that "r/loop/loop" is "loop" again: a
// link cycle. A listing may fail after some entries; identities may be absent.
class TFakeFolders : public FIFolders {
public:
    std::map<std::string, std::vector<TFolderEntry>> Tree;
    std::map<std::string, std::pair<size_t, uint32_t>> FailAfter;  // entries, code
    bool Identities = true;

    uint32_t List(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                  bool) override
    {
        const std::string key = Key(folder);
        const auto fail = FailAfter.find(key);
        size_t given = 0;
        for (const TFolderEntry &e : Tree[key]) {
            if (fail != FailAfter.end() && given == fail->second.first)
                return fail->second.second;
            ++given;
            if (WildcardMatch(pattern.c_str(), e.Name.c_str()))
                entries.push_back(e);
        }
        return 0;
    }
    bool Identity(const std::string &folder, uint64_t &volume, uint64_t &file) override
    {
        volume = 1;
        file = std::hash<std::string>()(Key(folder));
        return Identities;
    }

private:
    static std::string Key(const std::string &folder) { return folder.substr(folder.find_last_of('/') + 1); }
};

struct TWalkLog {
    std::vector<std::string> Files;
    std::vector<std::pair<std::string, uint32_t>> Errors;
};

TWalkLog Walk(TFakeFolders &folders, const std::string &mask, bool recursive = true, bool followLinks = true)
{
    TWalkLog log;
    TWalkEvents events;
    events.FollowLinks = followLinks;
    events.File = [&](const std::string &path) { log.Files.push_back(path); };
    events.Error = [&](const std::string &folder, uint32_t code) { log.Errors.emplace_back(folder, code); };
    WalkTargetFiles("r", mask, recursive, events, folders);
    return log;
}

}  // namespace

TEST(TargetWalk, AFileThatSeveralPatternsMatchIsReportedOnceAtTheFirst)
{
    TFakeFolders f;
    f.Tree["r"] = {{"b.DLL", false, false}, {"a.dll", false, false}, {"c.exe", false, false}};
    const TWalkLog log = Walk(f, "*.exe;*.dll;*.DLL;a*", false);
    EXPECT_EQ((std::vector<std::string>{"r/c.exe", "r/b.DLL", "r/a.dll"}), log.Files);
    EXPECT_TRUE(log.Errors.empty());
}

TEST(TargetWalk, AListingFailingMidwayIsReportedOnceAndWhatItGaveIsKept)
{
    TFakeFolders f;
    f.Tree["r"] = {{"a.dll", false, false}, {"sub", true, false}, {"z.dll", false, false}};
    f.Tree["sub"] = {{"s.dll", false, false}};
    f.FailAfter["r"] = {2, 1117};
    const TWalkLog log = Walk(f, "*.dll");
    EXPECT_EQ((std::vector<std::string>{"r/a.dll", "r/sub/s.dll"}), log.Files);
    EXPECT_EQ((std::vector<std::pair<std::string, uint32_t>>{{"r", 1117}}), log.Errors);
}

TEST(TargetWalk, ALinkToAFolderIsEnteredOnlyWhenLinksAreFollowed)
{
    TFakeFolders f;
    f.Tree["r"] = {{"a.dll", false, false, true}, {"far", true, false, true}, {"near", true, false}};
    f.Tree["far"] = {{"f.dll", false, false}};
    f.Tree["near"] = {{"n.dll", false, false}};
    EXPECT_EQ((std::vector<std::string>{"r/a.dll", "r/far/f.dll", "r/near/n.dll"}), Walk(f, "*.dll").Files);
    // A link to a file is read all the same.
    EXPECT_EQ((std::vector<std::string>{"r/a.dll", "r/near/n.dll"}), Walk(f, "*.dll", true, false).Files);
}

TEST(TargetWalk, ALinkCycleEndsByIdentityOrWithoutOneByDepth)
{
    for (bool identities : {true, false}) {
        TFakeFolders f;
        f.Identities = identities;
        f.Tree["r"] = {{"loop", true, false}};
        f.Tree["loop"] = {{"x.dll", false, false}, {"loop", true, false}};
        const TWalkLog log = Walk(f, "*.dll");
        if (identities) {
            EXPECT_EQ((std::vector<std::string>{"r/loop/x.dll"}), log.Files);
            EXPECT_TRUE(log.Errors.empty());
        } else {
            ASSERT_EQ(size_t(MaxDepthWithoutIdentity - 1), log.Files.size());
            ASSERT_EQ(1u, log.Errors.size());
            EXPECT_EQ(CodeTooManyLinks, log.Errors[0].second);
            std::string deepest = "r";
            for (int i = 0; i < MaxDepthWithoutIdentity; ++i)
                deepest += "/loop";
            EXPECT_EQ(deepest, log.Errors[0].first);
        }
    }
}

TEST(ModuleRead, AReadFailingAfterTheOpenGivesTheSystemsCode)
{
    // The headers in the file's first block, the names in a later one.
    const uint32_t names = TPeBuilder::DataRva + 0x3000;
    TPeBuilder b(4);
    b.PutExports(names, {"Alpha", "Beta"}, {0, 1});
    b.SetDirectory(0, names, TPeBuilder::ExportDirectorySize);
    for (uint64_t at : {uint64_t(0), uint64_t(names)})
        for (uint32_t code : {1117u, 33u, CodeHandleEof}) {
            TMemorySource source(b.Bytes);
            source.FailAt(at, code);
            TNameList list;
            EXPECT_EQ(code, ReadModuleNames(source, true, list)) << at << " " << code;
        }
    TMemorySource whole(b.Bytes);
    TNameList list;
    EXPECT_EQ(0u, ReadModuleNames(whole, true, list));
    EXPECT_EQ(2u, list.size());
}
