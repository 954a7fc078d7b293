// The folder walk on real trees, and a request's targets.
#include "scan/targetfiles.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A folder tree made for one test and removed after it.
class TTree {
public:
    explicit TTree(const std::string &name) : Root(NewTempDir(name)) {}
    ~TTree()
    {
        for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
            SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(it->c_str());
        }
        for (auto it = FDirs.rbegin(); it != FDirs.rend(); ++it) {
            SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryA(it->c_str());
        }
        RemoveDirectoryA(Root.c_str());
    }
    std::string File(const std::string &relative, DWORD attributes = 0)
    {
        const std::string path = Root + relative;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(h);
        if (attributes)
            SetFileAttributesA(path.c_str(), attributes);
        FFiles.push_back(path);
        return path;
    }
    std::string Dir(const std::string &relative, DWORD attributes = 0)
    {
        const std::string path = Root + relative;
        CreateDirectoryA(path.c_str(), nullptr);
        if (attributes)
            SetFileAttributesA(path.c_str(), attributes);
        FDirs.push_back(path);
        return path;
    }
    const std::string Root;

private:
    std::vector<std::string> FFiles, FDirs;
};

// Names as listed, sorted where the file system decides the order.
TStringList Sorted(TStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

}  // namespace

TEST(CollectFiles, ListsMatchingFilesOfOneFolderWithHiddenSystemAndReadOnlyOnes)
{
    TTree t("flat");
    t.File("a.dll");
    t.File("b.DLL", FILE_ATTRIBUTE_HIDDEN);
    t.File("c.dll", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    t.File("d.exe");
    t.File("e.dll.txt");
    t.Dir("sub.dll");  // a folder matching the mask is no file
    t.File("sub.dll\\deep.dll");
    TStringList list;
    CollectFiles(t.Root, "*.dll", list, false);
    EXPECT_EQ((TStringList{t.Root + "a.dll", t.Root + "b.DLL", t.Root + "c.dll"}), Sorted(list));
}

TEST(CollectFiles, PatternsComeInWrittenOrderThenSubfoldersDepthFirst)
{
    TTree t("order");
    t.File("z.exe");
    t.File("y.dll");
    t.Dir("one");
    t.File("one\\p.exe");
    t.File("one\\q.dll");
    t.Dir("one\\inner");
    t.File("one\\inner\\r.dll");
    t.Dir("two");
    t.File("two\\s.dll");
    t.Dir("hidden", FILE_ATTRIBUTE_HIDDEN);
    t.File("hidden\\h.dll");
    t.Dir("system", FILE_ATTRIBUTE_SYSTEM);
    t.File("system\\x.dll");

    TStringList list;
    CollectFiles(t.Root.substr(0, t.Root.size() - 1), "*.dll;*.exe", list, true);
    ASSERT_EQ(6u, list.size());
    EXPECT_EQ(t.Root + "y.dll", list[0]);
    EXPECT_EQ(t.Root + "z.exe", list[1]);
    // Subfolders in listing order, each completely before the next.
    const bool oneFirst = list[2].find("\\one\\") != std::string::npos;
    const TStringList one = {t.Root + "one\\q.dll", t.Root + "one\\p.exe", t.Root + "one\\inner\\r.dll"};
    const TStringList two = {t.Root + "two\\s.dll"};
    TStringList expected = {list[0], list[1]};
    for (const TStringList *part : oneFirst ? std::vector{&one, &two} : std::vector{&two, &one})
        expected.insert(expected.end(), part->begin(), part->end());
    EXPECT_EQ(expected, list);

    TStringList flat;
    CollectFiles(t.Root, "*.dll;*.exe", flat, false);
    EXPECT_EQ((TStringList{t.Root + "y.dll", t.Root + "z.exe"}), flat);
}

TEST(CollectFiles, FolderEndingInADoubleByteCharacterGetsItsDelimiter)
{
    TTree t("dbcs");
    const std::string folder = t.Dir("名前表");
    t.File("名前表\\m.dll");
    TStringList list;
    CollectFiles(folder, "*.dll", list, true);
    EXPECT_EQ((TStringList{folder + "\\m.dll"}), list);
}

TEST(CollectFiles, MissingFolderAndNoMatchesAddNothing)
{
    TTree t("empty");
    t.File("a.txt");
    TStringList list = {"kept"};
    CollectFiles(t.Root + "nothere", "*.dll", list, true);
    CollectFiles(t.Root, "*.dll", list, true);
    CollectFiles(t.Root, "", list, false);
    EXPECT_EQ((TStringList{"kept"}), list);
}

TEST(CollectFiles, ALinkBackToAnOuterFolderIsNotWalkedAgain)
{
    // linkloop\sub\back leads to linkloop itself (made by the build).
    const std::string root = TestDir() + "linkloop";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((root + "\\sub\\back").c_str()));
    TStringList list;
    CollectFiles(root, "*.dll", list, true);
    EXPECT_EQ((TStringList{root + "\\sub\\inside.dll"}), list);
}

