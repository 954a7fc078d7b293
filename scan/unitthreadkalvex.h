// TThreadKalvex: one search pass on a thread of its own: it collects the
// target files (walking the folders of its request), then reads them. Each
// matching name becomes one result row, handed to the user interface thread
// one at a time.
#pragma once

#include "framework/textutil.h"
#include "framework/thread.h"
#include "scan/namecache.h"
#include "scan/nametables.h"
#include "scan/resultview.h"
#include "scan/targetfiles.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class TThreadKalvex : public TThread {
public:
    // Copies its targets, so the caller may discard them at once; the thread
    // starts when construction is complete. view receives the hand-offs.
    // unnamedExports: an export search lists the exports no name points to.
    // cacheFolder: the name cache's folder, "" for none.
    TThreadKalvex(const TStringList &files, const std::string &keyword, bool ignoreCase,
                  bool exportTable, FIResultView &view, bool unnamedExports = false,
                  const std::string &cacheFolder = std::string());
    TThreadKalvex(const TTargetRequest &targets, const std::string &keyword, bool ignoreCase,
                  bool exportTable, FIResultView &view, bool unnamedExports = false,
                  const std::string &cacheFolder = std::string());
    ~TThreadKalvex() override;

    std::atomic<bool> Finding{false};

protected:
    void Run() override;

private:
    void RunPass();
    uint32_t GetFunctionNames(const std::string &path, const TFileStamp &stamp, TNameList &list, uint32_t &base);
    // ": " and the system's text for code with fileName for its %1, or
    // nothing when the system has no text.
    static std::string GetErrorText(uint32_t code, const std::string &fileName);
    void ClearItems();
    void ShowStatus(const std::string &text);
    // A row: name, number, module (the file-name part of path, or the
    // imported module of an import row), path of the file read, info tip.
    // The staging fields keep their room from row to row.
    void AddItem(std::string_view path, std::string_view module, std::string_view name, int32_t number,
                 std::string_view tip);
    void ShowSummary();

    TTargetRequest FTargets;
    TStringList FFiles;  // collected from FTargets when the pass starts
    std::vector<TFileStamp> FStamps;  // theirs, when the name cache is on
    std::string FCacheFolder;
    TNameCache *FCache = nullptr;  // the pass's
    std::string FKeyword;
    bool FIgnoreCase;
    bool FExport;
    bool FUnnamed;
    std::string FStatusText;
    std::string FItemPath;
    std::string FItemModule;
    std::string FItemName;
    std::string FItemTip;
    int32_t FItemNumber = 0;
    int32_t FCount = 0;
    FIResultView &FView;
};
