// The collector's hand-offs, read back as other programs read them: through
// the plain clipboard API, through a drop target, and from a second process
// after the first has ended.
#include "transfer/datacopydrag.h"
#include "transfer/dataobject.h"
#include "tests/transfer/transfertest.h"

#include <cstdint>
#include <map>
#include <thread>
#include <vector>

namespace {

const std::string Text = "Func\t1\tA.dll\tC:\\\x95\x5c\\A.dll\r\n";  // "\x95\x5c": a double-byte character
const std::string Csv = "Func,1,A.dll,C:\\\x95\x5c\\A.dll\r\n";
const std::string Sylk = "ID;PWXL;N;E\r\nE\r\n";
const UINT CsvFormat = RegisterClipboardFormatA("Csv");

void AddThree(TDataCopyDrag &transfer, const std::string &text = Text)
{
    EXPECT_TRUE(transfer.AddText(text.c_str()));
    EXPECT_TRUE(transfer.AddData(CsvFormat, Csv.c_str(), Csv.size() + 1));
    EXPECT_TRUE(transfer.AddData(CF_SYLK, Sylk.data(), Sylk.size()));
}

// What another program reads from the clipboard for each format, in the
// order the clipboard lists them.
std::map<UINT, std::string> ReadClipboard(std::vector<UINT> *order = nullptr)
{
    std::map<UINT, std::string> formats;
    EXPECT_TRUE(OpenClipboard(nullptr));
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) {
        if (f != CF_TEXT && f != CsvFormat && f != CF_SYLK && f != CF_HDROP)
            continue;
        formats[f] = Bytes(GetClipboardData(f));
        if (order)
            order->push_back(f);
    }
    CloseClipboard();
    return formats;
}

std::string DropBlock(const std::string &path)
{
    const uint32_t header[5] = {20, 0, 0, 1, 0};
    return std::string(reinterpret_cast<const char *>(header), sizeof header) + path + std::string(2, '\0');
}

std::string FileBytes(const std::string &path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(4096, '\0');
    DWORD n = 0;
    ReadFile(f, bytes.data(), bytes.size(), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return f == INVALID_HANDLE_VALUE ? "(missing)" : bytes;
}

std::string TempPath()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

}  // namespace

using Transfer = TTempTest;

TEST_F(Transfer, CopyPutsThreeTextsAndTheFileOnTheClipboard)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    EXPECT_TRUE(transfer.OleInitialized());
    EXPECT_FALSE(transfer.AddData(CF_TEXT, "x", 0));  // a movable block of 0 bytes cannot be locked
    EXPECT_FALSE(transfer.AddText(nullptr));
    EXPECT_EQ(0u, transfer.PendingCount());

    AddThree(transfer);
    const DWORD before = GetTickCount();
    EXPECT_TRUE(transfer.CopyToClipboard("FuncList.txt"));
    const DWORD after = GetTickCount();
    EXPECT_EQ(0u, transfer.PendingCount());

    // The system's path, a second "\", the tick count in hex.
    const std::string folder = transfer.TempFolder();
    const std::string prefix = TempPath() + "\\";
    ASSERT_EQ(prefix, folder.substr(0, prefix.size()));
    const DWORD number = strtoul(folder.c_str() + prefix.size(), nullptr, 16);
    char hex[16];
    snprintf(hex, sizeof hex, "%lx", number);
    EXPECT_EQ(prefix + hex, folder);
    EXPECT_TRUE(number - before <= after - before + MaxTempFolderCandidates) << number << " " << before;
    const std::string file = folder + "\\FuncList.txt";
    EXPECT_EQ(Text, FileBytes(file));

    std::vector<UINT> order;
    const auto formats = ReadClipboard(&order);
    EXPECT_EQ((std::vector<UINT>{CF_TEXT, CsvFormat, CF_SYLK, CF_HDROP}), order);
    EXPECT_EQ(Text + '\0', formats.at(CF_TEXT));
    EXPECT_EQ(Csv + '\0', formats.at(CsvFormat));
    EXPECT_EQ(Sylk, formats.at(CF_SYLK));
    EXPECT_EQ(DropBlock(file), formats.at(CF_HDROP));
}