TEST(CollectFiles, AStopEndsTheWalkAtTheNextEntry)
{
    TTree t("stop");
    for (const char *dir : {"a", "b"}) {
        t.Dir(dir);
        for (const char *file : {"\\1.dll", "\\2.dll", "\\3.dll"})
            t.File(std::string(dir) + file);
    }
    TStringList all;
    CollectFiles(t.Root, "*.dll", all, true);
    ASSERT_EQ(6u, all.size());
    // Stopped once the n-th file is in: the files so far, and no more.
    for (size_t n : {1, 3, 4}) {
        TStringList list;
        CollectFiles(t.Root, "*.dll", list, true, [&] { return list.size() >= n; });
        EXPECT_EQ(TStringList(all.begin(), all.begin() + n), list) << n;
    }
}

TEST(CollectTargets, WalksFoldersToWalkAndTakesEveryOtherPathAsItIs)
{
    TTree t("sources");
    const std::string folder = t.Dir("dir");
    const std::string inside = t.File("dir\\m.dll");
    const std::string file = t.File("x.txt");
    TTargetRequest request{{{file, true}, {folder, true}, {folder, false}, {t.Root + "none", true}, {"", true}},
                           "*.dll",
                           false};
    TStringList list;
    CollectTargets(request, list);
    EXPECT_EQ((TStringList{file, inside, folder, t.Root + "none", ""}), list);
    EXPECT_EQ((TStringList{"a", "b"}), [] {
        TStringList l;
        CollectTargets(TargetFiles({"a", "b"}), l);
        return l;
    }());
}

TEST(CollectFiles, ANameTheCodePageCannotHoldIsReachedByItsShortNameWhenItHasOne)
{
    TTree t("unlisted");
    t.Dir("a");
    t.File("a\\1.dll");
    // A folder and a file whose names have no ANSI form: they list as "?".
    const std::wstring root(t.Root.begin(), t.Root.end()), odd = root + L"m\u00fc", file = root + L"\u00fc.dll";
    ASSERT_TRUE(CreateDirectoryW(odd.c_str(), nullptr));
    for (const std::wstring &path : {odd + L"\\3.dll", file})
        ASSERT_TRUE(CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(odd.c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    const bool shortNames = found.cAlternateFileName[0] != 0;
    TStringList list;
    CollectFiles(t.Root, "*.dll", list, true);
    DeleteFileW((odd + L"\\3.dll").c_str());
    DeleteFileW(file.c_str());
    RemoveDirectoryW(odd.c_str());
    if (shortNames) {
        // Every file is reached, the odd ones through their short names.
        ASSERT_EQ(3u, list.size()) << testing::PrintToString(list);
        for (const std::string &path : list)
            EXPECT_EQ(std::string::npos, path.find('?')) << path;
        EXPECT_EQ(1, std::count_if(list.begin(), list.end(), [](const std::string &p) {
                      return p.size() > 6 && p.compare(p.size() - 6, 6, "\\3.dll") == 0;
                  }));
    } else {
        // Without one the file is listed as it came, so that opening it fails
        // and tells why; the folder cannot be listed and is passed over.
        EXPECT_EQ((TStringList{t.Root + "?.dll", t.Root + "a\\1.dll"}), Sorted(list));
    }
}
