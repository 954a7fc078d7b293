// Our reader against an independent one: objdump's export listing of every
// PE file of Wine's system folder, those its loader refuses included (written
// by the test session into tests\sysdll before the run, one "raw-ordinal
// name" line per export in name-table order).
#include "scan/modulereader.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(SystemDlls, ExportsEqualWhatObjdumpReads)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    WIN32_FIND_DATAA find;
    const std::string dir = TestDir() + "sysdll\\";
    HANDLE h = FindFirstFileA((dir + "*.txt").c_str(), &find);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << "no objdump listings in " << dir;
    int modules = 0;
    size_t names = 0;
    do {
        const std::string listing = find.cFileName;
        const std::string dll = listing.substr(0, listing.size() - 4);
        std::ifstream in(dir + listing);
        std::vector<std::pair<std::string, uint32_t>> expected;
        uint32_t number;
        std::string name;
        while (in >> number >> name)
            expected.emplace_back(name, number);

        TNameList list;
        ASSERT_EQ(0u, ReadFunctionNames(std::string(sys) + "\\" + dll, true, list)) << dll;
        std::vector<std::pair<std::string, uint32_t>> actual;
        for (const TNameEntry &e : list)
            actual.emplace_back(e.Text, e.Number);
        EXPECT_EQ(expected, actual) << dll;
        ++modules;
        names += actual.size();
    } while (FindNextFileA(h, &find));
    FindClose(h);
    EXPECT_GE(modules, 500);
    EXPECT_GT(names, 50000u);
}
