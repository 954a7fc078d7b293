// Measures the module reader over every file of a folder (default: the
// system directory), in export and in import mode, against the system
// loader's reading of the same files (the tests' oracle), and the full listing
// path: a worker handing every export row to this thread one by one; then
// the import walk over crafted images that share one long module name, at
// two sizes, to show that its time grows with the size and not faster; and
// the export names of a crafted image with 65,535 sections, each name in
// another section than the one before, against the same names in one section.
//   kalvex_scanbench.exe [folder]
#include "scan/modulereader.h"
#include "framework/application.h"
#include "tests/scan/loaderreader.h"
#include "scan/nametables.h"
#include "scan/unitthreadkalvex.h"
#include "tests/scan/imagebuilder.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "bench/clock.h"

namespace {

void Report(const char *what, size_t files, size_t entries, double seconds)
{
    std::printf("%-22s files %6u  entries %7u  %8.3f s  %9.0f files/s  %10.0f entries/s\n", what,
                unsigned(files), unsigned(entries), seconds, files / seconds, entries / seconds);
}

class TCounter : public FIResultView {
public:
    size_t Rows = 0;
    void ClearRows() override {}
    void SetStatusText(const std::string &) override {}
    void AppendRow(std::string_view, int32_t, std::string_view, std::string_view, std::string_view) override
    {
        ++Rows;
    }
};

// The shared-name image of 1 MiB and of 4 MiB: walked in memory, and read
// from a file through the system loader; the best of five runs each.
void SharedNameWalks()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "kalvex-bench-sharedname.dll";
    for (uint32_t mib : {1u, 4u}) {
        const TPeBuilder b = SharedNameImports(mib << 20);
        TGuardedImage image(b.Bytes);
        b.WriteTo(path);
        double walk = 1e9, file = 1e9;
        uint32_t walked = 0, read = 0;
        for (int run = 0; run < 5; ++run) {
            TNameList list;
            double start = Now();
            walked = WalkImportNames(image.View(), TPeBuilder::DataRva, list);
            walk = std::min(walk, Now() - start);
            start = Now();
            read = ReadFunctionNames(path, false, list);
            file = std::min(file, Now() - start);
        }
        DeleteFileA(path.c_str());
        std::printf("shared-name imports %u MiB: walk %8.2f ms (code %u), file %8.2f ms (code %u)\n",
                    unsigned(mib), walk * 1000, unsigned(walked), file * 1000, unsigned(read));
    }
}

// 1,048,576 export names read from a file whose image has 65,535 sections,
// consecutive names in different sections, and from the same file with one
// section over it all: the cost a name, the best of five runs each, taking
// turns. Short names, so that all of them fit the walk's byte budget; each
// run's list has room for them all beforehand, so that the heap's cost of
// growing it (the same for both, and as large as the rest) does not hide the
// reader's.
void SpreadNameReads()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const uint32_t names = 1u << 20;
    const std::string paths[2] = {std::string(temp) + "kalvex-bench-spread.dll",
                                  std::string(temp) + "kalvex-bench-onesection.dll"};
    for (int i = 0; i < 2; ++i)
        if (!SpreadExports(65535, names, i == 1).WriteTo(paths[i]))
            return;
    double best[2] = {1e9, 1e9};
    uint32_t code[2] = {0, 0};
    TNameList lists[2];
    for (int run = 0; run < 10; ++run) {
        const int i = run % 2;
        TNameList list;
        list.reserve(names);
        const double start = Now();
        code[i] = ReadFunctionNames(paths[i], true, list);
        best[i] = std::min(best[i], Now() - start);
        lists[i].swap(list);
    }
    for (int i = 0; i < 2; ++i) {
        DeleteFileA(paths[i].c_str());
        const TNameList &list = lists[i];
        std::printf("%u names, %s: %7.1f ms, %6.1f ns a name (code %u, %u names, %s .. %s)\n", unsigned(names),
                    i == 0 ? "65,535 sections" : "one section    ", best[i] * 1000, best[i] / names * 1e9,
                    unsigned(code[i]), unsigned(list.size()), list.empty() ? "" : list.front().Text.c_str(),
                    list.empty() ? "" : list.back().Text.c_str());
    }
    std::printf("a name in 65,535 sections / in one: %.2f\n", best[0] / best[1]);
}

}  // namespace

int main(int argc, char **argv)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    const std::string folder = std::string(argc > 1 ? argv[1] : sys) + "\\";
    TStringList files;
    WIN32_FIND_DATAA find;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &find);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.push_back(folder + find.cFileName);
        } while (FindNextFileA(h, &find));
        FindClose(h);
    }
    std::printf("folder %s\n", folder.c_str());
    // Our reader and the loader's over the same files, taking turns; the
    // best of two passes each, so that neither gains from the other's warming.
    double ours[2] = {1e9, 1e9}, loader[2] = {1e9, 1e9};
    for (int pass = 0; pass < 4; ++pass)
        for (bool exportTable : {true, false}) {
            const bool byLoader = pass % 2 == 1;
            size_t entries = 0, failed = 0;
            const double start = Now();
            for (const std::string &path : files) {
                TNameList list;
                const uint32_t code = byLoader ? LoaderReadFunctionNames(path, exportTable, list)
                                               : ReadFunctionNames(path, exportTable, list);
                if (code == 0)
                    entries += list.size();
                else
                    ++failed;
            }
            const double seconds = Now() - start;
            double &best = (byLoader ? loader : ours)[exportTable ? 0 : 1];
            best = std::min(best, seconds);
            if (pass < 2)
                continue;
            Report(byLoader ? (exportTable ? "loader, exports" : "loader, imports")
                            : (exportTable ? "read exports" : "read imports"),
                   files.size(), entries, best);
            std::printf("%-22s %u files could not be read\n", "", unsigned(failed));
        }
    std::printf("our read loop / the loader's: exports %.3f, imports %.3f\n", ours[0] / loader[0],
                ours[1] / loader[1]);
    TCounter counter;
    const double start = Now();
    {
        TThreadKalvex worker(files, "", false, true, counter);
        Application.RunUntil([&] { return !worker.Finding; });
        worker.WaitForEnd();
    }
    Report("worker, row hand-offs", files.size(), counter.Rows, Now() - start);
    SharedNameWalks();
    SpreadNameReads();
    return 0;
}
