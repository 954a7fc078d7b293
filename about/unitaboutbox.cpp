#include "about/unitaboutbox.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "resources/FormAboutBox.design.h"

namespace {

// The author's home page, opened by the web-page button.
const char AuthorWebPage[] = "https://example.org/kalvex/";

// Whether n bytes at p lie inside the buffer.
bool Inside(const std::vector<char> &buffer, const void *p, size_t n)
{
    const char *at = static_cast<const char *>(p);
    return at >= buffer.data() && n <= buffer.size() && static_cast<size_t>(at - buffer.data()) <= buffer.size() - n;
}

}  // namespace

TVersionTexts ReadVersionTexts(const std::string &file)
{
    TVersionTexts texts;
    if (file.empty())
        return texts;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0)
        return texts;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, info.data()))
        return texts;
    // The first (language, code page) pair names the string table; a list
    // shorter than one pair names none.
    void *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4 ||
        !Inside(info, value, 4))
        return texts;
    WORD pair[2];
    memcpy(pair, value, sizeof pair);
    char table[16];
    wsprintfA(table, "%04X%04X", pair[0], pair[1]);
    const std::string prefix = std::string("\\StringFileInfo\\") + table + "\\";

    auto query = [&](const char *key) -> std::optional<std::string> {
        void *text = nullptr;
        UINT chars = 0;
        if (!VerQueryValueA(info.data(), (prefix + key).c_str(), &text, &chars) || !Inside(info, text, 1))
            return std::nullopt;
        // Never past the buffer, even for a text without its terminator.
        const char *at = static_cast<const char *>(text);
        return std::string(at, strnlen(at, info.data() + info.size() - at));
    };
    texts.ProductName = query("ProductName");
    texts.ProductVersion = query("ProductVersion");
    texts.LegalCopyright = query("LegalCopyright");
    return texts;
}

std::string ModuleFileName(HMODULE module, DWORD bufferSize)
{
    std::vector<char> path(bufferSize + 1, '\0');
    const DWORD n = GetModuleFileNameA(module, path.data(), bufferSize);
    if (n == 0 || n >= bufferSize)
        return std::string();
    return std::string(path.data(), n);
}

POINT AboutBoxPosition(const RECT &owner, SIZE box, const RECT &workArea)
{
    const LONG workWidth = workArea.right - workArea.left, workHeight = workArea.bottom - workArea.top;
    POINT at = {owner.left + (owner.right - owner.left - box.cx) / 2,
                owner.top + (owner.bottom - owner.top - box.cy) / 2};
    if (at.x + box.cx > workArea.left + workWidth)
        at.x = workArea.left + workWidth - box.cx;
    if (at.y + box.cy > workArea.top + workHeight)
        at.y = workArea.top + workHeight - box.cy;
    if (at.x < workArea.left)
        at.x = workArea.left;
    if (at.y < workArea.top)
        at.y = workArea.top;
    return at;
}

TFormAboutBox::TFormAboutBox(HWND owner) : TFormAboutBox(owner, ModuleFileName(nullptr)) {}

TFormAboutBox::TFormAboutBox(HWND owner, const std::string &versionFile) : TForm("TFormAboutBox")
{
    // A dialog frame with the system menu alone, above other windows.
    FOwnerWindow = owner;
    FStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    FExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOPMOST;
    FClientWidth = 306;
    FClientHeight = 198;
    Caption = " について";
    SetFormFont({.Name = "Arial", .Height = -12, .Charset = ANSI_CHARSET});
    FontColor = RGB(0, 0, 0);
    // Key preview: the box sees every typed character before its controls.
    OnKeyPress = [this](char &key) { FormKeyPress(*this, key); };
    Build(*this, FormAboutBoxDesign);

    FillTexts(ReadVersionTexts(versionFile));
    ProgramIcon->SetIcon(LoadIconA(GetModuleHandleA(nullptr), "MAINICON"));
    PlaceOver(owner);
}

TFormAboutBox::~TFormAboutBox()
{
    DestroyHandle();
}

void TFormAboutBox::FillTexts(const TVersionTexts &texts)
{
    // A text not found leaves the design's in place.
    if (texts.ProductName) {
        SetText(*texts.ProductName + Caption);
        ProductName->SetText(*texts.ProductName);
    }
    if (texts.ProductVersion)
        Version->SetText(Version->Caption + *texts.ProductVersion);
    if (texts.LegalCopyright)
        Copyright->SetText(*texts.LegalCopyright);
}

void TFormAboutBox::PlaceOver(HWND owner)
{
    RECT ownerRect = {}, box = {}, workArea = {};
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(Handle, &box);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    const POINT at = AboutBoxPosition(ownerRect, {box.right - box.left, box.bottom - box.top}, workArea);
    SetWindowPos(Handle, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Left = at.x;
    Top = at.y;
}

void TFormAboutBox::FormKeyPress(TComponent &, char &key)
{
    if (key == '\r' || key == '\x1b')
        ToolButtonOKClick(*this);
    // Typed characters reach no control of the box, whether it closed or not.
    key = 0;
}

void TFormAboutBox::ToolButtonOKClick(TComponent &)
{
    Close();
}

void TFormAboutBox::ToolButtonWebPageClick(TComponent &)
{
    // The box closes whether or not a browser opens.
    ShellExecuteA(nullptr, nullptr, AuthorWebPage, nullptr, "", SW_SHOWNORMAL);
    Close();
}

void TFormAboutBox::ProgramIconClick(TComponent &)
{
    // A click on the icon does nothing visible.
}