TEST_F(Transfer, AFileThatCannotBeWrittenLeavesTheTextsAndItsReason)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, MAX_PATH);
    struct TCase {
        const char *Temp, *Name;
        DWORD Code;
    };
    // A temporary folder that is gone, and a file name no folder can hold.
    for (const TCase &c : {TCase{"C:\\kalvex-no-such-folder\\gone", "FuncList.txt", ERROR_PATH_NOT_FOUND},
                           TCase{saved, "a|b.txt", ERROR_INVALID_NAME}}) {
        SetEnvironmentVariableA("TMP", c.Temp);
        AddThree(transfer);
        EXPECT_TRUE(transfer.CopyToClipboard(c.Name)) << c.Temp;
        SetEnvironmentVariableA("TMP", saved);
        EXPECT_EQ(c.Code, transfer.FileError()) << c.Temp;
        EXPECT_EQ(nullptr, transfer.TempFolder());
        std::vector<UINT> order;
        ReadClipboard(&order);
        EXPECT_EQ((std::vector<UINT>{CF_TEXT, CsvFormat, CF_SYLK}), order) << c.Temp;
    }
    AddThree(transfer);
    EXPECT_TRUE(transfer.CopyToClipboard("FuncList.txt"));
    EXPECT_EQ(0u, transfer.FileError());
}

TEST_F(Transfer, EachFileStepReplacesTheLastFolder)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    transfer.SetFileName("FuncList.txt");
    AddThree(transfer, "");  // no rows: an empty file is offered all the same
    ASSERT_TRUE(transfer.CopyToClipboard());
    const std::string first = transfer.TempFolder();
    EXPECT_EQ("", FileBytes(first + "\\FuncList.txt"));
    EXPECT_EQ(DropBlock(first + "\\FuncList.txt"), ReadClipboard().at(CF_HDROP));

    AddThree(transfer);
    ASSERT_TRUE(transfer.CopyToClipboard("other.txt"));
    const std::string second = transfer.TempFolder();
    EXPECT_FALSE(Exists(first));
    EXPECT_EQ(Text, FileBytes(second + "\\other.txt"));

    // Without plain text there is nothing to write: no file, no file-drop list.
    ASSERT_TRUE(transfer.AddData(CsvFormat, Csv.c_str(), Csv.size() + 1));
    ASSERT_TRUE(transfer.CopyToClipboard());
    EXPECT_EQ((std::map<UINT, std::string>{{CsvFormat, Csv + '\0'}}), ReadClipboard());
    EXPECT_TRUE(Exists(second + "\\other.txt"));
    transfer.SetFileName(nullptr);

    // A path with a double-byte character whose trail byte is "\" is listed whole.
    const std::string path = "C:\\\x95\x5c\\\x83\x5c.txt";
    ASSERT_TRUE(transfer.AddFileName(path.c_str()));
    ASSERT_TRUE(transfer.CopyToClipboard());
    EXPECT_EQ(DropBlock(path), ReadClipboard().at(CF_HDROP));
    EXPECT_TRUE(Exists(second));  // no file step ran
}

TEST_F(Transfer, AFolderStaysAsLongAsTheClipboardListsItsFile)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    transfer.SetFileName("FuncList.txt");
    AddThree(transfer);
    ASSERT_TRUE(transfer.CopyToClipboard());
    const std::string copied = std::string(transfer.TempFolder()) + "\\FuncList.txt";
    // A drag (it drops at once, no button being held) makes a folder of its
    // own; the clipboard still lists the copy's file, which stays.
    SetCursorPos(0, 0);
    AddThree(transfer);
    transfer.StartDrag();
    const std::string dragged = std::string(transfer.TempFolder()) + "\\FuncList.txt";
    EXPECT_NE(copied, dragged);
    EXPECT_EQ(Text, FileBytes(copied));
    EXPECT_EQ(DropBlock(copied), ReadClipboard().at(CF_HDROP));
    EXPECT_EQ(1u, transfer.KeptFolderCount());
    // Another program's copy replaces ours: the next file step lets both go.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_TEXT, Block("other"));
    CloseClipboard();
    AddThree(transfer);
    ASSERT_TRUE(transfer.CopyToClipboard());
    EXPECT_FALSE(Exists(copied));
    EXPECT_FALSE(Exists(dragged));
    EXPECT_EQ(0u, transfer.KeptFolderCount());
    // Our own next copy replaces it as well, within the same hand-off.
    const std::string third = transfer.TempFolder();
    AddThree(transfer);
    ASSERT_TRUE(transfer.CopyToClipboard());
    EXPECT_FALSE(Exists(third));
    EXPECT_EQ(1, CountEntries(Root));
    EXPECT_EQ(0u, transfer.KeptFolderCount());
    transfer.SetFileName(nullptr);
}

TEST_F(Transfer, BusyClipboardFailsTheCopyAndEmptiesThePending)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    // Another thread holds the clipboard open until told to let go.
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BOOL held = FALSE;
    std::thread holder([&] {
        held = OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, INFINITE);
        CloseClipboard();
    });
    WaitForSingleObject(opened, INFINITE);
    EXPECT_TRUE(held);
    // The platform reports the busy clipboard with the one code that is retried.
    TDataObject *data = new TDataObject();
    size_t calls = 0;
    EXPECT_EQ(CLIPBRD_E_CANT_OPEN, SetClipboardRetrying(AsIDataObject(data), [&](IDataObject *d) {
                  ++calls;
                  return OleSetClipboard(d);
              }));
    EXPECT_EQ(ClipboardRetries + 1u, calls);
    data->Release();
    AddThree(transfer);
    EXPECT_FALSE(transfer.CopyToClipboard());
    EXPECT_EQ(0u, transfer.PendingCount());
    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    AddThree(transfer);
    EXPECT_TRUE(transfer.CopyToClipboard());
}

