#include "scan/unitthreadkalvex.h"

#include "rows/resultrows.h"
#include "scan/errorstring.h"
#include "scan/modulereader.h"

TThreadKalvex::TThreadKalvex(const TStringList &files, const std::string &keyword,
                             bool ignoreCase, bool exportTable, FIResultView &view, bool unnamedExports,
                             const std::string &cacheFolder)
    : TThreadKalvex(TargetFiles(files), keyword, ignoreCase, exportTable, view, unnamedExports, cacheFolder)
{
}

TThreadKalvex::TThreadKalvex(const TTargetRequest &targets, const std::string &keyword,
                             bool ignoreCase, bool exportTable, FIResultView &view, bool unnamedExports,
                             const std::string &cacheFolder)
    : FTargets(targets), FCacheFolder(cacheFolder), FKeyword(keyword), FIgnoreCase(ignoreCase),
      FExport(exportTable), FUnnamed(unnamedExports), FView(view)
{
    Finding = true;
    Start();
}

TThreadKalvex::~TThreadKalvex()
{
    StopAndWait();
}

void TThreadKalvex::Run()
{
    // No critical-error box (a drive without its medium) for this thread's
    // reads; it ends with the pass.
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, nullptr);
    try {
        RunPass();
    } catch (...) {
        // A failure outside the module reads (memory exhausted, a hand-off
        // that threw) ends the pass; the rows so far are summed up if the
        // window still takes a status text.
        try {
            ShowSummary();
        } catch (...) {
        }
    }
    Finding = false;
}

void TThreadKalvex::RunPass()
{
    ClearItems();
    // One cache for the pass, written when it ends; a folder that cannot be
    // used means no cache, which the window does not mention.
    TNameCache cache(FCacheFolder);
    FCache = &cache;
    // The status still shows the launch's "collecting" text; a stop ends the
    // walk at its next entry, and then the pass before its first file.
    CollectTargets(FTargets, FFiles, [this] { return StopRequested(); }, cache.On() ? &FStamps : nullptr);
    // The keyword is upper-cased here once, the names as they are tested.
    const TNameMatch match(FKeyword, FIgnoreCase, [](std::string &text) { text = AnsiUpperCase(std::move(text)); });
    FCount = 0;
    size_t next = 0;
    for (const std::string &path : FFiles) {
        if (StopRequested())
            break;
        ShowStatus("読み込み中: " + path);
        const std::string fileName = ExtractFileName(path);
        TNameList list;
        uint32_t base = 0;
        const uint32_t code =
            GetFunctionNames(path, next < FStamps.size() ? FStamps[next] : TFileStamp(), list, base);
        ++next;
        if (StopRequested())
            break;  // the read may have ended half way: no rows, no error row
        if (code == 0) {
            std::string_view name, module;
            for (const TNameEntry &entry : list) {
                if (StopRequested())
                    break;
                // An import row names the file read, like an export row; its
                // module column shows the imported module instead.
                if (MatchEntry(entry, FExport, FUnnamed, match, name, module)) {
                    AddItem(path, FExport ? std::string_view(fileName) : module, name,
                            static_cast<int32_t>(entry.Number),
                            FExport ? ExportTip(entry.Number, base, entry.Detail())
                                    : ImportTip(entry.Flags & NameDelayLoaded));
                    ++FCount;
                }
            }
        } else if (FKeyword.empty()) {
            // The tip holds the whole message, which the column may cut.
            const std::string message = std::string(FExport ? "エクスポート" : "インポート") +
                                        "関数の取得に失敗しました" + GetErrorText(code, fileName);
            AddItem(path, fileName, message, static_cast<int32_t>(code), message);
        }
    }
    cache.Close();
    FCache = nullptr;
    ShowSummary();
}

void TThreadKalvex::ShowSummary()
{
    if (FCount > 0)
        ShowStatus(std::to_string(FCount) + "個の関数が見つかりました");
    else
        ShowStatus("関数は見つかりませんでした");
}

uint32_t TThreadKalvex::GetFunctionNames(const std::string &path, const TFileStamp &stamp, TNameList &list,
                                         uint32_t &base)
{
    // A stop request reaches into the walk of a big or hostile table.
    return FCache->ReadFunctionNames(path, stamp, FExport, list, [this] { return StopRequested(); }, &base);
}

std::string TThreadKalvex::GetErrorText(uint32_t code, const std::string &fileName)
{
    // Without the system's closing CR LF: in a row it would split the copied
    // line and show as garbage in the list.
    std::string text = ErrorText(code);
    // Its insert %1 stands for the file; "%" and "1" are below 0x40, so
    // neither is ever the trail byte of a double-byte character.
    for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + fileName.size()))
        text.replace(at, 2, fileName);
    return text.empty() ? std::string() : ": " + text;
}

void TThreadKalvex::ClearItems()
{
    Synchronize([this] { FView.ClearRows(); });
}

void TThreadKalvex::ShowStatus(const std::string &text)
{
    FStatusText = text;
    Synchronize([this] { FView.SetStatusText(FStatusText); });
}

void TThreadKalvex::AddItem(std::string_view path, std::string_view module, std::string_view name,
                            int32_t number, std::string_view tip)
{
    FItemPath.assign(path);
    FItemModule.assign(module);
    FItemName.assign(name);
    FItemNumber = number;
    FItemTip.assign(tip);
    Synchronize([this] { FView.AppendRow(FItemName, FItemNumber, FItemModule, FItemPath, FItemTip); });
}
