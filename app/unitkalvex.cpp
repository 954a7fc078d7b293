#include "app/unitkalvex.h"

#include "about/unitaboutbox.h"
#include "app/folderdialog.h"
#include "app/iniutility.h"
#include "app/targetfiles.h"
#include "framework/inifile.h"
#include "listview/listviewutility.h"
#include "scan/errorstring.h"
#include "transfer/datacopydrag.h"
#include "transfer/dragcheck.h"

#include "resources/FormKalvex.design.h"

#include <algorithm>
#include <charconv>
#include <functional>

TFormKalvex *FormKalvex = nullptr;

namespace {

const char *const SettingSection = "Setting";
const UINT_PTR PaintTimer = 1;
const UINT StatusPaintInterval = 100;  // ms
const DWORD ListPaintInterval = 500;   // ms

// width kept between least and what leaves least of room beside it.
int PanelWidthIn(int width, int room, int least)
{
    return std::clamp(width, least, std::max(least, room - least));
}

}  // namespace

TFormKalvex::TFormKalvex() : TForm("TFormKalvex")
{
    Caption = "Kalvex";
    Width = 640;
    Height = 480;
    SetFormFont({.Name = "ＭＳ Ｐゴシック", .Height = -12, .Charset = SHIFTJIS_CHARSET});
    Build(*this, FormKalvexDesign);

    FWorker = nullptr;
    // The collector initialises OLE for this thread (the folder chooser and
    // the shell need it too), whatever the settings say.
    DataCopyDrag().OnDragLoop = [this](bool running) {
        // Our own drag must not end on our own window: the next idle pass
        // restores the acceptance of dropped files by its rule. The drag
        // loop dispatches its input itself, so nothing has asked for that
        // pass yet: a posted message does.
        if (running)
            SetAcceptDrops(false);
        else
            PostMessageA(Handle, WM_NULL, 0, 0);
    };
    ListView->OnInfoTip = [](TListView &list, int item, std::string &tip) {
        if (const TListItem *row = list.Item(item))
            tip.assign(row->Text(TipText));
    };
    for (const TFileMask &row : FileMaskTable)
        ComboBoxFileMask->AddItem(FileMaskEntryText(row));
    OpenDialog->Filter = FileMaskFilter();
    LoadSettings();
    PrepareSortMarks();
    SetAcceptDrops(true);

    Application.OnIdle = [this] {
        UpdateActions();
        if (FPaintDeferred && !IsFinding())
            FlushPaint(false);
    };
}

TFormKalvex::~TFormKalvex()
{
    SetAcceptDrops(false);
    SaveSettings();
    StopFind();
    Application.OnIdle = nullptr;
    DataCopyDrag().OnDragLoop = nullptr;
    DestroyHandle();
}

void TFormKalvex::LoadSettings()
{
    const std::string iniName = ApplicationIniFileName();
    const TMemIniFile ini(iniName);
    // A conversion error stops the start: its message names the file and
    // the key on a second line, so that the user can mend them.
    auto apply = [&](const char *key, const std::function<void(const std::string &)> &set) {
        try {
            set(ini.ReadString(SettingSection, key, ""));
        } catch (const EConvertError &e) {
            throw EConvertError(std::string(e.what()) + "\r\n" + iniName + " [" + SettingSection + "] " + key);
        }
    };
    // A hidden window takes only its bounds; the state waits for the first show.
    apply("Window", [this](const std::string &text) { FFirstShow = SetWindowPlacementText(Handle, text); });
    apply("ListView", [this](const std::string &text) { ListViewSetColumnWidths(*ListView, text); });
    // Each panel keeps at least a splitter's minimum, and leaves at least
    // that much to the box beside it in the window as it opens.
    Realign();
    const RECT header = PanelHeader->ChildArea();
    PanelFileMaskKeyword->Width =
        PanelWidthIn(ini.ReadInteger(SettingSection, "PanelFileMaskKeyword", PanelFileMaskKeyword->Width),
                     header.right - header.left - SplitterFolder->Width, SplitterFolder->MinSize);
    PanelFileMask->Width = PanelWidthIn(ini.ReadInteger(SettingSection, "PanelFileMask", PanelFileMask->Width),
                                        PanelFileMaskKeyword->Width - SplitterFileMask->Width,
                                        SplitterFileMask->MinSize);
    Realign();
    std::string path = ini.ReadString(SettingSection, "Path", "");
    if (path.empty()) {
        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        path = system;
    }
    EditFolder->SetText(path);
    OpenDialog->InitialDir = path;
    // An index that names no mask row would leave the box without a choice.
    const int mask = ini.ReadInteger(SettingSection, "FileMaskIndex", 0);
    ComboBoxFileMask->SetItemIndex(mask >= 0 && mask < FileMaskCount ? mask : 0);
    ActionRecursive->SetChecked(ini.ReadBool(SettingSection, "Recursive", false));
    ActionIgnoreCase->SetChecked(ini.ReadBool(SettingSection, "IgnoreCase", true));
    ActionUnnamed->SetChecked(ini.ReadBool(SettingSection, "UnnamedExports", false));
    TAction *target = ini.ReadBool(SettingSection, "Export", true) ? ActionExport : ActionImport;
    target->SetChecked(true);
    (target == ActionExport ? ActionImport : ActionExport)->SetChecked(false);
    // "0" searches without the name cache; absent or anything else, with it.
    FNameCache = ini.ReadString(SettingSection, "NameCache", "1") != "0";
    // Present and empty: copies and drags offer no file.
    const std::string fileName = ini.ReadString(SettingSection, "CopyDragFileName", "FuncList.txt");
    DataCopyDrag().SetFileName(fileName.empty() ? nullptr : fileName.c_str());
}

