#include "find/search.h"

#include "find/platform.h"
#include "find/rowwriter.h"
#include "find/scheduler.h"
#include "rows/resultrows.h"
#include "scan/filesource.h"
#include "scan/modulereader.h"
#include "scan/namecache.h"
#include "scan/peimage.h"
#include "scan/targetwalk.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>

namespace {

// Whether rows are coloured: always, never, or when the output is a
// terminal that takes colour and NO_COLOR is not set.
bool Coloured(TColour colour)
{
    return colour == TColour::Always || (colour == TColour::Auto && !std::getenv("NO_COLOR") && StdoutTakesColour());
}

using TClock = std::chrono::steady_clock;

// The bytes that the jobs in flight other than the oldest may hold: their
// rows and the name lists of the walks in progress.
const uint64_t BytesInFlight = 64u << 20;
// Jobs in flight per reading thread.
const size_t JobsPerThread = 4;
// The default: the walking thread reads each file itself. Measured on the
// shared 2-core machine (README), more readers won 25 - 40 % over 100,000
// files while the other core was idle but lost 3 - 15 % while it was busy,
// and made no difference over a system folder; one reader never loses.
const int DefaultJobs = 1;

// The matching entries of one module, packed: their texts one after another
// in one block and 16 bytes a row besides, rather than four strings a row.
class TModuleRows {
public:
    // The entry's name and its second part (an import's module, a forwarded
    // export's target).
    void Add(const TNameEntry &entry)
    {
        const std::string_view name = entry.Name(), detail = entry.Detail();
        FRows.push_back({static_cast<uint32_t>(FText.size()), static_cast<uint32_t>(name.size()),
                         static_cast<uint32_t>(detail.size()), entry.Number, entry.Flags});
        FText.append(name).append(detail);
    }
    size_t Size() const { return FRows.size(); }
    uint64_t Bytes() const { return FText.capacity() + uint64_t(FRows.capacity()) * sizeof(TRow); }
    std::string_view Name(size_t i) const { return std::string_view(FText).substr(FRows[i].Offset, FRows[i].Name); }
    std::string_view Detail(size_t i) const
    {
        return std::string_view(FText).substr(FRows[i].Offset + FRows[i].Name, FRows[i].Detail);
    }
    int32_t Number(size_t i) const { return static_cast<int32_t>(FRows[i].Number); }
    uint8_t Flags(size_t i) const { return FRows[i].Flags; }

private:
    // A walk holds at most NameWalkByteLimit bytes, so 32-bit offsets reach.
    struct TRow {
        uint32_t Offset, Name, Detail, Number;
        uint8_t Flags;
    };
    std::string FText;
    std::vector<TRow> FRows;
};

// The rows made of each list that the name cache gave, by the list's
// identity there: the links and copies of one module (a tree of hard links,
// a DLL that many programs carry) are matched once a run. Bounded: past
// BytesInFlight / 4 it starts anew.
class TSameRows {
public:
    bool Take(uint64_t list, TModuleRows &rows)
    {
        std::lock_guard<std::mutex> hold(FMutex);
        const auto known = FRows.find(list);
        if (known == FRows.end())
            return false;
        rows = known->second;
        return true;
    }
    void Keep(uint64_t list, const TModuleRows &rows)
    {
        std::lock_guard<std::mutex> hold(FMutex);
        if (FBytes + rows.Bytes() > BytesInFlight / 4) {
            FRows.clear();
            FBytes = 0;
        }
        FBytes += rows.Bytes();
        FRows.emplace(list, rows);
    }

private:
    std::mutex FMutex;
    std::unordered_map<uint64_t, TModuleRows> FRows;
    uint64_t FBytes = 0;
};

// A file to read, or a folder of the walk that could not be listed (its
// code set at once, so that its message keeps its place in walk order).
struct TJob : FIOrderedJob {
    TJob(const std::string &path, bool walkFile, uint32_t code) : Path(path), WalkFile(walkFile), Code(code) {}
    std::string Path;
    bool WalkFile;  // met in a walk, not named on the command line
    uint32_t Code;
    uint32_t Base = 0;  // the export table's ordinal base
    TFileStamp Stamp;   // what the name cache knows the file by
    TModuleRows Rows;
};

// The heap bytes of a name list that a walk fills, counted as it grows: the
// entries' buffer and each text's heap block, each text counted once.
class TListBytes {
public:
    explicit TListBytes(const TNameList &list) : FList(list) {}
    uint64_t operator()()
    {
        for (; FCounted < FList.size(); ++FCounted)
            FTexts += NameTextHeapBytes(FList[FCounted].Text);
        return FTexts + uint64_t(FList.capacity()) * sizeof(TNameEntry);
    }

private:
    const TNameList &FList;
    size_t FCounted = 0;
    uint64_t FTexts = 0;
};

class TFind {
public:
    TFind(const TFindOptions &options, FILE *out, FILE *err)
        : FOptions(options), FErr(err), FMatch(options.Keywords, options.IgnoreCase, FindUpperCase, options.Exact),
          FWriter(options, Coloured(options.Colour) ? &FMatch : nullptr, out == stdout && StdoutIsTerminal(),
                  options.Quiet ? nullptr : out),
          FThreads(options.Jobs > 0 ? options.Jobs : DefaultJobs),
          FProgress(!options.Quiet && ProgressWanted()),
          FCache(options.NoCache            ? std::string()
                 : options.CacheDir.empty() ? NameCacheFolder()
                                            : CacheFolderFromText(options.CacheDir))
    {
    }

