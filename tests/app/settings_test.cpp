// The settings file: what a start reads, what an orderly end writes, and a
// failed start that writes nothing.
#include "tests/app/windowfixture.h"
#include "transfer/datacopydrag.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(Ini().c_str()); }
    void TearDown() override { DeleteFileA(Ini().c_str()); }
    static std::string Ini() { return ApplicationIniFileName(); }
    static void Write(const std::string &text) { std::ofstream(Ini(), std::ios::binary) << text; }
    static std::string Read()
    {
        std::ifstream in(Ini(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A window's whole life, as the entry point runs it (without its loop).
    static void Run(const std::function<void(TFormKalvex &)> &use = {})
    {
        Application.Initialize();
        FormKalvex = new TFormKalvex();
        if (use)
            use(*FormKalvex);
        delete FormKalvex;
        FormKalvex = nullptr;
    }
};

}  // namespace

TEST_F(Settings, AFirstEndWritesTheTenKeysInOrder)
{
    Run([](TFormKalvex &f) {
        EXPECT_EQ(SW_SHOWNORMAL, f.FirstShow());
        ASSERT_NE(nullptr, DataCopyDrag().FileName());  // the key absent: the default name
        EXPECT_STREQ("FuncList.txt", DataCopyDrag().FileName());
    });
    const std::string text = Read();
    size_t at = text.find("[Setting]\r\n");
    ASSERT_EQ(0u, at) << text;
    for (const char *key : {"Window=", "ListView=", "PanelFileMask=120\r\n", "PanelFileMaskKeyword=350\r\n",
                            "Path=", "FileMaskIndex=0\r\n", "Recursive=0\r\n", "IgnoreCase=1\r\n",
                            "Export=1\r\n", "UnnamedExports=0\r\n"}) {
        const size_t next = text.find(std::string("\n") + key, at);
        ASSERT_NE(std::string::npos, next) << key << " in order in\n" << text;
        at = next + 1;
    }
    EXPECT_EQ(std::string::npos, text.find("CopyDragFileName"));
}

TEST_F(Settings, AStartReadsWhatTheLastEndWrote)
{
    Write("[Setting]\r\nPanelFileMask=90\r\nPath=C:\\somewhere\r\nFileMaskIndex=2\r\nRecursive=1\r\n"
          "IgnoreCase=0\r\nExport=0\r\nUnnamedExports=1\r\nCopyDragFileName=\r\nOther=kept\r\n");
    Run([](TFormKalvex &f) {
        EXPECT_EQ(90, f.PanelFileMask->Width);
        EXPECT_EQ("C:\\somewhere", f.EditFolder->Text());
        EXPECT_EQ("C:\\somewhere", f.OpenDialog->InitialDir);
        EXPECT_EQ(2, f.ComboBoxFileMask->ItemIndex());
        EXPECT_TRUE(f.ActionRecursive->Checked);
        EXPECT_FALSE(f.ActionIgnoreCase->Checked);
        EXPECT_TRUE(f.ActionImport->Checked);
        EXPECT_FALSE(f.ActionExport->Checked);
        EXPECT_TRUE(f.ActionUnnamed->Checked);
        EXPECT_EQ(nullptr, DataCopyDrag().FileName());  // present and empty: no file
        f.EditFolder->SetText("");
    });
    const std::string text = Read();
    EXPECT_NE(std::string::npos, text.find("\r\nCopyDragFileName=\r\nOther=kept\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\r\nPath=\r\n")) << text;
    Run([](TFormKalvex &f) {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        EXPECT_EQ(system, f.EditFolder->Text());  // an empty path shows the system folder again
    });
}

TEST_F(Settings, AMaskIndexOutsideTheTableSelectsTheFirstMask)
{
    Write("[Setting]\r\nFileMaskIndex=7\r\n");
    Run([](TFormKalvex &f) { EXPECT_EQ(0, f.ComboBoxFileMask->ItemIndex()); });
    EXPECT_NE(std::string::npos, Read().find("\r\nFileMaskIndex=0\r\n"));
}

TEST_F(Settings, AMaximisedWindowComesBackMaximisedAtItsNormalPlace)
{
    Run([](TFormKalvex &f) {
        SetWindowPos(f.Handle, nullptr, 100, 80, 600, 400, SWP_NOZORDER);
        ShowWindow(f.Handle, SW_SHOWMAXIMIZED);
    });
    EXPECT_NE(std::string::npos, Read().find("\r\nWindow=100,80,600,400,2\r\n")) << Read();
    Run([](TFormKalvex &f) { EXPECT_EQ(SW_SHOWMAXIMIZED, f.FirstShow()); });
}

TEST_F(Settings, ANonIntegerPlacementOrWidthEndsTheStartWithoutWritingAndNamesTheKey)
{
    const struct {
        const char *stored, *message;
    } cases[] = {
        {"[Setting]\r\nWindow=10,abc\r\nPath=C:\\mine\r\n", "'abc' は整数ではありません\r\n%s [Setting] Window"},
        {"[Setting]\r\nListView=200,,70\r\n", "'' は整数ではありません\r\n%s [Setting] ListView"},
    };
    for (const auto &c : cases) {
        Write(c.stored);
        Application.Initialize();
        std::string message = c.message;
        message.replace(message.find("%s"), 2, Ini());
        try {
            FormKalvex = new TFormKalvex();
            ADD_FAILURE() << "constructed";
            delete FormKalvex;
        } catch (const std::exception &e) {
            EXPECT_EQ(message, e.what());
        }
        FormKalvex = nullptr;
        EXPECT_EQ(c.stored, Read());
    }
}

TEST_F(Settings, StoredPlacementsAndWidthsCannotLoseTheWindowOrItsBoxes)
{
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const struct {
        const char *stored;
        RECT bounds;  // the window's, once started
    } cases[] = {
        // Off every monitor: moved onto the work area, size kept.
        {"Window=99999,99999,640,480,0", {area.right - 640, area.bottom - 480, area.right, area.bottom}},
        {"Window=-5000,100,400,300,0", {area.left, 100, area.left + 400, 400}},
        // Too small: the window's minimum.
        {"Window=0,0,-100,-100,0", {0, 0, TFormKalvex::MinWidth, TFormKalvex::MinHeight}},
        // Partly on the screen: kept as stored.
        {"Window=-300,-200,400,300,0", {-300, -200, 100, 100}},
    };
    for (const auto &c : cases) {
        Write(std::string("[Setting]\r\n") + c.stored + "\r\nListView=999999,-5,0\r\n"
              "PanelFileMask=-500\r\nPanelFileMaskKeyword=99999\r\n");
        Run([&](TFormKalvex &f) {
            RECT r{};
            GetWindowRect(f.Handle, &r);
            EXPECT_EQ((std::vector<LONG>{c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom}),
                      (std::vector<LONG>{r.left, r.top, r.right, r.bottom}))
                << c.stored;
            // The panels and their boxes keep the splitters' minimum of 30.
            EXPECT_EQ(30, f.PanelFileMask->Width) << c.stored;
            RECT folder{}, keyword{};
            GetWindowRect(f.PanelFolderToolBar->Handle, &folder);
            GetWindowRect(f.PanelKeywordToolBar->Handle, &keyword);
            EXPECT_EQ(30, folder.right - folder.left) << c.stored;
            EXPECT_GE(keyword.right - keyword.left, 30) << c.stored;
        });
        const std::string text = Read();
        EXPECT_NE(std::string::npos, text.find("\r\nListView=4000,10,0,-2\r\nPanelFileMask=30\r\n")) << text;
    }
}