void TFormKalvex::SaveSettings()
{
    TMemIniFile ini(ApplicationIniFileName());
    ini.WriteString(SettingSection, "Window", GetWindowPlacementText(Handle));
    ini.WriteString(SettingSection, "ListView", ListViewGetColumnWidths(*ListView));
    ini.WriteInteger(SettingSection, "PanelFileMask", PanelFileMask->Width);
    ini.WriteInteger(SettingSection, "PanelFileMaskKeyword", PanelFileMaskKeyword->Width);
    ini.WriteString(SettingSection, "Path", EditFolder->Text());
    ini.WriteInteger(SettingSection, "FileMaskIndex", ComboBoxFileMask->ItemIndex());
    ini.WriteBool(SettingSection, "Recursive", ActionRecursive->Checked);
    ini.WriteBool(SettingSection, "IgnoreCase", ActionIgnoreCase->Checked);
    ini.WriteBool(SettingSection, "Export", ActionExport->Checked);
    ini.WriteBool(SettingSection, "UnnamedExports", ActionUnnamed->Checked);
    // A file that cannot be written keeps its old content; there is no message.
    ini.UpdateFile();
}

void TFormKalvex::PrepareSortMarks()
{
    ListViewSortInit(*ListView);
}

LRESULT TFormKalvex::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DROPFILES) {
        WMDropFiles(reinterpret_cast<HDROP>(wp));
        return 0;
    }
    if (msg == WM_CLOSE) {
        // Closing the main window ends the program.
        Application.Terminate();
        return 0;
    }
    if (msg == WM_GETMINMAXINFO) {
        reinterpret_cast<MINMAXINFO *>(lp)->ptMinTrackSize = {MinWidth, MinHeight};
        return 0;
    }
    if (msg == WM_TIMER && wp == PaintTimer) {
        FlushPaint(IsFinding());
        return 0;
    }
    return TForm::WndProc(msg, wp, lp);
}

void TFormKalvex::SetAcceptDrops(bool accept)
{
    if (accept != FAcceptsDrops && Handle) {
        DragAcceptFiles(Handle, accept);
        FAcceptsDrops = accept;
    }
}

// ---- search launch ----

bool TFormKalvex::IsFinding() const
{
    return FWorker && FWorker->Finding;
}

void TFormKalvex::StartFind(const TStringList &files, const std::string &keyword, bool ignoreCase,
                            bool exportTable)
{
    StartFind(TargetFiles(files), keyword, ignoreCase, exportTable);
}

void TFormKalvex::StartFind(const TTargetRequest &targets, const std::string &keyword, bool ignoreCase,
                            bool exportTable)
{
    if (IsFinding())
        return;
    StopFind();
    FWorker = new TThreadKalvex(targets, keyword, ignoreCase, exportTable, *this, ActionUnnamed->Checked,
                                FNameCache ? NameCacheFolder() : std::string());
}