    int Run()
    {
        TOrderedJobs jobs({FThreads, JobsPerThread * FThreads, BytesInFlight},
                          [this](FIOrderedJob &job, TJobMeter &meter) { Read(static_cast<TJob &>(job), meter); },
                          [this](FIOrderedJob &job) { Emit(static_cast<TJob &>(job)); });
        FJobs = &jobs;
        // No cache is no error: said only when the passed-by files are named too.
        if (!FCache.Problem().empty() && FOptions.Errors && !FOptions.NoMessages)
            std::fprintf(FErr, "kalvex-find: %s: %s\n", FCache.Folder().c_str(), FCache.Problem().c_str());
        try {
            jobs.Start();
            TWalkEvents events;
            events.File = [this](const std::string &path) { Submit(path, true); };
            if (FCache.On())
                events.StampedFile = [this](const std::string &path, const TFileStamp &stamp) {
                    Submit(path, true, &stamp);
                };
            events.Error = [this](const std::string &folder, uint32_t code) {
                ++FFound;
                FJobs->Submit(std::make_unique<TJob>(folder, false, code));
            };
            events.Stop = [&jobs] { return jobs.Stopped(); };
            events.FollowLinks = FOptions.FollowLinks;
            const bool none = FOptions.Paths.empty() && FOptions.FilesFrom.empty();
            for (const std::string &path : none ? std::vector<std::string>{""} : FOptions.Paths)
                Target(path, events);
            if (!FOptions.FilesFrom.empty())
                TargetsFrom(FOptions.FilesFrom, events);
            jobs.Finish();
            FCache.Close();
            if (FOptions.Sort != TSortKey::None && FOptions.Files == TFileOutput::Rows) {
                SortResultRows(FSorted, FOptions.Sort);
                for (size_t i = 0; i < FSorted.size() && !FWriter.Failed(); ++i) {
                    const TResultRow &r = FSorted[i];
                    FWriter.Row({r.Name, r.Number, r.Module, r.Path, !FOptions.Imports, FSortedBases[r.Path],
                                 r.Forwarder, r.Delay});
                }
            }
        } catch (...) {
            EraseProgress();
            throw;
        }
        const bool written = FWriter.Finish();
        EraseProgress();
        if (!written) {
            if (FWriter.Failure().ClosedPipe)
                return FAnyRow ? 0 : 1;  // the reader went away (| head): quietly
            std::fprintf(FErr, "kalvex-find: write error: %s\n", FWriter.Failure().Reason.c_str());
            return 2;
        }
        if (FOptions.Quiet && FAnyRow)
            return 0;  // as grep -q: the answer is what was asked
        return FFailed ? 2 : FAnyRow ? 0 : 1;
    }

private:
    // A path of the command line or of the list: a folder walked, a file
    // read alone whatever the mask.
    void Target(const std::string &path, const TWalkEvents &events)
    {
        if (FJobs->Stopped())
            return;
        if (path.empty() || IsFolder(path))
            WalkTargetFiles(path, FOptions.Mask, FOptions.Recursive, events);
        else if (FCache.On())
            Submit(path, false, nullptr, true);
        else
            Submit(path, false);
    }

    // The paths of a list, one a line (a CR before the LF dropped) or
    // NUL-separated, taken as they come: a list that another command is
    // still writing is searched meanwhile. Empty entries are passed by.
    void TargetsFrom(const std::string &list, const TWalkEvents &events)
    {
        const bool standardInput = list == "-";
        FILE *in = standardInput ? stdin : std::fopen(list.c_str(), "rb");
        if (!in) {
            FJobs->Submit(std::make_unique<TJob>(list, false, FindOpenErrorCode()));
            return;
        }
        const int separator = FOptions.Null ? 0 : '\n';
        std::string path;
        for (int c = 0; c != EOF && !FJobs->Stopped();) {
            c = std::getc(in);
            if (c != EOF && c != separator) {
                path += static_cast<char>(c);
                continue;
            }
            if (!FOptions.Null && !path.empty() && path.back() == '\r')
                path.pop_back();
            if (!path.empty())
                Target(path, events);
            path.clear();
        }
        if (!standardInput)
            std::fclose(in);
    }

    // stamp: the listing's; stat: take one by the path instead.
    void Submit(const std::string &path, bool walkFile, const TFileStamp *stamp = nullptr, bool stat = false)
    {
        ++FFound;
        auto job = std::make_unique<TJob>(path, walkFile, 0);
        if (stamp)
            job->Stamp = *stamp;
        else if (stat)
            FileStamp(path, job->Stamp);
        FJobs->Submit(std::move(job));
    }

