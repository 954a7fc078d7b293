// Measures searches in the real main window against their floor: (a) the
// bare walk and read loop over the same files, (b) as many empty synchronous
// hand-offs as the search makes (files + rows + 2), (c) the window's time
// from F5 to the summary's idle pass, c / (a + b), and (d) the longest time
// the window did not answer a message sent from a second process. Cases: a
// keyword search, a first and a repeated full listing of a folder (*.dll,
// ignore case), and a recursive search of a large tree that the bench builds
// once (*.*, most files no modules). The cases run on an idle machine, then
// with one core held busy by a spinning process; then one full listing while
// a thread of this process sends messages to the window in a tight loop.
// These run without the name cache; then the keyword searches run without
// it and with it cold (the cache emptied; the better of two each), then
// warm twice, with how many of their files the cache then holds and its size.
//   kalvex_windowbench.exe [folder [keyword]]   (default: system32, "alloc")
//   kalvex_windowbench.exe --profile [folder]    only two full listings and
//       80,000 empty hand-offs, idle and with one core busy, for a profiler
//   kalvex_windowbench.exe --crafted            only how soon Ctrl+D and closing
//       end a search inside a crafted module's walk
//   kalvex_windowbench.exe --cache [folder [keyword]]   only the name cache's
//       figures
// KALVEX_BENCH_OBJDUMP (seconds of a native "objdump -p | grep -i alloc" over
// the same files) adds the keyword search's ratio to it.
#include "app/targetfiles.h"
#include "app/unitkalvex.h"
#include "scan/modulereader.h"
#include "scan/namecache.h"
#include "scan/nametables.h"
#include "scan/targetfiles.h"
#include "tests/scan/imagebuilder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/clock.h"

namespace {

// Runs the message loop until done() holds, looking at it at least every
// 5 ms: done may turn true without a message.
void PumpUntil(const std::function<bool()> &done)
{
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < 60000) {
        Application.ProcessMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// ---- the second process: answers measured from outside ----

// Shared with the probe process.
struct TProbeShared {
    volatile LONG Stop;
    volatile LONG Pause, Generation, Paused;  // Paused: the generation it paused in
    volatile LONG Answers;
    volatile double Longest;  // seconds
};
const char *const ProbeMapping = "KalvexWindowBenchProbe";

// Sends WM_NULL to the window every 5 ms and keeps the longest wait for an
// answer; sends nothing while paused.
int RunProbe(HWND window)
{
    HANDLE map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, ProbeMapping);
    auto *shared = static_cast<TProbeShared *>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!shared)
        return 1;
    while (!shared->Stop) {
        if (shared->Pause) {
            shared->Paused = shared->Generation;
            Sleep(1);
            continue;
        }
        const double start = Now();
        DWORD_PTR result;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double waited = Now() - start;
        if (waited > shared->Longest)
            shared->Longest = waited;
        InterlockedIncrement(&shared->Answers);
        Sleep(5);
    }
    return 0;
}

// A process of this executable started with arguments; closed by the destructor.
class TChild {
public:
    explicit TChild(const std::string &arguments)
    {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command = "\"" + std::string(self) + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FInfo))
            FInfo = {};
    }
    ~TChild()
    {
        if (!FInfo.hProcess)
            return;
        if (WaitForSingleObject(FInfo.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(FInfo.hProcess, 0);
        CloseHandle(FInfo.hProcess);
        CloseHandle(FInfo.hThread);
    }
    void Kill() { TerminateProcess(FInfo.hProcess, 0); }

private:
    PROCESS_INFORMATION FInfo = {};
};

class TProbe {
public:
    explicit TProbe(HWND window)
        : FMap(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TProbeShared),
                                  ProbeMapping)),
          FShared(static_cast<TProbeShared *>(MapViewOfFile(FMap, FILE_MAP_ALL_ACCESS, 0, 0, 0)))
    {
        ZeroMemory(const_cast<TProbeShared *>(FShared), sizeof *FShared);
        FChild = new TChild("--probe " + std::to_string(reinterpret_cast<uintptr_t>(window)));
        PumpUntil([&] { return FShared->Answers > 0; });  // started once it has been answered
    }
    ~TProbe()
    {
        FShared->Stop = 1;
        delete FChild;
        UnmapViewOfFile(FShared);
        CloseHandle(FMap);
    }
    // Stops probing, answering the message in flight.
    void Pause()
    {
        const LONG generation = InterlockedIncrement(&FShared->Generation);
        FShared->Pause = 1;
        PumpUntil([&] { return FShared->Paused == generation; });
    }
    // Probes again, from a longest wait of 0.
    void Resume()
    {
        FShared->Longest = 0;
        FShared->Pause = 0;
    }
    double Longest() const { return FShared->Longest; }

