// What the transfer tests share: global memory blocks as byte strings, and
// a fresh temporary folder for each test, made the system's temporary folder
// (TMP and TEMP) while the test runs.
#pragma once

#include "transfer/tempfile.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

inline HGLOBAL Block(const std::string &bytes)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

// The whole block; "(none)" for no block.
inline std::string Bytes(HANDLE h)
{
    if (!h)
        return "(none)";
    const char *p = static_cast<const char *>(GlobalLock(h));
    std::string s(p, GlobalSize(h));
    GlobalUnlock(h);
    return s;
}

class TTempTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 2; ++i) {
            char value[1024] = "";
            FSaved[i] = GetEnvironmentVariableA(Names[i], value, sizeof value) ? value : "";
        }
        Root = NewTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Root.pop_back();
        SetTemp(Root);
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; ++i)
            SetEnvironmentVariableA(Names[i], FSaved[i].c_str());
        DeleteFolderTree((Root + '\0').c_str());
    }
    static void SetTemp(const std::string &path)
    {
        SetEnvironmentVariableA("TMP", path.c_str());
        SetEnvironmentVariableA("TEMP", path.c_str());
    }
    // Names in folder, "." and ".." aside.
    static int CountEntries(const std::string &folder)
    {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
        int n = 0;
        if (find != INVALID_HANDLE_VALUE) {
            do
                n += strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0;
            while (FindNextFileA(find, &data));
            FindClose(find);
        }
        return n;
    }
    static bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string Root;  // without the trailing "\"

private:
    static constexpr const char *Names[2] = {"TMP", "TEMP"};
    std::string FSaved[2];
};