    // On a reading thread: the job's table, of which it keeps the matching
    // entries. The stop reaches into the walk through its stop check, which
    // also tells the scheduler how much the growing list holds.
    void Read(TJob &job, TJobMeter &meter)
    {
        if (job.Code != 0)
            return;  // a folder's failure
        const bool exports = !FOptions.Imports;
        {
            TNameList list;
            TListBytes held(list);
            uint64_t same = 0;
            bool known = false;
            job.Code = FCache.ReadFunctionNames(job.Path, job.Stamp, exports, list,
                                                [&] { return !meter.Hold(held()); }, &job.Base, [&](uint64_t id) {
                                                    same = id;
                                                    return known = FSameRows.Take(id, job.Rows);
                                                });
            std::string_view name, module;
            if (job.Code == 0 && !known)
                for (const TNameEntry &entry : list)
                    if (MatchEntry(entry, exports, FOptions.Unnamed, FMatch, name, module))
                        job.Rows.Add(entry);
            if (job.Code == 0 && same != 0 && !known)
                FSameRows.Keep(same, job.Rows);
        }
        meter.Hold(job.Rows.Bytes());
    }

    // On the submitting thread, in walk order: the job's rows and report.
    void Emit(TJob &job)
    {
        ++FFinished;
        if (job.Code != 0)
            Problem(job.Path, job.Code, job.WalkFile);
        if (job.Rows.Size() > 0) {
            FAnyRow = true;
            if (FOptions.Quiet)
                FJobs->Stop();  // the answer is known
            else if (FOptions.Files != TFileOutput::Rows)
                FWriter.File(job.Path, job.Rows.Size());
            else
                Rows(job);
        }
        ShowProgress(job.Path);
    }

    // The job's rows as the window builds them: an export's module column
    // is the file name, an import's the imported module.
    void Rows(const TJob &job)
    {
        const std::string fileName = FOptions.Imports ? std::string() : FindFileName(job.Path);
        char number[16];
        for (size_t i = 0; i < job.Rows.Size() && !FWriter.Failed(); ++i) {
            const char *end = std::to_chars(number, number + sizeof number, job.Rows.Number(i)).ptr;
            const std::string_view text(number, end - number);
            const std::string_view module = FOptions.Imports ? job.Rows.Detail(i) : std::string_view(fileName);
            const std::string_view forwarder = FOptions.Imports ? std::string_view() : job.Rows.Detail(i);
            const bool delay = job.Rows.Flags(i) & NameDelayLoaded;
            if (FOptions.Sort != TSortKey::None)
                FSorted.push_back({std::string(job.Rows.Name(i)), std::string(text), std::string(module), job.Path,
                                   std::string(forwarder), delay});
            else
                FWriter.Row({job.Rows.Name(i), text, module, job.Path, !FOptions.Imports, job.Base, forwarder, delay});
        }
        if (FOptions.Sort != TSortKey::None)
            FSortedBases[job.Path] = job.Base;
        if (FWriter.Failed())
            FJobs->Stop();
    }

    // A file or folder that could not be read. A file met in a walk that is
    // no module, has a damaged table or is no regular file (a pipe, a
    // device) is passed by, as grep -r passes binary files and devices by:
    // named only with --errors, and no error for the status. Anything else
    // is an error, reported unless -s.
    void Problem(const std::string &path, uint32_t code, bool walkFile)
    {
        const bool passedBy =
            walkFile && (code == CodeBadExeFormat || code == CodeWalkFault || code == CodeNotRegularFile);
        FFailed = FFailed || !passedBy;
        if (FOptions.NoMessages || (passedBy && !FOptions.Errors))
            return;
        EraseProgress();
        std::fprintf(FErr, "kalvex-find: %s: %s\n", path.empty() ? "." : path.c_str(), FindErrorText(code).c_str());
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
        SetProgressWidth(width);
        std::fprintf(FErr, "\r%s", line.c_str());
        std::fflush(FErr);
        FShownWidth = width;
    }
    void EraseProgress()
    {
        if (FShownWidth == 0)
            return;
        SetProgressWidth(0);
        std::fprintf(FErr, "\r%s\r", std::string(FShownWidth, ' ').c_str());
        std::fflush(FErr);
        FShownWidth = 0;
    }

    const TFindOptions &FOptions;
    FILE *FErr;
    const TNameMatch FMatch;  // before the writer, which colours its matches
    TRowWriter FWriter;
    const int FThreads;
    const bool FProgress;
    TOrderedJobs *FJobs = nullptr;
    bool FAnyRow = false;
    bool FFailed = false;  // a problem that makes the status 2
    TResultRows FSorted;
    std::map<std::string, uint32_t> FSortedBases;  // each sorted file's export base
    size_t FFound = 0, FFinished = 0;
    const TClock::time_point FStart = TClock::now();
    TClock::time_point FShown;
    size_t FShownWidth = 0;
    TNameCache FCache;  // used by the reading threads
    TSameRows FSameRows;
};

}  // namespace

int RunFind(const TFindOptions &options, FILE *out, FILE *err)
{
    return TFind(options, out, err).Run();
}
