// The main window driven as a user drives it, in Wine under Xvfb: the test
// sets the controls, runs commands and delivers messages, lets the message
// loop run, and reads the results back from the controls.
#include "app/targetfiles.h"
#include "tests/app/windowfixture.h"
#include "tests/deadline.h"
#include "tests/scan/imagebuilder.h"
#include "tests/testpaths.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <shlobj.h>

namespace {

// The rows the list holds when its window is destroyed.
int RowsAtDestroy = -1;

LRESULT CALLBACK WatchDestroy(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    if (msg == WM_DESTROY)
        RowsAtDestroy = FormKalvex->ListView->Count();
    return DefSubclassProc(hwnd, msg, wp, lp);
}

class MainWindow : public TWindowTest {
protected:
    bool Summary() const
    {
        const std::string s = Form->StatusBar->SimpleText();
        return s.find("見つかりました") != std::string::npos || s.find("見つかりませんでした") != std::string::npos;
    }
    void PumpUntilSummary()
    {
        PumpUntil([&] { return !Form->IsFinding() && Summary(); });
        Application.ProcessMessages();
    }
    // The rows as "caption|ordinal|module|path".
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        for (int i = 0; i < Form->ListView->Count(); ++i) {
            std::string row;
            for (int c = 0; c < 4; ++c)
            {
                if (c)
                    row += '|';
                row += Form->ListView->ItemText(i, c);
            }
            rows.push_back(row);
        }
        return rows;
    }
    void Find(const std::string &folder, const std::string &keyword)
    {
        Form->EditFolder->SetText(folder);
        Form->EditFindText->SetText(keyword);
        Form->ActionFind->Execute();
    }
    // Closes the window as the user does, then deletes it as the entry point
    // does after the loop (a running search ends first): the rows the list
    // held when it was destroyed.
    int CloseAndCountRows()
    {
        RowsAtDestroy = -1;
        SetWindowSubclass(Form->ListView->Handle, WatchDestroy, 1, 0);
        PostMessageA(Form->Handle, WM_CLOSE, 0, 0);
        PumpUntil([&] { return Application.Terminated(); });
        delete FormKalvex;
        FormKalvex = nullptr;
        return RowsAtDestroy;
    }
};

// kalvex-find.exe's rows for args: its tab text as "caption|ordinal|module|path".
std::vector<std::string> FindToolRows(const std::string &args)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read, write;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return {"no pipe"};
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write;
    std::string command = "\"";
    command += TestDir() + "..\\kalvex-find.exe\" " + args;
    PROCESS_INFORMATION process;
    const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &start, &process);
    CloseHandle(write);
    std::string out;
    char buffer[4096];
    DWORD n;
    while (started && ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0)
        out.append(buffer, n);
    CloseHandle(read);
    if (!started)
        return {"not started"};
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::vector<std::string> rows;
    for (size_t at = 0, end; (end = out.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::string row = out.substr(at, end - at);
        std::replace(row.begin(), row.end(), '\t', '|');
        rows.push_back(row);
    }
    return rows;
}

// A drop handle as the shell makes it: DROPFILES, then the ANSI paths.
HDROP MakeDrop(const TStringList &paths)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string &p : paths)
        size += p.size() + 1;
    HGLOBAL mem = GlobalAlloc(GHND, size);
    auto *drop = static_cast<DROPFILES *>(GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    char *at = reinterpret_cast<char *>(drop) + sizeof(DROPFILES);
    for (const std::string &p : paths) {
        memcpy(at, p.c_str(), p.size() + 1);
        at += p.size() + 1;
    }
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

RECT ChildRect(HWND parent, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

}  // namespace

TEST_F(MainWindow, StartsWithTheDesignValues)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(system, Form->EditFolder->Text());
    EXPECT_EQ(0, Form->ComboBoxFileMask->ItemIndex());
    EXPECT_EQ(4, Form->ComboBoxFileMask->Count());
    EXPECT_TRUE(Form->ActionIgnoreCase->Checked);
    EXPECT_TRUE(Form->ActionExport->Checked);
    EXPECT_FALSE(Form->ActionImport->Checked);
    EXPECT_FALSE(Form->ActionRecursive->Checked);
    EXPECT_EQ("", Form->StatusBar->SimpleText());
    char caption[32];
    GetWindowTextA(Form->Handle, caption, sizeof caption);
    EXPECT_STREQ("Kalvex", caption);
    RECT outer;
    GetWindowRect(Form->Handle, &outer);
    EXPECT_EQ(640, outer.right - outer.left);
    EXPECT_EQ(480, outer.bottom - outer.top);
    ASSERT_EQ(4u, Form->ListView->Columns.size());
    EXPECT_EQ(180, Form->ListView->ColumnWidth(0));
    EXPECT_EQ(50, Form->ListView->ColumnWidth(1));
    EXPECT_EQ(150, Form->ListView->ColumnWidth(2));
}