private:
    HANDLE FMap;
    TProbeShared *FShared;
    TChild *FChild = nullptr;
};

// ---- the fixture tree ----

// 24 x 8 x 8 folders, 20 files in each of the 1,536 deepest: 30,720 files,
// one in 40 a link to a module of the system folder, the others small texts.
std::string BenchTree(const TStringList &modules)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "kalvex-bench-tree";
    const std::string done = root + "\\complete";
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES)
        return root;
    std::printf("building the tree %s ...\n", root.c_str());
    CreateDirectoryA(root.c_str(), nullptr);
    const char *kinds[] = {".txt", ".dat", ".ini", ".log", ".xml"};
    size_t made = 0;
    for (int a = 0; a < 24; ++a) {
        const std::string da = root + "\\top" + std::to_string(a);
        CreateDirectoryA(da.c_str(), nullptr);
        for (int b = 0; b < 8; ++b) {
            const std::string db = da + "\\mid" + std::to_string(b);
            CreateDirectoryA(db.c_str(), nullptr);
            for (int c = 0; c < 8; ++c) {
                const std::string dc = db + "\\leaf" + std::to_string(c);
                CreateDirectoryA(dc.c_str(), nullptr);
                for (int f = 0; f < 20; ++f, ++made) {
                    if (made % 40 == 0 && !modules.empty()) {
                        const std::string &module = modules[(made / 40) % modules.size()];
                        const std::string link = dc + "\\" + std::to_string(f) + "-" + ExtractFileName(module);
                        if (!CreateHardLinkA(link.c_str(), module.c_str(), nullptr))
                            CopyFileA(module.c_str(), link.c_str(), FALSE);
                        continue;
                    }
                    const std::string path = dc + "\\file" + std::to_string(f) + kinds[f % 5];
                    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
                    DWORD written;
                    WriteFile(h, "not a module\r\n", 14, &written, nullptr);
                    CloseHandle(h);
                }
            }
        }
    }
    CloseHandle(CreateFileA(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return root;
}

// ---- the floor ----

// (a): the walk (when a mask is given), every file read, every name matched;
// the rows the search will make and the files it reads.
double ReadLoop(const std::string &folder, const std::string &mask, bool recursive, const std::string &keyword,
                size_t &files, size_t &rows)
{
    const std::string key = AnsiUpperCase(keyword);
    rows = 0;
    const double start = Now();
    TStringList list;
    CollectFiles(folder, mask, list, recursive);
    for (const std::string &path : list) {
        TNameList names;
        if (ReadFunctionNames(path, true, names) != 0) {
            rows += key.empty();
            continue;
        }
        for (const TNameEntry &e : names)
            rows += key.empty() || AnsiUpperCase(e.Text).find(key) != std::string::npos;
    }
    files = list.size();
    return Now() - start;
}

// (b): a worker making count empty hand-offs, served by the message loop.
class TEmptyHandOffs : public TThread {
public:
    explicit TEmptyHandOffs(size_t count) : FCount(count) { Start(); }
    ~TEmptyHandOffs() override { StopAndWait(); }
    std::atomic<bool> Done{false};

protected:
    void Run() override
    {
        for (size_t i = 0; i < FCount; ++i)
            Synchronize([] {});
        Done = true;
    }

private:
    size_t FCount;
};

double HandOffs(size_t count)
{
    const double start = Now();
    TEmptyHandOffs worker(count);
    Application.RunUntil([&] { return worker.Done.load(); });
    return Now() - start;
}

// ---- the window ----

struct TCase {
    const char *Name;
    std::string Folder;
    int Mask;  // row of the mask table
    bool Recursive;
    std::string Keyword;
};

// (c): one search in the window, from F5 to the summary's idle pass.
double WindowSearch(const TCase &c, int &rows)
{
    FormKalvex->EditFolder->SetText(c.Folder);
    FormKalvex->ComboBoxFileMask->SetItemIndex(c.Mask);
    FormKalvex->ActionRecursive->SetChecked(c.Recursive);
    FormKalvex->EditFindText->SetText(c.Keyword);
    const double start = Now();
    FormKalvex->ActionFind->Execute();
    Application.RunUntil([] { return !FormKalvex->IsFinding(); });
    Application.ProcessMessages();
    const double seconds = Now() - start;
    rows = FormKalvex->ListView->Count();
    return seconds;
}

struct TFigures {
    double Floor = 0, Window = 0;
};

std::vector<TFigures> RunCases(const std::vector<TCase> &cases, TProbe &probe)
{
    std::printf("%-20s %7s %7s %9s %9s %9s %9s %8s %10s\n", "search", "files", "rows", "a read", "b hand",
                "a+b", "c window", "c/(a+b)", "d longest");
    std::vector<TFigures> figures;
    for (const TCase &c : cases) {
        size_t files = 0, rows = 0;
        probe.Pause();
        const double a = ReadLoop(c.Folder, FileMaskOf(c.Mask), c.Recursive, c.Keyword, files, rows);
        const double b = HandOffs(files + rows + 2);
        probe.Resume();
        int listed = 0;
        const double window = WindowSearch(c, listed);
        const double longest = probe.Longest();
        std::printf("%-20s %7u %7d %8.3fs %8.3fs %8.3fs %8.3fs %8.2f %8.0fms\n", c.Name, unsigned(files), listed, a,
                    b, a + b, window, window / (a + b), longest * 1000);
        figures.push_back({a + b, window});
    }
    return figures;
}

// ---- the name cache ----

// The window takes the cache's folder from LOCALAPPDATA at each search: a
// private one for the cache's figures, one below a file (which cannot be
// made) for none.
std::string CacheRoot()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "kalvex-bench-cache";
}

