// Measures a search in the real main window against its floor: (a) the bare
// read loop over the same files, (b) as many empty synchronous hand-offs as
// the search makes (files + rows + 2), (c) the window's F5-to-summary time,
// and (d) the longest time the user interface thread did not answer, for a
// keyword search, a first full listing and a repeated one.
//   kalvex_windowbench.exe [folder [keyword]]   (default: system32, "alloc")
#include "app/targetfiles.h"
#include "app/unitkalvex.h"
#include "scan/modulereader.h"
#include "scan/nametables.h"

#include <algorithm>
#include <array>
#include <vector>
#include <atomic>
#include <cstdio>

#include "bench/clock.h"

namespace {

// (a): every file read, every name matched; the rows the search will make.
double ReadLoop(const TStringList &files, const std::string &keyword, size_t &rows)
{
    const std::string key = AnsiUpperCase(keyword);
    rows = 0;
    const double start = Now();
    for (const std::string &path : files) {
        TNameList list;
        if (ReadFunctionNames(path, true, list) != 0) {
            rows += key.empty();
            continue;
        }
        for (const TNameEntry &e : list)
            rows += key.empty() || AnsiUpperCase(e.Text).find(key) != std::string::npos;
    }
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

// (d): a thread posts a stamped ping every 5 ms to a window of the user
// interface thread, which records how long each ping waited.
std::atomic<bool> Probing{false};
std::atomic<double> LongestWait{0};
HWND PingWindow = nullptr;
const UINT WM_APP_PING = WM_APP + 50;

LRESULT CALLBACK PingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP_PING) {
        const double waited = Now() - *reinterpret_cast<double *>(lp);
        delete reinterpret_cast<double *>(lp);
        if (waited > LongestWait.load())
            LongestWait = waited;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

DWORD WINAPI Prober(void *)
{
    while (Probing.load()) {
        PostMessageA(PingWindow, WM_APP_PING, 0, reinterpret_cast<LPARAM>(new double(Now())));
        Sleep(5);
    }
    return 0;
}

// (c) and (d): one search in the window, from F5 to the summary's idle pass.
double WindowSearch(const std::string &folder, const std::string &keyword, double &longest, int &rows)
{
    FormKalvex->EditFolder->SetText(folder);
    FormKalvex->EditFindText->SetText(keyword);
    LongestWait = 0;
    Probing = true;
    HANDLE prober = CreateThread(nullptr, 0, Prober, nullptr, 0, nullptr);
    const double start = Now();
    FormKalvex->ActionFind->Execute();
    Application.RunUntil([] { return !FormKalvex->IsFinding(); });
    Application.ProcessMessages();
    const double seconds = Now() - start;
    Probing = false;
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);
    Application.ProcessMessages();
    longest = LongestWait.load();
    rows = FormKalvex->ListView->Count();
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    const std::string folder = argc > 1 ? argv[1] : sys;
    const std::string keyword = argc > 2 ? argv[2] : "alloc";
    Application.Initialize();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KalvexBenchPing";
    RegisterClassA(&wc);
    PingWindow = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
    FormKalvex = new TFormKalvex();
    ShowWindow(FormKalvex->Handle, SW_SHOW);
    Application.ProcessMessages();

    TStringList files;
    CollectFiles(folder, "*.dll", files, false);
    std::printf("folder %s, *.dll: %u files, keyword \"%s\" (ignore case)\n", folder.c_str(),
                unsigned(files.size()), keyword.c_str());
    std::printf("%-22s %8s %9s %9s %9s %9s %8s %10s\n", "search", "rows", "a read", "b hand", "a+b",
                "c window", "c/(a+b)", "d longest");
    struct {
        const char *Name;
        std::string Keyword;
    } runs[] = {{"keyword", keyword}, {"full listing", ""}, {"full listing again", ""}};
    for (const auto &run : runs) {
        size_t rows = 0;
        const double a = ReadLoop(files, run.Keyword, rows);
        const double b = HandOffs(files.size() + rows + 2);
        double longest = 0;
        int listed = 0;
        const double c = WindowSearch(folder, run.Keyword, longest, listed);
        std::printf("%-22s %8d %8.3fs %8.3fs %8.3fs %8.3fs %8.2f %8.0fms\n", run.Name, listed, a, b, a + b, c,
                    c / (a + b), longest * 1000);
    }
    // Where the window's time goes: the list's own work, without a worker.
    const int listed = FormKalvex->ListView->Count();
    std::vector<std::array<std::string, 4>> rows(listed);
    for (int i = 0; i < listed; ++i)
        for (int c = 0; c < 4; ++c)
            rows[i][c] = FormKalvex->ListView->ItemText(i, c);
    double start = Now(), slice = 0;
    for (bool empty = false; !empty;) {
        const double t = Now();
        empty = FormKalvex->ClearRows();
        slice = std::max(slice, Now() - t);
    }
    const double clear = Now() - start;
    start = Now();
    for (const auto &r : rows)
        FormKalvex->AppendRow(r[0], r[1], r[2], r[3]);
    const double append = Now() - start;
    start = Now();
    while (!FormKalvex->ClearRows()) {
    }
    const double clearAgain = Now() - start;
    Application.ProcessMessages();
    std::printf("list alone: clear %d rows %.3f s (longest slice %.0f ms), append them %.3f s (%.1f us a row), "
                "clear again %.3f s\n",
                listed, clear, slice * 1000, append, append * 1e6 / std::max(listed, 1), clearAgain);
    delete FormKalvex;
    return 0;
}