TEST_F(MainWindow, LaysItsControlsOutInThesePixels)
{
    RECT client;
    GetClientRect(Form->Handle, &client);
    const int w = client.right, h = client.bottom;
    const RECT header = ChildRect(Form->Handle, Form->PanelHeader->Handle);
    EXPECT_EQ((RECT{0, 0, w, 25}).bottom, header.bottom);
    EXPECT_EQ(w, header.right - header.left);
    const RECT status = ChildRect(Form->Handle, Form->StatusBar->Handle);
    EXPECT_EQ(h - 17, status.top);
    EXPECT_EQ(h, status.bottom);
    const RECT list = ChildRect(Form->Handle, Form->ListView->Handle);
    EXPECT_EQ(25, list.top);
    EXPECT_EQ(h - 17, list.bottom);
    EXPECT_EQ(w, list.right - list.left);

    // Inside the header's 2-pixel frame, from the right: 350, 6, the rest.
    const RECT fmk = ChildRect(Form->PanelHeader->Handle, Form->PanelFileMaskKeyword->Handle);
    EXPECT_EQ(w - 2, fmk.right);
    EXPECT_EQ(350, fmk.right - fmk.left);
    EXPECT_EQ(2, fmk.top);
    EXPECT_EQ(21, fmk.bottom - fmk.top);
    const RECT split = ChildRect(Form->PanelHeader->Handle, Form->SplitterFolder->Handle);
    EXPECT_EQ(fmk.left, split.right);
    EXPECT_EQ(6, split.right - split.left);
    const RECT folderPart = ChildRect(Form->PanelHeader->Handle, Form->PanelFolderToolBar->Handle);
    EXPECT_EQ(2, folderPart.left);
    EXPECT_EQ(split.left, folderPart.right);

    const RECT folderBar = ChildRect(Form->PanelFolderToolBar->Handle, Form->ToolBarFolder->Handle);
    EXPECT_EQ(46, folderBar.right - folderBar.left);
    const RECT edit = ChildRect(Form->PanelFolder->Handle, Form->EditFolder->Handle);
    RECT folderPanel;
    GetClientRect(Form->PanelFolder->Handle, &folderPanel);
    EXPECT_EQ(1, edit.left);
    EXPECT_EQ(1, edit.top);
    EXPECT_EQ(19, edit.bottom - edit.top);
    EXPECT_EQ(folderPanel.right - 2, edit.right);

    const RECT mask = ChildRect(Form->PanelFileMaskKeyword->Handle, Form->PanelFileMask->Handle);
    EXPECT_EQ(0, mask.left);
    EXPECT_EQ(120, mask.right - mask.left);
    const RECT keywordBar = ChildRect(Form->PanelKeywordToolBar->Handle, Form->ToolBar->Handle);
    EXPECT_EQ(69, keywordBar.right - keywordBar.left);
    const RECT keyword = ChildRect(Form->PanelKeyword->Handle, Form->EditFindText->Handle);
    RECT keywordPanel;
    GetClientRect(Form->PanelKeyword->Handle, &keywordPanel);
    EXPECT_EQ(1, keyword.left);
    EXPECT_EQ(keywordPanel.right - 1, keyword.right);
}

