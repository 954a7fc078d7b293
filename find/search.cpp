#include "find/search.h"

#include "find/platform.h"
#include "rows/rowtext.h"
#include "scan/filesource.h"
#include "scan/modulereader.h"
#include "scan/peimage.h"
#include "scan/targetwalk.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

// Waits until done() holds, looking again every 10 ms even without a
// notification: MinGW's condition variables (winpthreads) have been seen to
// lose a wake-up under Wine, which left a run waiting for ever.
template <class Done> void Wait(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, Done done)
{
    while (!done())
        cv.wait_for(lock, std::chrono::milliseconds(10));
}

// The rows as the chosen format's bytes. SYLK names its row count before the
// rows, so its cell records wait in a temporary file until the end.
class TRowWriter {
public:
    TRowWriter(const TFindOptions &options, FILE *out) : FOptions(options), FOut(options.Quiet ? nullptr : out)
    {
        if (FOut && FOptions.Format == TFormat::Sylk)
            FSpool = OpenSpool();
        if (FOptions.Header) {
            static const std::string names[] = {"function", "ordinal", "module", "path"};
            Write({{&names[0], TCellKind::Text}, {&names[1], TCellKind::Text}, {&names[2], TCellKind::Text},
                   {&names[3], TCellKind::Text}});
        }
    }
    ~TRowWriter()
    {
        if (FSpool)
            std::fclose(FSpool);
    }

    void Rows(const TResultRows &rows)
    {
        for (const TResultRow &r : rows)
            Write({{&r.Name, TCellKind::Text}, {&r.Number, TCellKind::Number}, {&r.Module, TCellKind::Text},
                   {&r.Path, TCellKind::Text}});
        Flush(false);
    }
    // Writes what is left; false when the output failed (a closed pipe).
    bool Finish()
    {
        Flush(true);
        if (FOut && FOptions.Format == TFormat::Sylk && !FFailed) {
            const std::string head = SylkHead(FRowCount, 4);
            Put(head.data(), head.size());
            if (FSpool) {
                std::rewind(FSpool);
                char buffer[65536];
                size_t n;
                while (!FFailed && (n = std::fread(buffer, 1, sizeof buffer, FSpool)) > 0)
                    Put(buffer, n);
            } else {
                Put(FText.data(), FText.size());
            }
            Put(SylkEnd, 3);
        }
        if (FOut && std::fflush(FOut) != 0)
            FFailed = true;
        return !FFailed;
    }
    bool Failed() const { return FFailed; }

private:
    void Write(const TCellRow &row)
    {
        if (!FOut)
            return;
        ++FRowCount;
        switch (FOptions.Format) {
        case TFormat::Tsv:
            AppendTextLine(FText, row);
            break;
        case TFormat::Csv:
            AppendCsvLine(FText, row);
            break;
        case TFormat::Sylk:
            AppendSylkRow(FText, FRowCount, row);
            break;
        }
    }
    void Flush(bool all)
    {
        if (!FOut || FText.empty() || (!all && FText.size() < 4096))
            return;
        if (FOptions.Format != TFormat::Sylk)
            Put(FText.data(), FText.size());
        else if (FSpool && std::fwrite(FText.data(), 1, FText.size(), FSpool) != FText.size())
            FFailed = true;
        else if (!FSpool)
            return;  // no temporary file: the records stay in memory
        FText.clear();
    }
    void Put(const char *data, size_t n)
    {
        if (!FFailed && std::fwrite(data, 1, n, FOut) != n)
            FFailed = true;
    }

    const TFindOptions &FOptions;
    FILE *FOut;
    FILE *FSpool = nullptr;
    std::string FText;
    int FRowCount = 0;
    bool FFailed = false;
};

struct TJob {
    std::string Path;
    uint32_t Code = 0;
    TResultRows Rows;
    bool Done = false;
};

class TFind {
public:
    TFind(const TFindOptions &options, FILE *out, FILE *err)
        : FOptions(options), FErr(err), FWriter(options, out),
          FMatch(options.Keyword, options.IgnoreCase, FindUpperCase),
          FJobs(options.Jobs > 0 ? options.Jobs : std::max(1u, std::thread::hardware_concurrency())),
          FProgress(!options.Quiet && StderrIsTerminal())
    {
    }

