// Measures the result list's operations in the real main window, on the
// full listing of a folder (default: the system directory): the process's memory, one header click per column
// (the click's handler: mark and sort), select all, invert, and each export
// builder over all rows selected, without and with the full-path column; then
// the memory after a copy of every row and after a second listing.
//   kalvex_listbench.exe [folder]
#include "app/unitkalvex.h"
#include "listview/listviewutility.h"
#include "transfer/datacopydrag.h"

#include <psapi.h>

#include <cstdio>
#include <functional>

#include "bench/clock.h"
#include "tests/committed.h"

namespace {

double Seconds(const std::function<void()> &step)
{
    const double start = Now();
    step();
    return Now() - start;
}

void Report(const char *what, double seconds, const char *note = "")
{
    std::printf("  %-28s %8.3f s  %s\n", what, seconds, note);
}

void ShowMemory(const char *when)
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("  %s: private committed %.1f MB, working set %.1f MB, page file use %.1f MB\n", when,
                PrivateCommittedBytes() / 1048576.0, memory.WorkingSetSize / 1048576.0, memory.PagefileUsage / 1048576.0);
}

}  // namespace

int main(int argc, char **argv)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    Application.Initialize();
    FormKalvex = new TFormKalvex();
    ShowWindow(FormKalvex->Handle, SW_SHOW);
    Application.ProcessMessages();
    FormKalvex->EditFolder->SetText(argc > 1 ? argv[1] : sys);
    FormKalvex->EditFindText->SetText("");
    ShowMemory("memory before the search");

    const double listing = Seconds([] {
        FormKalvex->ActionFind->Execute();
        Application.RunUntil([] { return !FormKalvex->IsFinding(); });
        Application.ProcessMessages();
    });
    TListView &list = *FormKalvex->ListView;
    const int rows = list.Count();
    std::printf("window listing  rows %7d  %8.3f s  %10.0f rows/s\n", rows, listing, rows / listing);

    ShowMemory("memory with the rows listed");

    // Each step, then the messages it left (repaints) outside the timing.
    auto timed = [](const std::function<void()> &step) {
        const double s = Seconds(step);
        Application.ProcessMessages();
        return s;
    };
    const char *captions[] = {"sort by name (text)", "sort by ordinal (number)", "sort by module (text)",
                              "sort by path (text)"};
    for (int c = 0; c < 4; ++c)
        Report(captions[c], timed([&] { FormKalvex->ListViewColumnClick(list, c); }));
    Report("sort by path again (flip)", timed([&] { FormKalvex->ListViewColumnClick(list, 3); }));
    Report("select all", timed([&] { ListViewSelectAll(list, true); }));
    Report("invert (all to none)", timed([&] { ListViewSelectInvert(list, true); }));
    Report("invert (none to all)", timed([&] { ListViewSelectInvert(list, true); }));

    for (bool withPath : {false, true}) {
        if (withPath)
            list.Columns[3]->SetWidth(300);  // as after the user resized it
        char note[64];
        std::string text;
        const char *columns = withPath ? "4 columns" : "3 columns";
        double s = timed([&] { text = ListViewToText(list, true, false); });
        std::snprintf(note, sizeof note, "%s, %u bytes", columns, static_cast<unsigned>(text.size()));
        Report("tab text", s, note);
        s = timed([&] { text = ListViewToCsv(list, true, false); });
        std::snprintf(note, sizeof note, "%s, %u bytes", columns, static_cast<unsigned>(text.size()));
        Report("CSV", s, note);
        s = timed([&] { text = ListViewToSylk(list, true, false); });
        std::snprintf(note, sizeof note, "%s, %u bytes", columns, static_cast<unsigned>(text.size()));
        Report("SYLK", s, note);
    }
    // What a copy of every row, and a second listing, add.
    ListViewSelectAll(list, false);
    FormKalvex->ActionCopyExecute(*FormKalvex->ActionCopy);
    ShowMemory("memory with every row copied");
    FormKalvex->ActionFind->Execute();
    Application.RunUntil([] { return !FormKalvex->IsFinding(); });
    Application.ProcessMessages();
    ShowMemory("memory after a second listing");
    FormKalvex->ClearRows();
    ShowMemory("memory after clearing the list");
    delete FormKalvex;
    FreeDataCopyDrag();  // the copy's temporary folder goes
    return 0;
}