namespace {

// A drop target of another program: reads what is dropped on its window.
struct TTarget final : IDropTarget {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject *, DWORD, POINTL, DWORD *effect) override
    {
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD *effect) override
    {
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject *data, DWORD, POINTL, DWORD *effect) override
    {
        Events.push_back("drop");
        for (UINT f : {UINT(CF_TEXT), CsvFormat, UINT(CF_SYLK), UINT(CF_HDROP)}) {
            FORMATETC format = {static_cast<CLIPFORMAT>(f), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            if (data->GetData(&format, &medium) == S_OK)
                Dropped[f] = Bytes(medium.hGlobal);
            ReleaseStgMedium(&medium);
        }
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    std::vector<std::string> Events;
    std::map<UINT, std::string> Dropped;
};

}  // namespace

TEST_F(Transfer, DragDropsTheFourFormatsOnATarget)
{
    TDataCopyDrag &transfer = DataCopyDrag();
    TTarget target;
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.lpszClassName = "KalvexDropTarget";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, "", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(S_OK, RegisterDragDrop(window, &target));
    // With no button held the drag loop drops at its first look at the mouse.
    SetCursorPos(200, 200);
    transfer.OnDragLoop = [&](bool running) { target.Events.push_back(running ? "start" : "end"); };
    AddThree(transfer);
    EXPECT_TRUE(transfer.StartDrag("FuncList.txt"));
    transfer.OnDragLoop = nullptr;
    EXPECT_EQ((std::vector<std::string>{"start", "drop", "end"}), target.Events);
    const std::string file = std::string(transfer.TempFolder()) + "\\FuncList.txt";
    EXPECT_EQ(Text + '\0', target.Dropped[CF_TEXT]);
    EXPECT_EQ(Csv + '\0', target.Dropped[CsvFormat]);
    EXPECT_EQ(Sylk, target.Dropped[CF_SYLK]);
    EXPECT_EQ(DropBlock(file), target.Dropped[CF_HDROP]);
    EXPECT_EQ(Text, FileBytes(file));  // the folder outlives the drag
    RevokeDragDrop(window);
    DestroyWindow(window);
}

// The second process of the next test, started by it; the test run leaves
// it out (the ctest entry's filter), and it skips when started by hand.
const char *const ChildVariable = "KALVEX_TRANSFER_CHILD";
TEST(ChildProcess, CopyThenEnd)
{
    if (!GetEnvironmentVariableA(ChildVariable, nullptr, 0))
        GTEST_SKIP() << "runs only as the child of TextsOutliveTheProgramButTheFileDoesNot";
    AddThree(DataCopyDrag());
    EXPECT_TRUE(DataCopyDrag().CopyToClipboard("FuncList.txt"));
    FreeDataCopyDrag();
}

TEST_F(Transfer, TextsOutliveTheProgramButTheFileDoesNot)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command = std::string("\"") + exe + "\" --gtest_filter=ChildProcess.CopyThenEnd";
    SetEnvironmentVariableA(ChildVariable, "1");
    // The child's own report goes nowhere: its "PASSED" line must not stand
    // in our output for a run of ours that ended early.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = start.hStdError = nowhere;
    PROCESS_INFORMATION child = {};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child);
    CloseHandle(nowhere);
    SetEnvironmentVariableA(ChildVariable, nullptr);
    ASSERT_TRUE(started);
    // The child's copy tells our clipboard window that it no longer owns
    // the clipboard: keep serving it while the child runs.
    const DWORD deadline = GetTickCount() + 60000;
    while (MsgWaitForMultipleObjects(1, &child.hProcess, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           static_cast<LONG>(deadline - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    ASSERT_EQ(0u, code);

    const auto formats = ReadClipboard();
    EXPECT_EQ(Text + '\0', formats.at(CF_TEXT));
    EXPECT_EQ(Csv + '\0', formats.at(CsvFormat));
    EXPECT_EQ(Sylk, formats.at(CF_SYLK));
    // The list still names the file, which has gone with its folder.
    const std::string &drop = formats.at(CF_HDROP);
    ASSERT_GT(drop.size(), 22u);
    const std::string file = drop.substr(20, drop.size() - 22);
    EXPECT_EQ(TempPath() + "\\", file.substr(0, TempPath().size() + 1));
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(0, CountEntries(Root));
}