void TFormKalvex::StopFind()
{
    if (!FWorker)
        return;
    if (FWorker->Finding)
        FWorker->RequestStop();
    FWorker->WaitForEnd();
    delete FWorker;
    FWorker = nullptr;
}

void TFormKalvex::ShowCollecting()
{
    // The worker collects; the text stays until it reads its first file.
    // Shown now, even while a running search holds its texts.
    StatusBar->SetSimpleText("対象ファイル一覧の収集中...");
    StatusBar->ShowText();
    UpdateWindow(StatusBar->Handle);
}

TFormKalvex::TSearchRequest TFormKalvex::ReadSearchRequest() const
{
    return {ActionRecursive->Checked, FileMaskOf(ComboBoxFileMask->ItemIndex()), EditFindText->Text(),
            ActionIgnoreCase->Checked, ActionExport->Checked};
}

void TFormKalvex::ActionFindExecute(TAction &)
{
    const std::string folder = EditFolder->Text();
    ShowCollecting();
    const TSearchRequest r = ReadSearchRequest();
    // A folder is walked; any other text is the one target file.
    StartFind(TTargetRequest{{{folder, true}}, r.Mask, r.Recursive}, r.Keyword, r.IgnoreCase, r.ExportTable);
    SetFocus(ListView->Handle);
}

void TFormKalvex::ActionOpenExecute(TAction &)
{
    if (!OpenDialog->Execute(Handle))
        return;
    ShowCollecting();
    const TSearchRequest r = ReadSearchRequest();
    StartFind(OpenDialog->Files, r.Keyword, r.IgnoreCase, r.ExportTable);
}

void TFormKalvex::WMDropFiles(HDROP drop)
{
    ShowCollecting();
    const TSearchRequest r = ReadSearchRequest();
    TTargetRequest targets{{}, r.Mask, r.Recursive};
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Sized to the path, so a long one is never cut into another path.
        std::string path(std::max<UINT>(DragQueryFileA(drop, i, nullptr, 0) + 1, MAX_PATH), '\0');
        path.resize(DragQueryFileA(drop, i, &path[0], static_cast<UINT>(path.size())));
        targets.Sources.push_back({path, true});  // a dropped folder is walked
    }
    DragFinish(drop);
    StartFind(targets, r.Keyword, r.IgnoreCase, r.ExportTable);
}

void TFormKalvex::ActionAbortExecute(TAction &)
{
    FWorker->RequestStop();
}

void TFormKalvex::ActionSelectFolderExecute(TAction &)
{
    // A folder text too long for the buffer is not used as the start: cut
    // short it would name another folder.
    char path[MAX_PATH] = "";
    const std::string folder = EditFolder->Text();
    if (folder.size() < MAX_PATH)
        lstrcpynA(path, folder.c_str(), MAX_PATH);
    if (FolderDialog(Handle, "検索フォルダの選択", path) == 1)
        EditFolder->SetText(path);
}

// ---- commands ----

void TFormKalvex::ActionExitExecute(TAction &)
{
    PostMessageA(Handle, WM_CLOSE, 0, 0);
}

void TFormKalvex::ActionCopyExecute(TAction &)
{
    AddRowPayloads(*ListView);
    DataCopyDrag().CopyToClipboard();
    ShowTransferFileError();
}

void TFormKalvex::ShowTransferFileError()
{
    // The texts went out all the same; only the file form is missing.
    const TDataCopyDrag &transfer = DataCopyDrag();
    if (const DWORD code = transfer.FileError()) {
        const std::string reason = ErrorText(code);
        StatusBar->SetSimpleText(std::string("ファイル ") + (transfer.FileName() ? transfer.FileName() : "") +
                                 " を書き込めませんでした: " + (reason.empty() ? std::to_string(code) : reason));
    }
}

