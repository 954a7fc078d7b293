// TFormAboutBox: the about box. Its layout comes from its design; the
// constructor fills in the product name, version and copyright line from a
// version resource, shows the program icon and places the box over its owner.
#pragma once

#include "framework/form.h"

#include <optional>

// The texts of a file's version resource, each absent when not found.
struct TVersionTexts {
    std::optional<std::string> ProductName, ProductVersion, LegalCopyright;
};

// Reads the three texts from the string table of the first translation that
// the file's version resource lists. A file without a version resource, or
// whose translation list is shorter than one pair, gives no texts.
TVersionTexts ReadVersionTexts(const std::string &file);

// The path of a module's file, or "" when it does not fit into bufferSize
// bytes: the system cuts such a path short, and a cut path names another file.
std::string ModuleFileName(HMODULE module, DWORD bufferSize = MAX_PATH);

// The top left corner of a box of the given size: centred over the owner
// (divisions truncate toward zero), then moved into the work area, right and
// bottom edges first, so that a box larger than the work area meets its left
// and top edges.
POINT AboutBoxPosition(const RECT &owner, SIZE box, const RECT &workArea);

class TFormAboutBox : public TForm {
public:
    // Built over owner (the main window), texts from the executable's own
    // version resource. The caller shows it with ShowModal and frees it.
    explicit TFormAboutBox(HWND owner);
    // The same with the texts of another file's version resource.
    TFormAboutBox(HWND owner, const std::string &versionFile);
    ~TFormAboutBox() override;

    TPanel *Panel, *PanelIcon;
    TImage *ProgramIcon;
    TLabel *ProductName, *Version, *Copyright;
    TMemo *Comments;
    TToolBar *ToolBar;
    TToolButton *ToolButtonOK, *ToolButtonWebPage;

    void FormKeyPress(TComponent &sender, char &key);
    void ToolButtonOKClick(TComponent &sender);
    void ToolButtonWebPageClick(TComponent &sender);
    void ProgramIconClick(TComponent &sender);

private:
    void FillTexts(const TVersionTexts &texts);
    void PlaceOver(HWND owner);
};
