// TFormKalvex: the main window. Its layout, commands and menus come from its
// design; this class adds the search launch, the command handlers and the
// receiving end of the search worker's hand-offs.
#pragma once

#include "framework/form.h"
#include "scan/resultview.h"
#include "scan/unitthreadkalvex.h"

#include <shellapi.h>

class TFormKalvex : public TForm, public FIResultView {
public:
    TFormKalvex();
    ~TFormKalvex() override;

    // The components the code works with, bound by the design.
    TOpenDialog *OpenDialog;
    TStatusBar *StatusBar;
    TAction *ActionOpen, *ActionSelectFolder, *ActionRecursive, *ActionIgnoreCase, *ActionFind,
        *ActionAbort, *ActionCopy, *ActionSelectAll, *ActionSelectInvert, *ActionAbout, *ActionExit;
    TMenuItem *MainMenuOpen, *MainMenuRecursive, *MainMenuIgnoreCase, *MainMenuFind, *MainMenuAbort,
        *MainMenuCopy, *MainMenuAbout;
    TListView *ListView;
    TPanel *PanelHeader;
    TSplitter *SplitterFolder;
    TAction *ActionExport, *ActionImport, *ActionUnnamed;
    TMenuItem *MainMenuExport, *MainMenuImport, *MainMenuUnnamed;
    TPanel *PanelFileMaskKeyword;
    TSplitter *SplitterFileMask;
    TPanel *PanelFileMask;
    TComboBox *ComboBoxFileMask;
    TPanel *PanelKeywordToolBar, *PanelKeyword;
    TEdit *EditFindText;
    TToolBar *ToolBar;
    TToolButton *ToolButtonIgnoreCase, *ToolButtonFind, *ToolButtonAbort;
    TPanel *PanelFolderToolBar;
    TToolBar *ToolBarFolder;
    TToolButton *ToolButtonRecursive;
    TPanel *PanelFolder;
    TEdit *EditFolder;

    // Search launch. The worker collects the target files itself.
    bool IsFinding() const;
    void StartFind(const TStringList &files, const std::string &keyword, bool ignoreCase, bool exportTable);
    void StartFind(const TTargetRequest &targets, const std::string &keyword, bool ignoreCase, bool exportTable);
    void StopFind();
    void ActionFindExecute(TAction &);
    void ActionOpenExecute(TAction &);
    void ActionAbortExecute(TAction &);
    void ActionSelectFolderExecute(TAction &);
    void WMDropFiles(HDROP drop);

    // Commands.
    void ActionExitExecute(TAction &);
    void ActionCopyExecute(TAction &);
    void ActionSelectAllExecute(TAction &);
    void ActionSelectInvertExecute(TAction &);
    void ActionAboutExecute(TAction &);
    void ActionUpdateEnableAlways(TAction &action);
    void ActionUpdateDisableFinding(TAction &action);
    void ActionUpdateEnableExistsLines(TAction &action);
    void ActionUpdateEnableSelectLines(TAction &action);
    void ActionAbortUpdate(TAction &action);
    void EditKeyPress(TEdit &edit, char &key);

    // The result list's header click and the sort's comparison.
    void ListViewColumnClick(TListView &sender, int column);
    // The drag-out of the selected rows.
    void ListViewMouseDown(TListView &sender, TMouseButton button, UINT shift, int x, int y);
    void ListViewMouseMove(TListView &sender, UINT shift, int x, int y);
    void ListViewMouseUp(TListView &sender, TMouseButton button, UINT shift, int x, int y);
    void ListViewCompare(TListView &sender, const TListItem *item1, const TListItem *item2, int data,
                         int &compare);

    // The worker's hand-offs land here, on the user interface thread.
    void ClearRows() override;
    void SetStatusText(const std::string &text) override;
    void AppendRow(std::string_view name, int32_t number, std::string_view fileName, std::string_view path,
                   std::string_view tip) override;
    // The list text of a row that holds its info tip, after the columns.
    static constexpr int TipText = 4;

    // The smallest window the user can make (and a stored placement gives):
    // every box and a few rows of the list stay usable.
    static constexpr int MinWidth = 320, MinHeight = 200;

    // Read by tests: whether the window takes dropped files now.
    bool AcceptsDrops() const { return FAcceptsDrops; }
    // How the window is first shown: the state kept in the settings.
    int FirstShow() const { return FFirstShow; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void LoadSettings();
    void SaveSettings();
    void PrepareSortMarks();
    void SetAcceptDrops(bool accept);
    // The three texts of the selected rows, pending in the transfer collector.
    void AddRowPayloads(TListView &list);
    // Tells in the status bar why a copy or drag offered no file.
    void ShowTransferFileError();
    // What a launch reads from the window, once the collecting text shows.
    struct TSearchRequest {
        bool Recursive;
        std::string Mask;
        std::string Keyword;
        bool IgnoreCase;
        bool ExportTable;
    };
    TSearchRequest ReadSearchRequest() const;
    // Shows the collecting text and paints the status bar.
    void ShowCollecting();
    // Rows and texts arriving one by one would repaint the list and the
    // status bar each time (about 10 ms a list row, 1 ms a status text under
    // Wine): while a search runs, the status bar shows its latest text every
    // 100 ms and the list learns its new rows every 500 ms (which repaints
    // only rows that come into view, and the scroll bar: 10 ms under Wine);
    // the idle pass after the end shows both at once.
    void DeferPaint();
    void FlushPaint(bool keepDeferring);

    TThreadKalvex *FWorker = nullptr;
    bool FNameCache = true;  // the settings' NameCache
    bool FPaintDeferred = false;
    int FFirstShow = SW_SHOWNORMAL;
    DWORD FListPainted = 0;
    bool FAcceptsDrops = false;
};

// The one main window, exported by name.
extern "C" TFormKalvex *FormKalvex;
