// The open dialog and the folder chooser, answered by a second thread as a
// user would answer them.
#include "app/folderdialog.h"
#include "tests/app/windowfixture.h"
#include "tests/deadline.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>

namespace {

struct TFind {
    HWND Owner;
    HWND Found;
};

BOOL CALLBACK FindOwnedDialog(HWND hwnd, LPARAM lp)
{
    auto *f = reinterpret_cast<TFind *>(lp);
    char cls[16];
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && GetWindow(hwnd, GW_OWNER) == f->Owner && IsWindowVisible(hwnd)) {
        f->Found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers the next dialog owned by owner with answer(dialog), from a thread
// of its own, while the caller sits in the dialog's modal loop.
std::thread Answer(HWND owner, std::function<void(HWND)> answer)
{
    return std::thread([owner, answer] {
        TFind f = {owner, nullptr};
        const TDeadline deadline;
        for (;;) {
            EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&f));
            if (f.Found)
                break;
            if (deadline.Passed()) {
                ADD_FAILURE() << "no dialog appeared";
                return;
            }
            Sleep(10);  // look again
        }
        // A sent message is served once the dialog's thread takes messages
        // again, after the initialisation; an answer posted then comes after
        // whatever the dialog posted to itself meanwhile.
        SendMessageA(f.Found, WM_NULL, 0, 0);
        answer(f.Found);
    });
}

using Dialogs = TWindowTest;

}  // namespace

TEST_F(Dialogs, OpenedFilesAreSearchedInTheDialogsOrderWithoutTheMask)
{
    Form->OpenDialog->InitialDir = TestDir();
    Form->ComboBoxFileMask->SetItemIndex(1);  // *.exe: not consulted
    Form->EditFindText->SetText("");
    std::thread t = Answer(Form->Handle, [](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, "\"fixexports.dll\" \"notamodule.dll\"");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    Form->ActionOpen->Execute();
    t.join();
    ASSERT_EQ(2u, Form->OpenDialog->Files.size());
    EXPECT_EQ(TestDir() + "fixexports.dll", Form->OpenDialog->Files[0]);
    EXPECT_EQ(TestDir() + "notamodule.dll", Form->OpenDialog->Files[1]);
    PumpUntilDone();
    EXPECT_EQ(5, Form->ListView->Count());  // four exports and one error row
    EXPECT_EQ("4個の関数が見つかりました", Form->StatusBar->SimpleText());
}

TEST_F(Dialogs, CancellingTheOpenDialogChangesNothing)
{
    Form->StatusBar->SetSimpleText("before");
    std::thread t = Answer(Form->Handle, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    Form->ActionOpen->Execute();
    t.join();
    Application.ProcessMessages();
    EXPECT_FALSE(Form->IsFinding());
    EXPECT_EQ("before", Form->StatusBar->SimpleText());
}

TEST_F(Dialogs, FolderChooserOpensOnTheFolderAndReturnsIt)
{
    const std::string folder = TestDir().substr(0, TestDir().size() - 1);
    char path[MAX_PATH];
    lstrcpynA(path, folder.c_str(), MAX_PATH);
    std::thread ok = Answer(Form->Handle, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(1, FolderDialog(Form->Handle, "検索フォルダの選択", path));
    ok.join();
    EXPECT_STRCASEEQ(folder.c_str(), path);

    lstrcpynA(path, "unchanged", MAX_PATH);
    std::thread cancel = Answer(Form->Handle, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(0, FolderDialog(Form->Handle, "検索フォルダの選択", path));
    cancel.join();
    EXPECT_STREQ("unchanged", path);
}

TEST_F(Dialogs, SelectFolderCommandSetsTheFolderBox)
{
    const std::string folder = TestDir() + "linkloop";
    Form->EditFolder->SetText(folder);
    std::thread ok = Answer(Form->Handle, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); });
    Form->ActionSelectFolder->Execute();
    ok.join();
    EXPECT_STRCASEEQ(folder.c_str(), Form->EditFolder->Text().c_str());
    // A folder text longer than the chooser's buffer is not cut into another.
    Form->EditFolder->SetText(std::string(300, 'x'));
    std::thread cancel = Answer(Form->Handle, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    Form->ActionSelectFolder->Execute();
    cancel.join();
    EXPECT_EQ(std::string(300, 'x'), Form->EditFolder->Text());
}

TEST_F(Dialogs, AnExceptionInAHandlerIsShownAndTheLoopGoesOn)
{
    Form->ActionAbout->OnExecute = [](TAction &) { throw std::runtime_error("handler failed"); };
    std::string shown;
    std::thread t = Answer(Form->Handle, [&shown](HWND box) {
        char text[128] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        shown = text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(Form->Handle, WM_COMMAND, Form->MainMenuAbout->Id, 0);  // the menu item
    t.join();
    EXPECT_EQ("handler failed", shown);
    // The window still works.
    Form->EditFolder->SetText(TestDir() + "fixexports.dll");
    Form->ActionFind->Execute();
    PumpUntilDone();
    EXPECT_EQ(4, Form->ListView->Count());
}
