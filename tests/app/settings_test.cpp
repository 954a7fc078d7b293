// The settings file: what a start reads, what an orderly end writes, and a
// failed start that writes nothing.
#include "tests/app/windowfixture.h"
#include "transfer/datacopydrag.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

TEST_F(Settings, AFirstEndWritesTheNineKeysInOrder)
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
                            "Export=1\r\n"}) {
        const size_t next = text.find(std::string("\n") + key, at);
        ASSERT_NE(std::string::npos, next) << key << " in order in\n" << text;
        at = next + 1;
    }
    EXPECT_EQ(std::string::npos, text.find("CopyDragFileName"));
}

TEST_F(Settings, AStartReadsWhatTheLastEndWrote)
{
    Write("[Setting]\r\nPanelFileMask=90\r\nPath=C:\\somewhere\r\nFileMaskIndex=2\r\nRecursive=1\r\n"
          "IgnoreCase=0\r\nExport=0\r\nCopyDragFileName=\r\nOther=kept\r\n");
    Run([](TFormKalvex &f) {
        EXPECT_EQ(90, f.PanelFileMask->Width);
        EXPECT_EQ("C:\\somewhere", f.EditFolder->Text());
        EXPECT_EQ("C:\\somewhere", f.OpenDialog->InitialDir);
        EXPECT_EQ(2, f.ComboBoxFileMask->ItemIndex());
        EXPECT_TRUE(f.ActionRecursive->Checked);
        EXPECT_FALSE(f.ActionIgnoreCase->Checked);
        EXPECT_TRUE(f.ActionImport->Checked);
        EXPECT_FALSE(f.ActionExport->Checked);
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

TEST_F(Settings, ANonIntegerPlacementEndsTheStartWithoutWriting)
{
    const std::string stored = "[Setting]\r\nWindow=10,abc\r\nPath=C:\\mine\r\n";
    Write(stored);
    Application.Initialize();
    try {
        FormKalvex = new TFormKalvex();
        ADD_FAILURE() << "constructed";
        delete FormKalvex;
    } catch (const std::exception &e) {
        EXPECT_STREQ("'abc' は整数ではありません", e.what());
    }
    FormKalvex = nullptr;
    EXPECT_EQ(stored, Read());
}
