// The search worker with a receiver that records every hand-off in order.
#include "scan/unitthreadkalvex.h"
#include "scan/errorstring.h"
#include "tests/deadline.h"
#include "tests/scan/imagebuilder.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

class TRecorder : public FIResultView {
public:
    std::vector<std::string> Events;  // "clear", "status:...", "row:a|b|c|d"
    std::vector<DWORD> Threads;       // the thread each hand-off ran on
    std::vector<std::string> Tips;    // each row's info tip, in row order
    std::function<void(const std::string &)> OnEvent;

    void ClearRows() override { Note("clear"); }
    void SetStatusText(const std::string &text) override { Note("status:" + text); }
    void AppendRow(std::string_view name, int32_t number, std::string_view fileName, std::string_view path,
                   std::string_view tip) override
    {
        Tips.emplace_back(tip);
        Note("row:" + std::string(name) + "|" + std::to_string(number) + "|" + std::string(fileName) + "|" +
             std::string(path));
    }

    std::vector<std::string> Rows() const { return Only("row:"); }
    std::vector<std::string> Statuses() const { return Only("status:"); }

private:
    void Note(const std::string &event)
    {
        Events.push_back(event);
        Threads.push_back(GetCurrentThreadId());
        if (OnEvent)
            OnEvent(event);
    }
    std::vector<std::string> Only(const std::string &prefix) const
    {
        std::vector<std::string> out;
        for (const std::string &e : Events)
            if (e.compare(0, prefix.size(), prefix) == 0)
                out.push_back(e.substr(prefix.size()));
        return out;
    }
};

// Runs one search to its end on this thread's hand-offs.
void Search(TRecorder &rec, const TStringList &files, const std::string &keyword, bool ignoreCase,
            bool exportTable, TThreadKalvex **running = nullptr, bool unnamed = false)
{
    TThreadKalvex worker(files, keyword, ignoreCase, exportTable, rec, unnamed);
    if (running)
        *running = &worker;
    EXPECT_TRUE(worker.Finding);
    worker.WaitForEnd();
    EXPECT_FALSE(worker.Finding);
    if (running)
        *running = nullptr;
}

std::string Fix(const char *name) { return TestDir() + name; }

// The system's text as a row shows it: without its closing CR LF, the
// file's name in place of %1.
std::string SystemText(DWORD code, const std::string &fileName)
{
    char *text = GetErrorString(code);
    std::string s = text ? text : "";
    LocalFree(text);
    const size_t end = s.find_last_not_of(" \t\r\n") + 1;
    EXPECT_EQ("\r\n", s.substr(end)) << code;  // what the row must not keep
    s.erase(end);
    for (size_t at; (at = s.find("%1")) != std::string::npos;)
        s.replace(at, 2, fileName);
    return s;
}

}  // namespace

TEST(SearchWorker, EmptyFileListClearsAndFindsNothing)
{
    TRecorder rec;
    Search(rec, {}, "", true, true);
    EXPECT_EQ((std::vector<std::string>{"clear", "status:関数は見つかりませんでした"}), rec.Events);
}

TEST(SearchWorker, EmptyKeywordListsEveryNameAndAnErrorRowPerUnreadableFile)
{
    TRecorder rec;
    const std::string exports = Fix("fixexports.dll"), text = Fix("notamodule.dll"),
                      missing = Fix("missing.dll");
    Search(rec, {exports, text, missing}, "", true, true);
    const std::string failed = "エクスポート関数の取得に失敗しました";
    EXPECT_EQ((std::vector<std::string>{
                  "clear",
                  "status:読み込み中: " + exports,
                  "row:AlphaFunc|1|fixexports.dll|" + exports,
                  "row:HeapAlloc|0|fixexports.dll|" + exports,
                  "row:Zeta|4|fixexports.dll|" + exports,
                  "row:heapalloc|2|fixexports.dll|" + exports,
                  "status:読み込み中: " + text,
                  "row:" + failed + ": " + SystemText(193, "notamodule.dll") + "|193|notamodule.dll|" + text,
                  "status:読み込み中: " + missing,
                  "row:" + failed + ": " + SystemText(2, "missing.dll") + "|2|missing.dll|" + missing,
                  "status:4個の関数が見つかりました"}),
              rec.Events);
    for (DWORD id : rec.Threads)
        EXPECT_EQ(GetCurrentThreadId(), id);
    // The system's text for 193 has the insert that the row fills.
    char *raw = GetErrorString(193);
    EXPECT_NE(nullptr, strstr(raw, "%1"));
    LocalFree(raw);
    EXPECT_EQ(std::string::npos, rec.Events[7].find("%1"));
}

