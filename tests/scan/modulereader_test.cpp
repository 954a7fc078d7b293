// The reader on files: fixture modules of our own (PE32 and PE32+), images
// crafted by TPeBuilder, and the executable's own exports.
#include "scan/modulereader.h"
#include "scan/peimage.h"
#include "tests/scan/imagebuilder.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

namespace {

using TPairs = std::vector<std::pair<std::string, uint32_t>>;

TPairs Pairs(const TNameList &list)
{
    TPairs out;
    for (const TNameEntry &e : list)
        out.emplace_back(e.Text, e.Number);
    return out;
}

// Reads path with a list that holds one sentinel entry beforehand.
uint32_t Read(const std::string &path, bool exportTable, TPairs &pairs)
{
    TNameList list{{"sentinel", 7, 0, 0}};
    const uint32_t code = ReadFunctionNames(path, exportTable, list);
    pairs = Pairs(list);
    return code;
}

const TPairs Sentinel{{"sentinel", 7}};

// The file can be opened with no sharing at all: nobody holds it open.
bool Unheld(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

}  // namespace

// fixexports.dll: ordinals 6, 5, 9, 7 with base 5, then the NONAME export (8).
const TPairs FixExports{{"AlphaFunc", 1}, {"HeapAlloc", 0}, {"Zeta", 4}, {"heapalloc", 2}, {"%8", 3}};

TEST(ModuleReader, ExportsComeInNameTableOrderWithUnbiasedOrdinals)
{
    TPairs pairs;
    EXPECT_EQ(0u, Read(TestDir() + "fixexports.dll", true, pairs));
    EXPECT_EQ(FixExports, pairs);
}

TEST(ModuleReader, OrdinalOnlyExportsAreListedByTheirOrdinal)
{
    TPairs pairs;
    EXPECT_EQ(0u, Read(TestDir() + "fixnoname.dll", true, pairs));
    EXPECT_EQ((TPairs{{"%1", 0}, {"%2", 1}}), pairs);
}

TEST(ModuleReader, ImportsByNameAndByOrdinal)
{
    TPairs pairs;
    EXPECT_EQ(0u, Read(TestDir() + "fiximports.exe", false, pairs));
    EXPECT_EQ((TPairs{{"GetTickCount\rKERNEL32.dll", 500}, {"%17\rWS2_32.dll", 0}}), pairs);
}

TEST(ModuleReader, SixtyFourBitModulesGiveThePe32Entries)
{
    TPairs pairs;
    EXPECT_EQ(0u, Read(TestDir() + "fixexports64.dll", true, pairs));
    EXPECT_EQ(FixExports, pairs);
    EXPECT_EQ(0u, Read(TestDir() + "fiximports64.exe", false, pairs));
    EXPECT_EQ((TPairs{{"GetTickCount\rKERNEL32.dll", 500}, {"%17\rWS2_32.dll", 0}}), pairs);
}

TEST(ModuleReader, MissingDirectoryIsAnEmptySuccessWhateverTheLastErrorWas)
{
    // An EXE without exports, and an image without any directory.
    const std::string dir = NewTempDir("nodirs");
    ASSERT_TRUE(TPeBuilder().WriteTo(dir + "bare.dll"));
    const std::vector<std::pair<std::string, bool>> cases = {
        {TestDir() + "fiximports.exe", true}, {dir + "bare.dll", true}, {dir + "bare.dll", false}};
    for (const auto &c : cases) {
        SetLastError(ERROR_ACCESS_DENIED);  // left over from earlier work
        TPairs pairs;
        EXPECT_EQ(0u, Read(c.first, c.second, pairs)) << c.first << " " << c.second;
        EXPECT_EQ(Sentinel, pairs) << c.first;
    }
    DeleteFileA((dir + "bare.dll").c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(ModuleReader, EmptyTablesEmptyTheList)
{
    // The linker writes an empty import table into DLLs without imports and an
    // empty export table into a resource-only DLL.
    const std::vector<std::pair<std::string, bool>> cases = {
        {"fixexports.dll", false}, {"fixresource.dll", true}, {"fixresource.dll", false}};
    for (const auto &c : cases) {
        TPairs pairs;
        EXPECT_EQ(0u, Read(TestDir() + c.first, c.second, pairs)) << c.first << " " << c.second;
        EXPECT_TRUE(pairs.empty()) << c.first;
    }
}

TEST(ModuleReader, FilesThatCannotBeReadGiveTheSystemCodeAndLeaveTheList)
{
    TPairs pairs;
    EXPECT_EQ(uint32_t(ERROR_BAD_EXE_FORMAT), Read(TestDir() + "notamodule.dll", true, pairs));
    EXPECT_EQ(Sentinel, pairs);
    EXPECT_EQ(uint32_t(ERROR_FILE_NOT_FOUND), Read(TestDir() + "nosuchfile.dll", true, pairs));
    EXPECT_EQ(Sentinel, pairs);
    EXPECT_NE(0u, Read("", true, pairs));
    EXPECT_EQ(Sentinel, pairs);
}

TEST(ModuleReader, OpenErrorsAreTheSystemCodes)
{
    const std::string held = TestDir() + "held.dll";
    ASSERT_TRUE(CopyFileA((TestDir() + "fixexports.dll").c_str(), held.c_str(), FALSE));
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    const struct {
        std::string Path;
        uint32_t Code;
    } cases[] = {
        {TestDir() + "nosuchfile.dll", ERROR_FILE_NOT_FOUND},
        {TestDir() + "nosuchfolder\\fixexports.dll", ERROR_PATH_NOT_FOUND},
        {TestDir() + "linkloop", ERROR_ACCESS_DENIED},  // a folder
        {held, ERROR_SHARING_VIOLATION},
    };
    for (const auto &c : cases) {
        TPairs pairs;
        EXPECT_EQ(c.Code, Read(c.Path, true, pairs)) << c.Path;
        EXPECT_EQ(Sentinel, pairs) << c.Path;
    }
    CloseHandle(h);
    DeleteFileA(held.c_str());
}

TEST(ModuleReader, FileThatShrinksWhileItIsReadFaults)
{
    // The export table lies beyond the block read with the headers.
    const uint32_t dir = 0x6000;
    TPeBuilder b(8);
    b.PutExports(dir, {"Alpha", "Beta"}, {0, 1});
    const std::string path = TestDir() + "shrinks.dll";
    ASSERT_TRUE(b.WriteTo(path));
    TFileSource file;
    ASSERT_EQ(0u, file.Open(path));
    TPeImage image(file);
    ASSERT_EQ(0u, image.Open());
    // Others may write the file meanwhile: cut it below the table.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER at;
    at.QuadPart = 0x2000;
    ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
    TNameList list;
    EXPECT_EQ(CodeWalkFault, WalkExportNames(image, dir, list));
    EXPECT_TRUE(list.empty());
}

TEST(ModuleReader, FileBeyondFourGigabytesIsReadWithoutMappingIt)
{
    // A sparse file of 5 GiB whose second section's raw data lies across the
    // 4 GiB mark: its bytes there are zeros, so the name read there is empty.
    TPeBuilder b;
    b.PutExports(TPeBuilder::DataRva, {"Alpha", "Beta"}, {0, 1});
    b.Put16(TPeBuilder::Nt + 6, 2);  // a second section at 0x3000
    const uint32_t sec2 = b.SectionAt() + 40;
    b.Put32(sec2 + 8, 0x1000);
    b.Put32(sec2 + 12, 0x3000);
    b.Put32(sec2 + 16, 0x1000);
    b.Put32(sec2 + 20, 0xFFFFFE00);
    b.Put32(TPeBuilder::SizeOfImageAt, 0x4000);
    b.Put32(TPeBuilder::DataRva + TPeBuilder::ExportDirectorySize + 4, 0x3100);
    const std::string path = TestDir() + "huge.dll";
    ASSERT_TRUE(b.WriteTo(path));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER size;
    size.QuadPart = 5LL << 30;
    ASSERT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
    TPairs pairs;
    EXPECT_EQ(0u, Read(path, true, pairs));
    EXPECT_EQ((TPairs{{"Alpha", 0}, {"", 1}}), pairs);
    DeleteFileA(path.c_str());
}

TEST(ModuleReader, NameWithoutExtensionIsNotTurnedIntoAnotherFile)
{
    // "fixexports" does not exist; the loader would otherwise try fixexports.dll.
    TPairs pairs;
    EXPECT_NE(0u, Read(TestDir() + "fixexports", true, pairs));
    EXPECT_EQ(Sentinel, pairs);

    const std::string dir = NewTempDir("noext");
    ASSERT_TRUE(CopyFileA((TestDir() + "fixexports.dll").c_str(), (dir + "plainname").c_str(), FALSE));
    EXPECT_EQ(0u, Read(dir + "plainname", true, pairs));
    EXPECT_EQ(FixExports, pairs);
    DeleteFileA((dir + "plainname").c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(ModuleReader, CraftedBrokenImagesEndInAFaultOrACleanCode)
{
    const std::string dir = NewTempDir("broken");
    const uint32_t Dir = TPeBuilder::DataRva;

    // An export name RVA past the image after two good ones.
    TPeBuilder badName;
    badName.PutExports(Dir, {"First", "Second", "Third"}, {0, 1, 2});
    badName.Put32(Dir + TPeBuilder::ExportDirectorySize + 8, 0x00F00000);
    // An import lookup table that runs off the image.
    TPeBuilder badLookup;
    badLookup.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    badLookup.Put32(Dir, badLookup.Size() - 4);
    badLookup.Put32(badLookup.Size() - 4, 0x80000001u);
    // A first descriptor with OriginalFirstThunk 0.
    TPeBuilder noLookup;
    noLookup.PutImports(Dir, {{"A.dll", {"F"}, {}}});
    noLookup.Put32(Dir, 0);

    ASSERT_TRUE(badName.WriteTo(dir + "badname.dll"));
    ASSERT_TRUE(badLookup.WriteTo(dir + "badlookup.dll"));
    ASSERT_TRUE(noLookup.WriteTo(dir + "nolookup.dll"));

    TNameList list;
    EXPECT_EQ(CodeWalkFault, ReadFunctionNames(dir + "badname.dll", true, list));
    EXPECT_EQ((TPairs{{"First", 0}, {"Second", 1}}), Pairs(list));
    list.clear();
    EXPECT_EQ(CodeWalkFault, ReadFunctionNames(dir + "badlookup.dll", false, list));
    EXPECT_EQ((TPairs{{"%1\rA.dll", 0}}), Pairs(list));
    TPairs pairs;
    EXPECT_EQ(0u, Read(dir + "nolookup.dll", false, pairs));
    EXPECT_TRUE(pairs.empty());

    // Every file was closed.
    for (const char *name : {"badname.dll", "badlookup.dll", "nolookup.dll"}) {
        EXPECT_TRUE(Unheld(dir + name)) << name;
        DeleteFileA((dir + name).c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

TEST(ModuleReader, FilesAreClosedOnEveryPath)
{
    const uint32_t Dir = TPeBuilder::DataRva;
    TPeBuilder badName;
    badName.PutExports(Dir, {"First", "Second"}, {0, 1});
    badName.Put32(Dir + TPeBuilder::ExportDirectorySize + 4, 0x00F00000);
    TPeBuilder rom;
    rom.Put16(TPeBuilder::MagicAt, 0x107);
    const TPeBuilder bare, flood = OrdinalFloodImports(1000, 8000);
    TPeBuilder text;
    text.Bytes.assign(100, 'x');
    const std::string dir = NewTempDir("release");
    const struct {
        const char *Name;
        const TPeBuilder *Image;  // null: a copy of fixexports.dll
        bool Export;
        uint32_t Code;
    } cases[] = {
        {"exports.dll", nullptr, true, 0},                  // entries
        {"imports.dll", nullptr, false, 0},                 // empty table
        {"bare.dll", &bare, true, 0},                       // no directory
        {"badname.dll", &badName, true, CodeWalkFault},     // bad RVA
        {"flood.dll", &flood, false, CodeWalkFault},        // the limit
        {"rom.dll", &rom, false, CodeBadExeFormat},         // neither PE32 nor PE32+
        {"text.dll", &text, true, CodeBadExeFormat},        // no image
    };
    for (const auto &c : cases) {
        const std::string path = dir + c.Name;
        if (c.Image)
            ASSERT_TRUE(c.Image->WriteTo(path));
        else
            ASSERT_TRUE(CopyFileA((TestDir() + "fixexports.dll").c_str(), path.c_str(), FALSE));
        TNameList list;
        EXPECT_EQ(c.Code, ReadFunctionNames(path, c.Export, list)) << c.Name;
        EXPECT_TRUE(Unheld(path)) << c.Name << " still open";
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

TEST(ModuleReader, ReadingLeavesTheErrorModesAlone)
{
    // The reading thread chooses its own (the search worker turns the
    // critical-error box off for itself).
    const UINT process = GetErrorMode();
    ASSERT_TRUE(SetThreadErrorMode(SEM_NOGPFAULTERRORBOX, nullptr));
    for (const char *name : {"fixexports.dll", "nosuchfile.dll", "notamodule.dll"}) {
        TNameList list;
        ReadFunctionNames(TestDir() + name, true, list);
        EXPECT_EQ(DWORD(SEM_NOGPFAULTERRORBOX), GetThreadErrorMode()) << name;
        EXPECT_EQ(process, GetErrorMode()) << name;
    }
    SetThreadErrorMode(0, nullptr);
}

TEST(KalvexExe, ExportsItsFunctionsByPlainName)
{
    const std::string exe = TestDir() + "..\\Kalvex.exe";
    TPairs pairs;
    ASSERT_EQ(0u, Read(exe, true, pairs));
    std::vector<std::string> names;
    for (const auto &p : pairs)
        names.push_back(p.first);
    EXPECT_EQ((std::vector<std::string>{"DragCheckMouseDown", "DragCheckMouseMove", "DragCheckMouseUp",
                                        "FolderDialog", "FormKalvex", "GetErrorString", "GetLastErrorString"}),
              names);

    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, module);
    for (const char *name : {"GetErrorString", "GetLastErrorString", "DragCheckMouseDown", "DragCheckMouseMove",
                             "DragCheckMouseUp"})
        EXPECT_NE(nullptr, reinterpret_cast<void *>(GetProcAddress(module, name))) << name;
    FreeLibrary(module);
}