    int Run()
    {
        for (int i = 0; FJobs > 1 && i < FJobs; ++i)
            FThreads.emplace_back([this] { Work(); });
        TWalkEvents events;
        events.File = [this](const std::string &path) { Submit(path); };
        events.Error = [this](const std::string &folder, uint32_t code) { Report(folder, code, true); };
        events.Stop = [this] { return FStop.load(); };
        const std::vector<std::string> paths = FOptions.Paths.empty() ? std::vector<std::string>{""} : FOptions.Paths;
        for (const std::string &path : paths) {
            if (FStop)
                break;
            if (path.empty() || IsFolder(path))
                WalkTargetFiles(path, FOptions.Mask, FOptions.Recursive, events);
            else
                Submit(path);  // a file alone, whatever the mask
        }
        {
            std::unique_lock<std::mutex> lock(FLock);
            FClosed = true;
        }
        FWork.notify_all();
        Drain(true);
        for (std::thread &t : FThreads)
            t.join();
        if (FOptions.Sort != TSortKey::None) {
            SortResultRows(FSorted, FOptions.Sort);
            FWriter.Rows(FSorted);
        }
        const bool written = FWriter.Finish();
        EraseProgress();
        if (!written)
            return FAnyRow ? 0 : 1;  // the reader went away (| head): quietly
        return FOpenFailed ? 2 : FAnyRow ? 0 : 1;
    }

private:
    void Submit(const std::string &path)
    {
        auto job = std::make_shared<TJob>();
        job->Path = path;
        ++FFound;
        if (FJobs == 1) {
            Read(*job);
            Emit(*job);
            return;
        }
        std::unique_lock<std::mutex> lock(FLock);
        // Files in flight are bounded: wait for the oldest while the window is full.
        while (FInFlight.size() >= size_t(4 * FJobs)) {
            lock.unlock();
            Drain(false);
            lock.lock();
            if (FInFlight.size() >= size_t(4 * FJobs))
                Wait(FDone, lock, [this] { return FInFlight.front()->Done; });
        }
        FInFlight.push_back(job);
        FQueue.push_back(job);
        lock.unlock();
        FWork.notify_one();
    }

    void Work()
    {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock<std::mutex> lock(FLock);
                Wait(FWork, lock, [this] { return FClosed || !FQueue.empty(); });
                if (FQueue.empty())
                    return;
                job = FQueue.front();
                FQueue.pop_front();
            }
            Read(*job);
            {
                std::lock_guard<std::mutex> lock(FLock);
                job->Done = true;
            }
            FDone.notify_all();
        }
    }

    // Emits the finished jobs at the front, in walk order; all: until none is left.
    void Drain(bool all)
    {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock<std::mutex> lock(FLock);
                if (FInFlight.empty())
                    return;
                if (!FInFlight.front()->Done) {
                    if (!all)
                        return;
                    Wait(FDone, lock, [this] { return FInFlight.front()->Done; });
                }
                job = FInFlight.front();
                FInFlight.pop_front();
            }
            Emit(*job);
        }
    }

    void Read(TJob &job)
    {
        if (FStop)
            return;
        TNameList list;
        job.Code = ReadFunctionNames(job.Path, !FOptions.Imports, list);
        if (job.Code == 0)
            AppendResultRows(list, !FOptions.Imports, job.Path, FindFileName(job.Path), FMatch, job.Rows);
    }

    void Emit(TJob &job)
    {
        ++FFinished;
        if (job.Code != 0)
            Report(job.Path, job.Code, job.Code != CodeBadExeFormat && job.Code != CodeWalkFault);
        if (!job.Rows.empty()) {
            FAnyRow = true;
            if (FOptions.Quiet)
                FStop = true;  // the answer is known
            else if (FOptions.Sort != TSortKey::None)
                FSorted.insert(FSorted.end(), job.Rows.begin(), job.Rows.end());
            else
                FWriter.Rows(job.Rows);
            if (FWriter.Failed())
                FStop = true;
        }
        ShowProgress(job.Path);
    }

    // A file or folder that could not be read; opening counts for the exit status.
    void Report(const std::string &path, uint32_t code, bool openFailed)
    {
        FOpenFailed = FOpenFailed || openFailed;
        if (!FOptions.Errors)
            return;
        EraseProgress();
        std::fprintf(FErr, "%s: %u: %s\n", path.empty() ? "." : path.c_str(), code, FindErrorText(code).c_str());
    }

    // One line on a terminal, after the first second: files done of those found.
    void ShowProgress(const std::string &path)
    {
        if (!FProgress)
            return;
        const TClock::time_point now = TClock::now();
        if (now - FStart < std::chrono::seconds(1) || now - FShown < std::chrono::milliseconds(100))
            return;
        FShown = now;
        std::string line = std::to_string(FFinished) + "/" + std::to_string(FFound) + " " + path;
        if (line.size() > 79)
            line = line.substr(0, 40) + "..." + line.substr(line.size() - 36);
        const size_t width = std::max(line.size(), FShownWidth);
        line.resize(width, ' ');
        std::fprintf(FErr, "\r%s", line.c_str());
        std::fflush(FErr);
        FShownWidth = width;
    }
    void EraseProgress()
    {
        if (FShownWidth == 0)
            return;
        std::fprintf(FErr, "\r%s\r", std::string(FShownWidth, ' ').c_str());
        std::fflush(FErr);
        FShownWidth = 0;
    }

    const TFindOptions &FOptions;
    FILE *FErr;
    TRowWriter FWriter;
    const TNameMatch FMatch;
    const int FJobs;
    const bool FProgress;
    std::atomic<bool> FStop{false};
    bool FAnyRow = false;
    bool FOpenFailed = false;
    TResultRows FSorted;
    size_t FFound = 0, FFinished = 0;
    const TClock::time_point FStart = TClock::now();
    TClock::time_point FShown;
    size_t FShownWidth = 0;

    std::mutex FLock;
    std::condition_variable FWork, FDone;
    std::deque<std::shared_ptr<TJob>> FInFlight, FQueue;
    bool FClosed = false;
    std::vector<std::thread> FThreads;
};

}  // namespace

int RunFind(const TFindOptions &options, FILE *out, FILE *err)
{
    return TFind(options, out, err).Run();
}