TEST(SearchWorker, StatusAndErrorTextsAreTheseShiftJisBytes)
{
    TRecorder rec;
    Search(rec, {"nofile.exe"}, "", false, false);
    ASSERT_EQ(1u, rec.Rows().size());
    // "インポート関数の取得に失敗しました: " in code page 932.
    const std::string prefix =
        "\x83\x43\x83\x93\x83\x7c\x81\x5b\x83\x67\x8a\xd6\x90\x94\x82\xcc\x8e\xe6\x93\xbe\x82\xc9"
        "\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd: ";
    EXPECT_EQ(prefix, rec.Rows()[0].substr(0, prefix.size()));
    // "読み込み中: " and "関数は見つかりませんでした".
    EXPECT_EQ("\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x92\x86: nofile.exe", rec.Statuses().at(0));
    EXPECT_EQ("\x8a\xd6\x90\x94\x82\xcd\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
              "\x82\xc5\x82\xb5\x82\xbd",
              rec.Statuses().at(1));
}

TEST(SearchWorker, KeywordMatchesByCaseOnlyWhenAskedToIgnoreIt)
{
    const std::string exports = Fix("fixexports.dll");
    TRecorder exact, folded, lower;
    Search(exact, {exports}, "Alloc", false, true);
    Search(folded, {exports}, "Alloc", true, true);
    Search(lower, {exports}, "alloc", true, true);
    EXPECT_EQ((std::vector<std::string>{"HeapAlloc|0|fixexports.dll|" + exports}), exact.Rows());
    const std::vector<std::string> both = {"HeapAlloc|0|fixexports.dll|" + exports,
                                           "heapalloc|2|fixexports.dll|" + exports};
    EXPECT_EQ(both, folded.Rows());
    EXPECT_EQ(both, lower.Rows());
    EXPECT_EQ("1個の関数が見つかりました", exact.Statuses().back());
    EXPECT_EQ("2個の関数が見つかりました", folded.Statuses().back());
}

TEST(SearchWorker, ImportRowsNameTheFileReadAndTheImportedModuleButNeverMatchIt)
{
    const std::string imports = Fix("fiximports.exe");
    TRecorder all, ordinal, percent, kernel, tick;
    Search(all, {imports}, "", true, false);
    Search(ordinal, {imports}, "17", true, false);
    Search(percent, {imports}, "%", true, false);
    Search(kernel, {imports}, "kernel", true, false);
    Search(tick, {imports}, "tick", true, false);
    EXPECT_EQ((std::vector<std::string>{"GetTickCount|500|KERNEL32.dll|" + imports,
                                        "%17|0|WS2_32.dll|" + imports}),
              all.Rows());
    EXPECT_EQ((std::vector<std::string>{"%17|0|WS2_32.dll|" + imports}), ordinal.Rows());
    EXPECT_EQ(ordinal.Rows(), percent.Rows());
    EXPECT_TRUE(kernel.Rows().empty());
    EXPECT_EQ("関数は見つかりませんでした", kernel.Statuses().back());
    EXPECT_EQ((std::vector<std::string>{"GetTickCount|500|KERNEL32.dll|" + imports}), tick.Rows());
}

TEST(SearchWorker, KeywordHidesUnreadableFilesAndCountsOnlyMatches)
{
    TRecorder rec;
    Search(rec, {Fix("notamodule.dll"), Fix("fixexports.dll"), Fix("missing.dll")}, "Zeta", true,
           true);
    EXPECT_EQ((std::vector<std::string>{"Zeta|4|fixexports.dll|" + Fix("fixexports.dll")}), rec.Rows());
    EXPECT_EQ("1個の関数が見つかりました", rec.Statuses().back());

    TRecorder failing;
    Search(failing, {Fix("notamodule.dll")}, "", true, true);
    EXPECT_EQ(1u, failing.Rows().size());
    EXPECT_EQ("関数は見つかりませんでした", failing.Statuses().back());
}

TEST(SearchWorker, StopRequestEndsThePassBeforeTheNextFile)
{
    TRecorder rec;
    TThreadKalvex *worker = nullptr;
    const std::string first = Fix("fixexports.dll");
    rec.OnEvent = [&](const std::string &e) {
        if (e == "status:読み込み中: " + first)
            worker->RequestStop();  // the module in hand is still finished
    };
    Search(rec, {first, Fix("fiximports.exe"), Fix("fixexports.dll")}, "", true, true, &worker);
    EXPECT_EQ(0u, rec.Rows().size());  // stopped before its first entry
    EXPECT_EQ((std::vector<std::string>{"読み込み中: " + first, "関数は見つかりませんでした"}),
              rec.Statuses());
}

