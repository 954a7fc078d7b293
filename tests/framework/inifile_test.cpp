// The in-memory ini store on real files: parse and save rules, lookups,
// lenient reads, key placement, and the write that never leaves a part.
#include "framework/inifile.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

namespace {

void WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD wrote = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::string &path)
{
    std::string bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[4096];
    DWORD got;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

// A folder with one ini file path in it, removed after the test.
class IniFile : public ::testing::Test {
protected:
    void TearDown() override
    {
        DeleteFileA(Path.c_str());
        DeleteFileA((Path + ".tmp").c_str());
        RemoveDirectoryA((Path + ".tmp").c_str());
        RemoveDirectoryA(Dir.c_str());
    }
    const std::string Dir = NewTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string Path = Dir + "Kalvex.ini";
};

const char MessyFile[] =
    "; comment before the first section\r\n"
    "Orphan=1\r\n"
    "\r\n"
    "  [ Setting ]  \r\n"
    "  Window =  1,2,3,4,0  \r\n"
    "  ; comment inside a section\n"
    "\tPath\t=\tC:\\表\\x \n"
    "NoEquals line\r"
    "\r\n"
    "Empty=\r\n"
    "[Other]\r\n"
    "Key = a = b\r\n"
    "[]\r\n"
    "[setting]\r\n"
    "Dup=1";

}  // namespace

TEST_F(IniFile, SavesOnlySectionsAndTheirLinesTrimmed)
{
    WriteBytes(Path, MessyFile);
    TMemIniFile ini(Path);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\n"
              "Window=1,2,3,4,0\r\n"
              "Path=C:\\表\\x\r\n"
              "NoEquals line\r\n"
              "Empty=\r\n"
              "\r\n"
              "[Other]\r\n"
              "Key=a = b\r\n"
              "\r\n"
              "[]\r\n"
              "\r\n"
              "[setting]\r\n"
              "Dup=1\r\n"
              "\r\n",
              ReadBytes(Path));
}

