// Copies and drags of result rows from the real main window, by real
// keyboard and mouse input in Wine under Xvfb. The clipboard is read back by
// a second process, as another program reads it; the drag ends on a drop
// target window of the test's own.
#include "listview/listviewutility.h"
#include "tests/app/windowfixture.h"
#include "tests/deadline.h"
#include "tests/testpaths.h"
#include "transfer/datacopydrag.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const UINT CsvFormat = RegisterClipboardFormatA("Csv");
const UINT Formats[] = {CF_TEXT, CsvFormat, CF_SYLK, CF_HDROP};
const char *const DumpFolder = "KALVEX_CLIPBOARD_DUMP";  // environment variable naming the reader's folder

std::string FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "(missing)";
}

std::string Bytes(HGLOBAL h)
{
    const char *p = static_cast<const char *>(GlobalLock(h));
    std::string s(p, GlobalSize(h));
    GlobalUnlock(h);
    return s;
}

// A file-drop block listing one ANSI path.
std::string DropBlock(const std::string &path)
{
    const uint32_t header[5] = {20, 0, 0, 1, 0};
    return std::string(reinterpret_cast<const char *>(header), sizeof header) + path + std::string(2, '\0');
}

class TransferWindow : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        SetWindowPos(Form->Handle, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Form->StartFind(TStringList(1, TestDir() + "fixexports.dll"), "", true, true);
        PumpUntilDone();
        ASSERT_EQ(4, Form->ListView->Count());
        SetForegroundWindow(Form->Handle);
        SetFocus(Form->ListView->Handle);
    }
    void TearDown() override
    {
        DataCopyDrag().RemoveTempFolder();
        TWindowTest::TearDown();
    }
    // The three texts of the selected rows, as copies and drags build them.
    std::string Text() { return ListViewToText(*Form->ListView, true, false); }
    std::string Csv() { return ListViewToCsv(*Form->ListView, true, false); }
    std::string Sylk() { return ListViewToSylk(*Form->ListView, true, false); }
    std::string TempFile() { return std::string(DataCopyDrag().TempFolder()) + "\\FuncList.txt"; }

    // What another program reads from the clipboard now: a second process
    // writes each of the four formats it finds into a file.
    std::map<UINT, std::string> ReadClipboardElsewhere()
    {
        static int reads = 0;
        const std::string folder = NewTempDir("clipboard" + std::to_string(++reads));
        SetEnvironmentVariableA(DumpFolder, folder.c_str());
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = std::string("\"") + exe +
                              "\" --gtest_filter=ChildProcess.ClipboardDump";
        // Its report goes to a file: in our output its "PASSED" would pass a
        // run of ours that ended early.
        const std::string report = folder + "report.txt";
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        HANDLE out = CreateFileA(report.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdOutput = start.hStdError = out;
        PROCESS_INFORMATION child = {};
        std::map<UINT, std::string> formats;
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child));
        CloseHandle(out);
        if (!child.hProcess)
            return formats;
        // The clipboard asks our data object for each format the reader
        // takes: keep serving while it runs.
        const TDeadline deadline(60000);
        while (MsgWaitForMultipleObjects(1, &child.hProcess, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0 &&
               !deadline.Passed())
            Application.ProcessMessages();
        DWORD code = 1;
        GetExitCodeProcess(child.hProcess, &code);
        EXPECT_EQ(0u, code) << "the reader failed or was still running:\n" << FileBytes(report);
        DeleteFileA(report.c_str());
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
        for (UINT f : Formats) {
            formats[f] = FileBytes(folder + std::to_string(f));
            DeleteFileA((folder + std::to_string(f)).c_str());
        }
        RemoveDirectoryA(folder.c_str());
        return formats;
    }
};

}  // namespace

// The second process of the copy test, started by it; the test run leaves
// it out (the ctest entry's filter), and it skips when started by hand.
TEST(ChildProcess, ClipboardDump)
{
    char folder[MAX_PATH] = "";
    if (!GetEnvironmentVariableA(DumpFolder, folder, MAX_PATH))
        GTEST_SKIP() << "runs only as the child of the copy test";
    ASSERT_TRUE(OpenClipboard(nullptr));
    for (UINT f : Formats)
        if (HANDLE h = GetClipboardData(f))
            std::ofstream(std::string(folder) + std::to_string(f), std::ios::binary) << Bytes(h);
    CloseClipboard();
}

TEST_F(TransferWindow, CtrlCPutsTheSelectedRowsOnTheClipboardForOtherPrograms)
{
    Form->ListView->SetSelected(1, true);
    Form->ListView->SetSelected(3, true);
    ASSERT_TRUE(Strike({}));  // the idle pass enables the copy command
    ASSERT_TRUE(Form->ActionCopy->Enabled);
    ASSERT_TRUE(Strike({VK_CONTROL, 'C'}));
    ASSERT_NE(nullptr, DataCopyDrag().TempFolder());
    const std::string first = TempFile();
    const std::string text = Text();
    ASSERT_EQ(2, std::count(text.begin(), text.end(), '\n'));
    auto formats = ReadClipboardElsewhere();
    EXPECT_EQ(text + '\0', formats[CF_TEXT]);
    EXPECT_EQ(Csv() + '\0', formats[CsvFormat]);
    EXPECT_EQ(Sylk(), formats[CF_SYLK]);
    EXPECT_EQ(DropBlock(first), formats[CF_HDROP]);
    EXPECT_EQ(text, FileBytes(first));

    // A second copy, of every row, replaces the first copy's folder.
    ASSERT_TRUE(Strike({VK_CONTROL, 'A'}));
    ASSERT_TRUE(Strike({VK_CONTROL, 'C'}));
    const std::string second = TempFile();
    EXPECT_NE(first, second);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(first.substr(0, first.rfind('\\')).c_str()));
    formats = ReadClipboardElsewhere();
    EXPECT_EQ(Text() + '\0', formats[CF_TEXT]);
    EXPECT_EQ(4, std::count(formats[CF_TEXT].begin(), formats[CF_TEXT].end(), '\n'));
    EXPECT_EQ(DropBlock(second), formats[CF_HDROP]);
    EXPECT_EQ(Text(), FileBytes(second));
}