void TFormKalvex::AddRowPayloads(TListView &list)
{
    // Tab text with its zero, CSV under "Csv" with its zero, SYLK without;
    // a failed step shows nothing.
    TDataCopyDrag &transfer = DataCopyDrag();
    const std::string text = ListViewToText(list, true, false);
    transfer.AddText(text.c_str());
    const std::string csv = ListViewToCsv(list, true, false);
    transfer.AddData(static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Csv")), csv.c_str(), csv.size() + 1);
    const std::string sylk = ListViewToSylk(list, true, false);
    transfer.AddData(CF_SYLK, sylk.c_str(), sylk.size());
}

void TFormKalvex::ListViewMouseDown(TListView &, TMouseButton, UINT shift, int x, int y)
{
    DragCheckMouseDown((shift & MK_LBUTTON) != 0, x, y);
}

void TFormKalvex::ListViewMouseMove(TListView &sender, UINT shift, int x, int y)
{
    if (!DragCheckMouseMove((shift & MK_LBUTTON) != 0, x, y))
        return;
    AddRowPayloads(sender);
    DataCopyDrag().StartDrag();  // modal until the drop or the cancel
    ShowTransferFileError();
}

void TFormKalvex::ListViewMouseUp(TListView &, TMouseButton, UINT shift, int, int)
{
    DragCheckMouseUp((shift & MK_LBUTTON) != 0);
}

void TFormKalvex::ActionSelectAllExecute(TAction &)
{
    ListViewSelectAll(*ListView, true);
}

void TFormKalvex::ActionSelectInvertExecute(TAction &)
{
    ListViewSelectInvert(*ListView, true);
}

void TFormKalvex::ActionAboutExecute(TAction &)
{
    // Modal over the main window; its loop keeps serving a running search.
    TFormAboutBox box(Handle);
    box.ShowModal(Handle);
}

void TFormKalvex::ActionUpdateEnableAlways(TAction &action)
{
    action.SetEnabled(true);
}

void TFormKalvex::ActionUpdateDisableFinding(TAction &action)
{
    action.SetEnabled(!IsFinding());
}

void TFormKalvex::ActionUpdateEnableExistsLines(TAction &action)
{
    action.SetEnabled(!IsFinding() && ListView->Count() > 0);
}

void TFormKalvex::ActionUpdateEnableSelectLines(TAction &action)
{
    action.SetEnabled(!IsFinding() && ListView->SelectedCount() > 0);
}

void TFormKalvex::ActionAbortUpdate(TAction &action)
{
    const bool finding = IsFinding();
    action.SetEnabled(finding);
    SetAcceptDrops(!finding);
}

void TFormKalvex::EditKeyPress(TEdit &, char &key)
{
    if (key == '\r') {
        key = 0;
        ActionFind->Execute();
    }
}

// ---- the result list ----

void TFormKalvex::ListViewColumnClick(TListView &sender, int column)
{
    ListViewSortColumn(sender, column);
}

void TFormKalvex::ListViewCompare(TListView &sender, const TListItem *item1, const TListItem *item2, int data,
                                  int &compare)
{
    ListViewCompareItems(sender, item1, item2, data, compare);
}

// ---- the worker's hand-offs ----

void TFormKalvex::ClearRows()
{
    // The list's rows go at once; the list repaints once.
    ListView->Clear();
}

void TFormKalvex::SetStatusText(const std::string &text)
{
    DeferPaint();
    StatusBar->SetSimpleText(text);
}

void TFormKalvex::AppendRow(std::string_view name, int32_t number, std::string_view fileName, std::string_view path,
                            std::string_view tip)
{
    DeferPaint();
    char digits[12];
    const char *end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    // The tip is kept after the four columns, where no copy reads.
    ListView->AddItem({name, std::string_view(digits, end - digits), fileName, path, tip});
}

void TFormKalvex::DeferPaint()
{
    if (FPaintDeferred)
        return;
    FPaintDeferred = true;
    FListPainted = GetTickCount();
    ListView->HoldCount(true);
    StatusBar->HoldText(true);
    SetTimer(Handle, PaintTimer, StatusPaintInterval, nullptr);
}

void TFormKalvex::FlushPaint(bool keepDeferring)
{
    if (!FPaintDeferred)
        return;
    StatusBar->ShowText();
    UpdateWindow(StatusBar->Handle);
    const DWORD now = GetTickCount();
    if (!keepDeferring || now - FListPainted >= ListPaintInterval) {
        FListPainted = now;
        ListView->ShowCount();
        UpdateWindow(ListView->Handle);
    }
    if (!keepDeferring) {
        ListView->HoldCount(false);
        StatusBar->HoldText(false);
        KillTimer(Handle, PaintTimer);
        FPaintDeferred = false;
    }
}