TEST(SearchWorker, StopRequestReachesIntoTheWalkOfAHugeTable)
{
    // 200,000 names: a walk of its own that the stop ends inside, leaving
    // neither rows nor an error row for the module in hand.
    std::vector<std::string> names;
    for (int i = 0; i < 200000; ++i)
        names.push_back(std::to_string(1000000 + i).insert(0, 1, 'N'));
    TPeBuilder image(800);
    image.PutExports(TPeBuilder::DataRva, names, std::vector<uint16_t>(names.size(), 0));
    const std::string huge = NewTempDir("hugetable") + "huge.dll";
    ASSERT_TRUE(image.WriteTo(huge));
    TRecorder rec;
    TThreadKalvex *worker = nullptr;
    rec.OnEvent = [&](const std::string &e) {
        if (e == "status:読み込み中: " + huge)
            worker->RequestStop();  // handed over just before the walk starts
    };
    Search(rec, {huge, Fix("fixexports.dll")}, "", true, true, &worker);
    EXPECT_EQ((std::vector<std::string>{"clear", "status:読み込み中: " + huge, "status:関数は見つかりませんでした"}),
              rec.Events);
    DeleteFileA(huge.c_str());
    RemoveDirectoryA(huge.substr(0, huge.rfind('\\')).c_str());
}

TEST(SearchWorker, StopRequestEndsThePassBeforeTheNextEntry)
{
    TRecorder rec;
    TThreadKalvex *worker = nullptr;
    rec.OnEvent = [&](const std::string &e) {
        if (e.compare(0, 4, "row:") == 0)
            worker->RequestStop();
    };
    Search(rec, {Fix("fixexports.dll"), Fix("fixexports.dll")}, "", true, true, &worker);
    EXPECT_EQ(1u, rec.Rows().size());
    EXPECT_EQ("1個の関数が見つかりました", rec.Statuses().back());
    EXPECT_EQ(2u, rec.Statuses().size());
}

TEST(SearchWorker, DeletingARunningWorkerStopsItFirst)
{
    TRecorder rec;
    TStringList files(50, Fix("fixexports.dll"));
    {
        TThreadKalvex worker(files, "", true, true, rec);
        // Serve a few hand-offs so that the pass is under way.
        const TDeadline deadline;
        while (rec.Events.size() < 3 && !deadline.Passed())
            TThread::CheckSynchronize();
        ASSERT_GE(rec.Events.size(), 3u) << "the worker handed nothing over";
    }
    EXPECT_LT(rec.Rows().size(), 200u);
    EXPECT_EQ(0u, rec.Statuses().back().find_first_of("0123456789"));
}

TEST(SearchWorker, AFailingHandOffStillEndsTheSearch)
{
    TRecorder rec;
    rec.OnEvent = [](const std::string &e) {
        if (e.compare(0, 4, "row:") == 0)
            throw std::runtime_error("list is gone");
    };
    // The worker ends (Search checks Finding); the failed row is not counted.
    Search(rec, {Fix("fixexports.dll")}, "", true, true);
    EXPECT_EQ(1u, rec.Rows().size());
    EXPECT_EQ("関数は見つかりませんでした", rec.Statuses().back());
}

TEST(SearchWorker, FileNameColumnIsAwareOfDoubleByteCharacters)
{
    TRecorder rec;
    Search(rec, {"C:\\no\\表"}, "", true, true);
    ASSERT_EQ(1u, rec.Rows().size());
    const std::string row = rec.Rows()[0];
    EXPECT_NE(std::string::npos, row.find("|表|C:\\no\\表")) << row;
}

TEST(SearchWorker, UnnamedExportsComeOnlyOnRequestAndEveryRowCarriesItsTip)
{
    // fixexports.dll: base 5, "Hidden" @8 exported without a name (index 3).
    const std::string dll = Fix("fixexports.dll"), exe = Fix("fiximports.exe");
    for (bool unnamed : {false, true}) {
        TRecorder rec;
        Search(rec, {dll}, "", true, true, nullptr, unnamed);
        std::vector<std::string> rows{"AlphaFunc|1|fixexports.dll|" + dll, "HeapAlloc|0|fixexports.dll|" + dll,
                                      "Zeta|4|fixexports.dll|" + dll, "heapalloc|2|fixexports.dll|" + dll};
        if (unnamed)
            rows.push_back("%8|3|fixexports.dll|" + dll);
        EXPECT_EQ(rows, rec.Rows());
        ASSERT_EQ(rows.size(), rec.Tips.size());
        EXPECT_EQ("序数 6（索引 1 + 基数 5）", rec.Tips[0]);
        if (unnamed) {
            EXPECT_EQ("序数 8（索引 3 + 基数 5）", rec.Tips.back());
        }
    }
    // The keyword matches an unnamed export by "%" and its ordinal.
    TRecorder rec;
    Search(rec, {dll}, "%8", true, true, nullptr, true);
    EXPECT_EQ(std::vector<std::string>{"%8|3|fixexports.dll|" + dll}, rec.Rows());
    // An error row's tip is its whole message: the name column's text.
    TRecorder imports;
    Search(imports, {exe, Fix("notamodule.dll")}, "", true, false);
    ASSERT_EQ(3u, imports.Tips.size());
    EXPECT_EQ("通常の読み込み", imports.Tips[0]);
    EXPECT_EQ("通常の読み込み", imports.Tips[1]);
    EXPECT_EQ(imports.Tips[2] + "|193|notamodule.dll|" + Fix("notamodule.dll"), imports.Rows()[2]);
}