TEST_F(IniFile, LooksUpNamesWithoutRegardToCaseFirstOccurrenceCounting)
{
    WriteBytes(Path, MessyFile);
    const TMemIniFile ini(Path);
    const struct {
        const char *section, *key, *value;
    } cases[] = {
        {"Setting", "Window", "1,2,3,4,0"},
        {"SETTING", "window", "1,2,3,4,0"},
        {"setting", "PATH", "C:\\表\\x"},
        {"Setting", "Empty", ""},              // present and empty is not missing
        {"Other", "KEY", "a = b"},             // the first "=" ends the key
        {"Setting", "NoEquals line", "<def>"}, // a line without "=" is no key
        {"Setting", "Dup", "<def>"},           // only the first "Setting" counts
        {"Setting", "Orphan", "<def>"},
        {"", "Orphan", "<def>"},
        {"Missing", "Window", "<def>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.value, ini.ReadString(c.section, c.key, "<def>")) << c.section << "/" << c.key;
}

TEST_F(IniFile, ReadsIntegersAndBooleansLeniently)
{
    WriteBytes(Path, "[S]\nInt=42\nNeg=-7\nHex=0x10\nBad=12abc\nEmpty=\nBig=2147483648\n"
                     "B0=0\nB1=1\nB5=5\nBYes=yes\n");
    const TMemIniFile ini(Path);
    const struct {
        const char *key;
        int value;
    } ints[] = {{"Int", 42}, {"Neg", -7}, {"Hex", 16}, {"Bad", 3}, {"Empty", 3}, {"Big", 3}, {"None", 3}};
    for (const auto &c : ints)
        EXPECT_EQ(c.value, ini.ReadInteger("s", c.key, 3)) << c.key;
    const struct {
        const char *key;
        bool whenDefFalse, whenDefTrue;
    } bools[] = {{"B0", false, false}, {"B1", true, true}, {"B5", true, true},
                 {"BYes", false, true}, {"None", false, true}};
    for (const auto &c : bools) {
        EXPECT_EQ(c.whenDefFalse, ini.ReadBool("S", c.key, false)) << c.key;
        EXPECT_EQ(c.whenDefTrue, ini.ReadBool("S", c.key, true)) << c.key;
    }
}

TEST_F(IniFile, KeysKeepTheirPlaceNewOnesGoToTheEndOfTheirSection)
{
    WriteBytes(Path, "[Setting]\r\npath=old\r\nExtra=kept\r\n[Other]\r\nA=1\r\n");
    TMemIniFile ini(Path);
    ini.WriteString("SETTING", "Window", "1,2,3,4,0");
    ini.WriteString("Setting", "Path", "C:\\x");
    ini.WriteInteger("Other", "N", -5);
    ini.WriteBool("New", "On", true);
    ini.WriteBool("New", "Off", false);
    ini.WriteString("Other", "Line", "one\r\n[Injected]\r\nKey=1");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\nPath=C:\\x\r\nExtra=kept\r\nWindow=1,2,3,4,0\r\n\r\n"
              "[Other]\r\nA=1\r\nN=-5\r\nLine=one\r\n\r\n"
              "[New]\r\nOn=1\r\nOff=0\r\n\r\n",
              ReadBytes(Path));
    const TMemIniFile again(Path);
    EXPECT_EQ(-5, again.ReadInteger("other", "n", 0));
    EXPECT_TRUE(again.ReadBool("new", "on", false));
    EXPECT_FALSE(again.ReadBool("new", "off", true));
}

TEST_F(IniFile, AMissingFileReadsAsEmptyAndIsCreated)
{
    TMemIniFile ini(Path);
    EXPECT_TRUE(ini.Loaded());
    EXPECT_EQ("d", ini.ReadString("Setting", "Path", "d"));
    ini.WriteString("Setting", "Path", "");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\nPath=\r\n\r\n", ReadBytes(Path));

    TMemIniFile nowhere(Dir + "no such folder\\Kalvex.ini");
    nowhere.WriteString("Setting", "Path", "x");
    EXPECT_FALSE(nowhere.UpdateFile());
}

TEST_F(IniFile, AFailedWriteLeavesTheOldFileWhole)
{
    WriteBytes(Path, "[Setting]\r\nPath=old\r\n");
    TMemIniFile ini(Path);
    ini.WriteString("Setting", "Path", "new");

    // The temporary file cannot be created: a folder holds its name.
    ASSERT_TRUE(CreateDirectoryA((Path + ".tmp").c_str(), nullptr));
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\nPath=old\r\n", ReadBytes(Path));
    RemoveDirectoryA((Path + ".tmp").c_str());

    // The file cannot be replaced while another program holds it open
    // without sharing: no temporary file is left behind.
    HANDLE held = CreateFileA(Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(ini.UpdateFile());
    CloseHandle(held);
    EXPECT_EQ("[Setting]\r\nPath=old\r\n", ReadBytes(Path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((Path + ".tmp").c_str()));

    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\nPath=new\r\n\r\n", ReadBytes(Path));
}

TEST_F(IniFile, AFileThatCouldNotBeReadIsNeverOverwritten)
{
    WriteBytes(Path, "[Setting]\r\nCopyDragFileName=\r\n");
    HANDLE held = CreateFileA(Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    TMemIniFile ini(Path);
    CloseHandle(held);
    EXPECT_FALSE(ini.Loaded());
    EXPECT_EQ("FuncList.txt", ini.ReadString("Setting", "CopyDragFileName", "FuncList.txt"));
    ini.WriteString("Setting", "Path", "x");
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ("[Setting]\r\nCopyDragFileName=\r\n", ReadBytes(Path));
}

TEST(IniFileName, IsTheExecutablesPathWithTheExtensionIni)
{
    EXPECT_EQ(TestDir() + "kalvex_framework_tests.ini", ApplicationIniFileName());
}
