// The file name check, the bounded temporary folder, the file step of the
// collector under broken temporary folders, and the busy-clipboard retry.
#include "transfer/datacopydrag.h"
#include "tests/transfer/transfertest.h"

#include <vector>

namespace {

// Creates folder levels under root until the path is length bytes long.
std::string MakeDeepFolder(std::string path, size_t length)
{
    while (path.size() < length) {
        const size_t need = length - path.size() - 1;
        path += '\\' + std::string(need > 100 ? 50 : need, 'd');
        CreateDirectoryA(path.c_str(), nullptr);
    }
    return path;
}

}  // namespace

TEST(TempFile, OnlyPlainFileNamesAreUsed)
{
    // "\x95\x5c" and "\x83\x7c" are double-byte characters whose trail bytes are "\" and "|".
    for (const char *name : {"FuncList.txt", "\x95\x5c.txt", "\x83\x7c", "CONSOLE.txt", "COM0", "a b.c.d"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const char *name : {"", ".", "..", "..\\evil.txt", "a\\b", "a/b", "c:x", "*.txt", "a?", "a<b", "a|b",
                             "\"q\"", "tab\there", "\x95", "CON", "nul.txt", "Aux .log", "com1", "LPT9.txt"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    EXPECT_FALSE(IsPlainFileName(nullptr));
}

TEST_F(TTempTest, FolderAndFilePathsStayWithinTheirBuffers)
{
    // The number 0x1234 gives four hex digits: folder = temp path + "\" + 4.
    const struct {
        size_t folderLength, nameLength;
        bool made;
    } cases[] = {{257, 1, true}, {257, 2, false}, {258, 0, true}, {259, 0, false}};
    for (const auto &c : cases) {
        const std::string temp = MakeDeepFolder(Root, c.folderLength - 6) + '\\';
        char folder[MAX_PATH + 8];
        memset(folder, 0x55, sizeof folder);
        memset(folder, 0, MAX_PATH);
        EXPECT_EQ(c.made, MakeTempFolder(temp.c_str(), 0x1234, c.nameLength, folder)) << c.folderLength;
        EXPECT_EQ(c.made ? 1 : 0, CountEntries(temp));
        EXPECT_EQ(c.made ? temp + "\\1234" : "", std::string(folder)) << c.folderLength;
        EXPECT_EQ(0x55, folder[MAX_PATH]);
        RemoveDirectoryA(folder);
    }
}

TEST_F(TTempTest, FolderLoopGivesUpAndLeavesOtherFoldersAlone)
{
    const std::string temp = Root + "\\";
    char name[16];
    for (DWORD n = 0xabc00; n < 0xabc00 + MaxTempFolderCandidates; ++n) {
        snprintf(name, sizeof name, "%lx", n);
        CreateDirectoryA((Root + "\\" + name).c_str(), nullptr);
        CloseHandle(CreateFileA((Root + "\\" + name + "\\keep").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }
    char folder[MAX_PATH] = {};
    EXPECT_FALSE(MakeTempFolder(temp.c_str(), 0xabc00, 8, folder));
    EXPECT_EQ(MaxTempFolderCandidates, CountEntries(Root));
    EXPECT_TRUE(MakeTempFolder(temp.c_str(), 0xabc01, 8, folder));  // the 100th name is free
    EXPECT_EQ(temp + "\\abc64", folder);
    for (DWORD n = 0xabc00; n < 0xabc00 + MaxTempFolderCandidates; ++n) {
        snprintf(name, sizeof name, "%lx", n);
        EXPECT_TRUE(Exists(Root + "\\" + name + "\\keep")) << name;
    }
}

TEST_F(TTempTest, FileStepFailsCleanlyWithoutAUsableTempFolder)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    CloseHandle(CreateFileA((Root + "\\plain").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    CreateDirectoryA((Root + "\\other").c_str(), nullptr);
    const std::string tooLong = "C:\\" + std::string(300, 'x');
    const std::string cases[] = {Root + "\\missing\\deeper", Root + "\\plain", tooLong,
                                 MakeDeepFolder(Root + "\\other", 257)};
    for (const std::string &temp : cases) {
        SetTemp(Root);
        ASSERT_TRUE(transfer.MakeTempFile("FuncList.txt", "text"));
        const std::string previous = transfer.TempFolder();
        SetTemp(temp);
        EXPECT_FALSE(transfer.MakeTempFile("FuncList.txt", "text")) << temp.size();
        EXPECT_EQ(nullptr, transfer.TempFolder());
        EXPECT_FALSE(Exists(previous));                                      // ours goes
        EXPECT_TRUE(Exists(Root + "\\plain") && Exists(Root + "\\other"));  // the rest stays
        EXPECT_EQ(2, CountEntries(Root)) << temp.size();
    }
    // Each success added the file-drop entry; a clipboard hand-off takes them.
    EXPECT_EQ(std::size(cases), transfer.PendingCount());
    transfer.CopyToClipboard();
}

TEST_F(TTempTest, UnsafeNamesWriteNothing)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    for (const char *name : {"..\\evil.txt", "a/b", "c:x", "*.txt", "..", "NUL"}) {
        EXPECT_FALSE(transfer.MakeTempFile(name, "text")) << name;
        EXPECT_EQ(0, CountEntries(Root)) << name;
    }
    EXPECT_EQ(0u, transfer.PendingCount());
}

TEST(ClipboardRetry, RetriesOnlyWhileTheClipboardIsBusy)
{
    const struct {
        std::vector<HRESULT> results;
        HRESULT expected;
        size_t calls;
    } cases[] = {
        {{S_OK}, S_OK, 1},
        {{CLIPBRD_E_CANT_OPEN, CLIPBRD_E_CANT_OPEN, S_OK}, S_OK, 3},
        {{E_FAIL, S_OK}, E_FAIL, 1},
        {{CLIPBRD_E_CANT_OPEN, E_OUTOFMEMORY, S_OK}, E_OUTOFMEMORY, 2},
        {std::vector<HRESULT>(20, CLIPBRD_E_CANT_OPEN), CLIPBRD_E_CANT_OPEN, ClipboardRetries + 1},
    };
    for (const auto &c : cases) {
        size_t calls = 0;
        EXPECT_EQ(c.expected, SetClipboardRetrying(nullptr, [&](IDataObject *) { return c.results[calls++]; }));
        EXPECT_EQ(c.calls, calls);
    }
}