TEST_F(MainWindow, FindOverAFolderFillsTheListAndEndsWithTheCount)
{
    // The folder holds the same module as PE32 and as PE32+ (64-bit).
    Form->ComboBoxFileMask->SetItemIndex(0);
    Find(TestDir(), "alloc");
    PumpUntilSummary();
    const std::string dll = TestDir() + "fixexports.dll", dll64 = TestDir() + "fixexports64.dll";
    EXPECT_EQ((std::vector<std::string>{"HeapAlloc|0|fixexports.dll|" + dll, "heapalloc|2|fixexports.dll|" + dll,
                                        "HeapAlloc|0|fixexports64.dll|" + dll64,
                                        "heapalloc|2|fixexports64.dll|" + dll64}),
              Rows());
    EXPECT_EQ("4個の関数が見つかりました", Form->StatusBar->SimpleText());
    // What the bar and the list show, not only what they were given.
    char shown[64] = "";
    SendMessageA(Form->StatusBar->Handle, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(shown));
    EXPECT_EQ("4個の関数が見つかりました", std::string(shown));
    EXPECT_EQ(4, SendMessageA(Form->ListView->Handle, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(Form->ListView->Handle, GetFocus());
}

TEST_F(MainWindow, KalvexFindListsTheRowsOfTheWindowsSearch)
{
    // Both tables of the PE32 and PE32+ fixtures, with and without case.
    const struct {
        const char *Keyword;
        bool IgnoreCase, Export;
        const char *Args;
    } cases[] = {
        {"a", true, true, "-i a"},
        {"Heap", false, true, "Heap"},
        {"tick", true, false, "--imports -i tick"},
        {"%", false, false, "--imports %"},
    };
    Form->ComboBoxFileMask->SetItemIndex(2);  // *.dll;*.exe
    for (const auto &c : cases) {
        Form->ActionIgnoreCase->Checked = c.IgnoreCase;
        (c.Export ? Form->ActionExport : Form->ActionImport)->Execute();
        Find(TestDir(), c.Keyword);
        PumpUntilSummary();
        const std::vector<std::string> window = Rows();
        EXPECT_FALSE(window.empty()) << c.Args;
        EXPECT_EQ(window, FindToolRows(std::string(c.Args) + " --mask \"*.dll;*.exe\" " + TestDir())) << c.Args;
    }
}

TEST_F(MainWindow, AFilePathInTheFolderBoxSearchesThatFileAlone)
{
    Form->ComboBoxFileMask->SetItemIndex(1);  // *.exe: does not apply to a file
    Find(TestDir() + "fixexports.dll", "");
    PumpUntilSummary();
    EXPECT_EQ(4u, Rows().size());
    EXPECT_EQ("4個の関数が見つかりました", Form->StatusBar->SimpleText());

    Find(TestDir() + "nofile.dll", "");
    PumpUntilSummary();
    ASSERT_EQ(1u, Rows().size());
    EXPECT_EQ(0u, Rows()[0].find("エクスポート関数の取得に失敗しました"));
    EXPECT_EQ("関数は見つかりませんでした", Form->StatusBar->SimpleText());
}

TEST_F(MainWindow, DroppedFileFolderAndFileAreSearchedInThatOrder)
{
    const std::string folder = NewTempDir("drop");
    ASSERT_TRUE(CopyFileA((TestDir() + "fixexports.dll").c_str(), (folder + "copy.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((TestDir() + "notamodule.dll").c_str(), (folder + "skipped.txt").c_str(), FALSE));
    Form->EditFindText->SetText("");
    Form->ComboBoxFileMask->SetItemIndex(0);
    const std::string first = TestDir() + "fixexports.dll", last = TestDir() + "notamodule.dll";
    PostMessageA(Form->Handle, WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop({first, folder.substr(0, folder.size() - 1), last})), 0);
    PumpUntilSummary();
    std::vector<std::string> paths;
    for (const std::string &row : Rows())
        paths.push_back(row.substr(row.rfind('|') + 1));
    EXPECT_EQ((std::vector<std::string>{first, first, first, first, folder + "copy.dll", folder + "copy.dll",
                                        folder + "copy.dll", folder + "copy.dll", last}),
              paths);
    EXPECT_EQ("8個の関数が見つかりました", Form->StatusBar->SimpleText());
    DeleteFileA((folder + "copy.dll").c_str());
    DeleteFileA((folder + "skipped.txt").c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(MainWindow, ASearchStartedWhileOneRunsIsIgnored)
{
    const TStringList files(20, TestDir() + "fixexports.dll");
    Form->StartFind(files, "", true, true);
    // Not pumping: the worker now waits in its first hand-off, so it runs.
    for (TDeadline deadline; TThread::PendingHandOffs() == 0 && !deadline.Passed();)
        Sleep(1);
    ASSERT_TRUE(Form->IsFinding());
    // The launch itself, past the command's rule (as a drop message that
    // was already queued would be): collected, then dropped by StartFind.
    Form->EditFolder->SetText(TestDir() + "fiximports.exe");
    Form->ActionFindExecute(*Form->ActionFind);
    EXPECT_EQ("対象ファイル一覧の収集中...", Form->StatusBar->SimpleText());
    PumpUntilSummary();
    EXPECT_EQ(80u, Rows().size());
    for (const std::string &row : Rows())
        EXPECT_NE(std::string::npos, row.find("|fixexports.dll|"));
    EXPECT_EQ("80個の関数が見つかりました", Form->StatusBar->SimpleText());
}

TEST_F(MainWindow, ClosingDuringASearchStopsItAfterTheModuleInHand)
{
    const std::string dll = TestDir() + "fixexports.dll";
    Form->StartFind(TStringList(5000, dll), "", true, true);  // 20,000 rows
    // Run until the second module is being read, then close as the user does.
    PumpUntil([&] { return Form->ListView->Count() >= 5; });
    const int rows = CloseAndCountRows();
    EXPECT_GE(rows, 5);
    EXPECT_LT(rows, 10000);
}

namespace {

class Collecting : public MainWindow {
protected:
    // Starts a recursive search of 8,000 folders and runs the loop until the
    // worker has emptied the list: it is then walking the tree.
    void StartLongWalk()
    {
        Form->AppendRow("old", 1, "old.dll", "old.dll", "");
        Form->ActionRecursive->SetChecked(true);
        Form->ComboBoxFileMask->SetItemIndex(3);
        Find(TestDir() + "bigtree", "");
        ASSERT_TRUE(PumpUntil([&] { return Form->ListView->Count() == 0; }));
        ASSERT_TRUE(Form->IsFinding());
        EXPECT_EQ("対象ファイル一覧の収集中...", Form->StatusBar->SimpleText());
    }
};

}  // namespace

TEST_F(Collecting, CtrlDEndsTheWalkBeforeAnyFileIsRead)
{
    StartLongWalk();
    SetFocus(Form->ListView->Handle);
    ASSERT_TRUE(Strike({VK_CONTROL, 'D'}));
    PumpUntilSummary();
    // Every file of the tree would have given an error row.
    EXPECT_EQ(0, Form->ListView->Count());
    EXPECT_EQ("関数は見つかりませんでした", Form->StatusBar->SimpleText());
}

TEST_F(Collecting, ClosingTheWindowEndsTheWalk)
{
    StartLongWalk();
    EXPECT_EQ(0, CloseAndCountRows());
}

namespace {

// A folder with a crafted module (many sections, a name table as large as a
// walk admits) before a fixture module; the search is started and run until
// the worker has handed over the crafted module's status, just before its walk.
class CraftedModule : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        Folder = NewTempDir("crafted");
        ASSERT_TRUE(SpreadExports(65535, 1048576).WriteTo(Folder + "a-crafted.dll"));
        ASSERT_TRUE(CopyFileA((TestDir() + "fixexports.dll").c_str(), (Folder + "b-after.dll").c_str(), FALSE));
    }
    void TearDown() override
    {
        MainWindow::TearDown();
        DeleteFileA((Folder + "a-crafted.dll").c_str());
        DeleteFileA((Folder + "b-after.dll").c_str());
        RemoveDirectoryA(Folder.c_str());
    }
    void StartAndWaitForTheWalk()
    {
        Form->ComboBoxFileMask->SetItemIndex(0);
        Find(Folder, "");
        ASSERT_TRUE(PumpUntil([&] { return Form->StatusBar->SimpleText() == "読み込み中: " + Folder + "a-crafted.dll"; }));
    }
    std::string Folder;
};

}  // namespace

TEST_F(CraftedModule, CtrlDEndsTheSearchInsideTheModulesWalk)
{
    StartAndWaitForTheWalk();
    SetFocus(Form->ListView->Handle);
    ASSERT_TRUE(Strike({VK_CONTROL, 'D'}));
    PumpUntilSummary();
    // Neither the crafted module's names nor an error row for it, and the
    // module after it is never read.
    EXPECT_EQ(0, Form->ListView->Count());
    EXPECT_EQ("関数は見つかりませんでした", Form->StatusBar->SimpleText());
}

TEST_F(CraftedModule, ClosingTheWindowEndsTheSearchInsideTheModulesWalk)
{
    StartAndWaitForTheWalk();
    EXPECT_EQ(0, CloseAndCountRows());
}

TEST_F(Collecting, ALinkBackToTheRootEndsTheWalkAndTheSearch)
{
    // linkloop\sub\back leads to linkloop itself; inside.dll is empty.
    Form->ActionRecursive->SetChecked(true);
    Form->ComboBoxFileMask->SetItemIndex(0);
    Find(TestDir() + "linkloop", "");
    PumpUntilSummary();
    const std::vector<std::string> rows = Rows();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(TestDir() + "linkloop\\sub\\inside.dll", rows[0].substr(rows[0].rfind('|') + 1));
}

TEST_F(MainWindow, SplittersResizeLiveAndNeverCloseAPanel)
{
    auto drag = [](TSplitter *s, int dx) {
        SendMessageA(s->Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 5));
        SendMessageA(s->Handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2 + dx, 5));
    };
    auto release = [](TSplitter *s) { SendMessageA(s->Handle, WM_LBUTTONUP, 0, 0); };
    RECT client;
    GetClientRect(Form->PanelHeader->Handle, &client);

    drag(Form->SplitterFolder, -50);  // to the left: the mask/keyword part grows
    EXPECT_EQ(400, Form->PanelFileMaskKeyword->Width);  // while the button is down
    release(Form->SplitterFolder);
    drag(Form->SplitterFolder, 5000);  // far right: stops at the smallest width
    release(Form->SplitterFolder);
    EXPECT_EQ(Form->SplitterFolder->MinSize, Form->PanelFileMaskKeyword->Width);
    drag(Form->SplitterFolder, -5000);  // far left: the folder part keeps its smallest width
    release(Form->SplitterFolder);
    const RECT folderPart = ChildRect(Form->PanelHeader->Handle, Form->PanelFolderToolBar->Handle);
    EXPECT_EQ(Form->SplitterFolder->MinSize, folderPart.right - folderPart.left);

    const int mask = Form->PanelFileMask->Width;
    drag(Form->SplitterFileMask, 30);  // a left-aligned panel grows to the right
    release(Form->SplitterFileMask);
    EXPECT_EQ(mask + 30, Form->PanelFileMask->Width);
    const RECT combo = ChildRect(Form->PanelFileMask->Handle, Form->ComboBoxFileMask->Handle);
    EXPECT_EQ(mask + 30, combo.right - combo.left);  // the mask box stretches with it
}

TEST_F(MainWindow, LayoutSurvivesMinimiseAndNarrowing)
{
    auto height = [](TControl *c) {
        RECT r;
        GetWindowRect(c->Handle, &r);
        return r.bottom - r.top;
    };
    auto width = [](TControl *c) {
        RECT r;
        GetWindowRect(c->Handle, &r);
        return r.right - r.left;
    };
    auto expectDesign = [&](const char *when) {
        EXPECT_EQ(25, height(Form->PanelHeader)) << when;
        EXPECT_EQ(17, height(Form->StatusBar)) << when;
        EXPECT_EQ(350, width(Form->PanelFileMaskKeyword)) << when;
        EXPECT_EQ(120, width(Form->PanelFileMask)) << when;
    };
    expectDesign("at start");
    ShowWindow(Form->Handle, SW_MINIMIZE);
    ShowWindow(Form->Handle, SW_RESTORE);
    expectDesign("after minimise and restore");
    RECT r;
    GetWindowRect(Form->Handle, &r);
    MoveWindow(Form->Handle, r.left, r.top, 300, r.bottom - r.top, TRUE);
    MoveWindow(Form->Handle, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    expectDesign("after narrowing and widening");
}