TEST_F(TransferWindow, ACopyWithoutItsFileSaysWhyInTheStatusBar)
{
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, MAX_PATH);
    SetEnvironmentVariableA("TMP", "C:\\kalvex-no-such-folder\\gone");
    Form->ListView->SetSelected(0, true);
    ASSERT_TRUE(Strike({}));
    ASSERT_TRUE(Strike({VK_CONTROL, 'C'}));
    SetEnvironmentVariableA("TMP", saved);
    EXPECT_EQ(nullptr, DataCopyDrag().TempFolder());
    const std::string status = Form->StatusBar->SimpleText();
    EXPECT_EQ(0u, status.find("ファイル FuncList.txt を書き込めませんでした: ")) << status;
    auto formats = ReadClipboardElsewhere();
    EXPECT_EQ(Text() + '\0', formats[CF_TEXT]);
    EXPECT_EQ("(missing)", formats[CF_HDROP]);
}

namespace {

// A drop target of another program: takes copies, reads what is dropped and
// notes whether the main window accepted dropped files at each step.
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
        Note("enter");
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
        Note("drop");
        for (UINT f : Formats) {
            FORMATETC format = {static_cast<CLIPFORMAT>(f), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            if (data->GetData(&format, &medium) == S_OK)
                Dropped[f] = Bytes(medium.hGlobal);
            ReleaseStgMedium(&medium);
        }
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    // The event, with " accepting" when the main window took dropped files then.
    void Note(const std::string &event)
    {
        const bool style = GetWindowLongA(Main, GWL_EXSTYLE) & WS_EX_ACCEPTFILES;
        Events.push_back(event + (style || FormKalvex->AcceptsDrops() ? " accepting" : ""));
    }
    HWND Main = nullptr;
    std::vector<std::string> Events;
    std::map<UINT, std::string> Dropped;
};


}  // namespace

TEST_F(TransferWindow, DraggingSelectedRowsDropsTheFourFormatsElsewhereButNeverOnItself)
{
    TTarget target;
    target.Main = Form->Handle;
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.lpszClassName = "KalvexTestDropTarget";
    RegisterClassA(&cls);
    // In the screen's far corner, away from the main window.
    const POINT drop = {GetSystemMetrics(SM_CXSCREEN) - 100, GetSystemMetrics(SM_CYSCREEN) - 100};
    HWND window = CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, "", WS_POPUP | WS_VISIBLE, drop.x - 50,
                                  drop.y - 50, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(S_OK, RegisterDragDrop(window, &target));

    Form->ListView->SetSelected(1, true);
    Form->ListView->SetSelected(2, true);
    const std::string text = Text(), csv = Csv(), sylk = Sylk();
    ASSERT_TRUE(Form->AcceptsDrops());

    // Press on a selected row and move past the drag box: the list starts the
    // drag from that move. Just before its loop runs, the pointer goes over
    // the target and the button comes up there.
    RECT row = {LVIR_LABEL, 0, 0, 0};
    SendMessageA(Form->ListView->Handle, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
    POINT press = {row.left + 10, (row.top + row.bottom) / 2};
    ClientToScreen(Form->ListView->Handle, &press);
    ASSERT_LT(press.x, drop.x - 50);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, press);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    // The press taken, and the idle pass after it run, as between the press
    // and the first move of a hand.
    ASSERT_TRUE(PumpUntil([] { return GetKeyState(VK_LBUTTON) < 0; }));
    bool over = false;
    const auto formLoop = DataCopyDrag().OnDragLoop;
    DataCopyDrag().OnDragLoop = [&](bool running) {
        formLoop(running);
        if (running) {
            target.Note("start");
            SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, drop);
            SendMouse(MOUSEEVENTF_LEFTUP);
        }
        over = !running;
    };
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {press.x + GetSystemMetrics(SM_CXDRAG) + 10, press.y});
    const bool ended = PumpUntil([&] { return over; });
    DataCopyDrag().OnDragLoop = formLoop;
    RevokeDragDrop(window);
    DestroyWindow(window);
    ASSERT_TRUE(ended) << "no drag";

    EXPECT_EQ((std::vector<std::string>{"start", "enter", "drop"}), target.Events);
    EXPECT_EQ(text + '\0', target.Dropped[CF_TEXT]);
    EXPECT_EQ(csv + '\0', target.Dropped[CsvFormat]);
    EXPECT_EQ(sylk, target.Dropped[CF_SYLK]);
    EXPECT_EQ(DropBlock(TempFile()), target.Dropped[CF_HDROP]);
    EXPECT_EQ(text, FileBytes(TempFile()));  // the folder outlives the drag
    EXPECT_EQ(2, Form->ListView->SelectedCount());
    // The next idle pass takes dropped files again.
    EXPECT_TRUE(PumpUntil([&] { return Form->AcceptsDrops(); }));
    EXPECT_TRUE(GetWindowLongA(Form->Handle, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}