void UseCache(bool on)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("LOCALAPPDATA", on ? CacheRoot().c_str() : (std::string(self) + "\\none").c_str());
}

// How many of the case's files the cache holds (a warm search opens none of
// them), and its size.
size_t CachedFiles(const TCase &c, uint64_t &bytes)
{
    TTargetRequest request;
    request.Sources.push_back({c.Folder, true});
    request.Mask = FileMaskOf(c.Mask);
    request.Recursive = c.Recursive;
    TStringList files;
    std::vector<TFileStamp> stamps;
    CollectTargets(request, files, nullptr, &stamps);
    TNameCache cache(CacheFolderFromText(CacheRoot() + "\\Kalvex"));
    for (size_t i = 0; i < files.size(); ++i) {
        TNameList list;
        cache.ReadFunctionNames(files[i], stamps[i], true, list);
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA((CacheRoot() + "\\Kalvex\\names.kvc").c_str(), GetFileExInfoStandard, &data);
    bytes = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return cache.Counts().Hits;
}

void CacheCases(const std::vector<TCase> &cases)
{
    std::printf("%-20s %7s %7s %9s %9s %9s %9s %9s %9s %11s %9s\n", "name cache", "files", "rows", "cold", "warm",
                "again", "off", "cold/off", "warm/cold", "from cache", "size");
    for (const TCase &c : cases) {
        // Without the cache first, so that every search finds the files in
        // the system's file cache; the better of two for off and cold.
        int rows = 0;
        UseCache(false);
        const double off = std::min(WindowSearch(c, rows), WindowSearch(c, rows));
        UseCache(true);
        double cold = 1e9;
        for (int i = 0; i < 2; ++i) {
            DeleteFileA((CacheRoot() + "\\Kalvex\\names.kvc").c_str());
            cold = std::min(cold, WindowSearch(c, rows));
        }
        const double warm = WindowSearch(c, rows);
        const double again = WindowSearch(c, rows);
        uint64_t bytes = 0;
        const size_t hits = CachedFiles(c, bytes);
        TStringList files;
        CollectFiles(c.Folder, FileMaskOf(c.Mask), files, c.Recursive);
        std::printf("%-20s %7u %7d %8.3fs %8.3fs %8.3fs %8.3fs %9.2f %9.2f %11u %7.0fKiB\n", c.Name,
                    unsigned(files.size()), rows, cold, warm, again, off, cold / off, warm / cold, unsigned(hits),
                    bytes / 1024.0);
    }
}

// A thread of this process that sends the status bar a message in a tight loop.
std::atomic<bool> Flooding{false};
std::atomic<long> FloodAnswers{0};

DWORD WINAPI Flood(void *)
{
    while (Flooding.load()) {
        SendMessageA(FormKalvex->StatusBar->Handle, SB_GETTEXTLENGTHA, 0, 0);
        ++FloodAnswers;
    }
    return 0;
}

// A search that meets a crafted module (65,535 sections, 1,048,576 export
// names, each in another section than the one before): how soon Ctrl+D, and
// closing the window, end it once the worker has begun the module's walk.
void CraftedModuleStops()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "kalvex-bench-crafted";
    const std::string path = folder + "\\crafted.dll";
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!SpreadExports(65535, 1048576).WriteTo(path)) {
        std::printf("crafted module: cannot write %s\n", path.c_str());
        return;
    }
    TNameList names;
    const double readStart = Now();
    const uint32_t code = ReadFunctionNames(path, true, names);
    const double read = Now() - readStart;
    // Starts a search of the folder and returns once the status shows that
    // the module is being read: the worker has handed that over just before
    // its walk begins.
    auto startAndWait = [&] {
        FormKalvex->EditFolder->SetText(folder);
        FormKalvex->ComboBoxFileMask->SetItemIndex(0);
        FormKalvex->ActionRecursive->SetChecked(false);
        FormKalvex->EditFindText->SetText("NoSuchNameAnywhere");
        FormKalvex->ActionFind->Execute();
        PumpUntil([&] { return FormKalvex->StatusBar->SimpleText() == "読み込み中: " + path; });
    };
    startAndWait();
    double start = Now();
    FormKalvex->ActionAbort->Execute();  // what Ctrl+D runs
    Application.RunUntil([] { return !FormKalvex->IsFinding(); });
    const double aborted = Now() - start;
    startAndWait();
    start = Now();
    delete FormKalvex;  // closing: the window stops the search and waits for its end
    FormKalvex = nullptr;
    const double closed = Now() - start;
    std::printf("crafted module (65,535 sections, 1,048,576 names): its read alone %.3f s (code %u, %u names); "
                "Ctrl+D during its read ended the search in %.1f ms; closing the window during its read "
                "in %.1f ms\n",
                read, code, unsigned(names.size()), aborted * 1000, closed * 1000);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 3 && std::string(argv[1]) == "--probe")
        return RunProbe(reinterpret_cast<HWND>(std::strtoul(argv[2], nullptr, 10)));
    if (argc == 2 && std::string(argv[1]) == "--spin")
        for (std::atomic<unsigned> n{0};; n.fetch_add(1, std::memory_order_relaxed)) {
        }
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    const bool profile = argc > 1 && std::string(argv[1]) == "--profile";
    const bool cacheOnly = argc > 1 && std::string(argv[1]) == "--cache";
    if (profile || cacheOnly) {
        --argc;
        ++argv;
    }
    const std::string folder = argc > 1 ? argv[1] : sys;
    const std::string keyword = argc > 2 ? argv[2] : "alloc";
    UseCache(false);
    Application.Initialize();
    FormKalvex = new TFormKalvex();
    ShowWindow(FormKalvex->Handle, SW_SHOW);
    Application.ProcessMessages();
    if (argc == 2 && std::string(argv[1]) == "--crafted") {
        CraftedModuleStops();
        return 0;
    }
    if (profile) {
        int rows = 0;
        for (int i = 0; i < 2; ++i)
            std::printf("full listing: %.3f s\n", WindowSearch({"full listing", folder, 0, false, ""}, rows));
        std::printf("hand-offs: %.3f s\n", HandOffs(80000));
        {
            TChild spinner("--spin");
            std::printf("loaded hand-offs: %.3f s\n", HandOffs(80000));
            for (int i = 0; i < 2; ++i)
                std::printf("loaded full listing: %.3f s\n", WindowSearch({"full listing", folder, 0, false, ""}, rows));
            spinner.Kill();
        }
        delete FormKalvex;
        return 0;
    }

    TStringList modules;
    CollectFiles(folder, "*.dll", modules, false);
    TStringList systemModules;
    CollectFiles(sys, "*.dll", systemModules, false);
    const std::string tree = BenchTree(systemModules);
    std::printf("folder %s, *.dll: %u files, keyword \"%s\" (ignore case); tree %s, *.*, recursive\n",
                folder.c_str(), unsigned(modules.size()), keyword.c_str(), tree.c_str());
    const std::vector<TCase> cases = {{"keyword", folder, 0, false, keyword},
                                      {"full listing", folder, 0, false, ""},
                                      {"full listing again", folder, 0, false, ""},
                                      {"tree, keyword", tree, 3, true, keyword}};
    if (cacheOnly) {
        CacheCases({cases[0], cases[3]});
        delete FormKalvex;
        return 0;
    }
    TProbe probe(FormKalvex->Handle);

    std::printf("idle machine:\n");
    const std::vector<TFigures> idle = RunCases(cases, probe);
    std::vector<TFigures> loaded;
    {
        std::printf("one core held busy by a spinning process:\n");
        TChild spinner("--spin");
        loaded = RunCases(cases, probe);
        spinner.Kill();
    }
    std::printf("loaded / idle:");
    for (size_t i = 0; i < cases.size(); ++i)
        std::printf("  %s %.2f", cases[i].Name, loaded[i].Window / idle[i].Window);
    std::printf("\n");
    if (const char *objdump = std::getenv("KALVEX_BENCH_OBJDUMP"))
        std::printf("keyword search / native objdump -p | grep -i alloc (%s s): %.2f idle, %.2f loaded\n", objdump,
                    idle[0].Window / std::atof(objdump), loaded[0].Window / std::atof(objdump));
    CacheCases({cases[0], cases[3]});
    UseCache(false);

    // Messages sent to the window during a full listing.
    int rows = 0;
    const double quiet = WindowSearch(cases[1], rows);
    Flooding = true;
    FloodAnswers = 0;
    HANDLE flood = CreateThread(nullptr, 0, Flood, nullptr, 0, nullptr);
    const double flooded = WindowSearch(cases[1], rows);
    Flooding = false;
    // It may be waiting for an answer.
    PumpUntil([&] { return WaitForSingleObject(flood, 0) == WAIT_OBJECT_0; });
    CloseHandle(flood);
    std::printf("full listing while a thread sends messages in a tight loop: %.3f s against %.3f s (%.2f), "
                "%ld messages answered\n",
                flooded, quiet, flooded / quiet, FloodAnswers.load());
    CraftedModuleStops();  // ends with the window closed
    return 0;
}
