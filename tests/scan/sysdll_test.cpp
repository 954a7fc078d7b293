// Our reader against an independent one: objdump's export listing of every
// PE file of Wine's system folder, those its loader refuses included (written
// by the test session into tests\sysdll before the run, one "raw-ordinal
// name [target]" line per export: the named ones in name-table order, then
// those no name points to, a forwarder with its target).
#include "scan/modulereader.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            uint32_t number;
            std::string name, target;
            fields >> number >> name >> target;
            expected.emplace_back(target.empty() ? name : name + NameSeparator + target, number);
        }

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
