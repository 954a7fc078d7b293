// The about box in Wine under Xvfb: its texts from version resources, its
// layout and placement, real keys and clicks inside its modal loop, and a
// search that goes on while it is open. The tests act from inside the modal
// loop through a hook that sees each message the loop takes.
#include "about/unitaboutbox.h"
#include "tests/app/windowfixture.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::function<void(const MSG &)> Probe;

LRESULT CALLBACK ProbeHook(int code, WPARAM removed, LPARAM lp)
{
    if (code == HC_ACTION && removed == PM_REMOVE && Probe)
        Probe(*reinterpret_cast<const MSG *>(lp));
    return CallNextHookEx(nullptr, code, removed, lp);
}

// Posted to the test's thread before a modal loop starts: the first thing
// the loop takes.
const UINT WM_TEST_GO = WM_APP + 40;
// Typed after the input under test: when it arrives, everything before it
// has been handled (input arrives in order).

bool IsMarker(const MSG &m)
{
    return m.message == WM_KEYUP && m.wParam == MarkerKey;
}

void AddKey(std::vector<INPUT> &in, WORD vk)
{
    for (DWORD flags : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = flags;
        in.push_back(i);
    }
}

// Types the keys, then the marker.
void Type(const std::vector<WORD> &keys)
{
    std::vector<INPUT> in;
    for (WORD vk : keys)
        AddKey(in, vk);
    AddKey(in, MarkerKey);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Clicks the left button at a point of a window's client area, then types
// the marker.
void Click(HWND window, POINT at)
{
    ClientToScreen(window, &at);
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> in(3);
    for (INPUT &i : in)
        i.type = INPUT_MOUSE;
    in[0].mi.dx = at.x * 65535 / (w - 1);
    in[0].mi.dy = at.y * 65535 / (h - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    AddKey(in, MarkerKey);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Counts the characters that reach a control past the form's key preview.
WNDPROC CountedProc = nullptr;
int CharsReached = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CHAR)
        ++CharsReached;
    return CallWindowProcA(CountedProc, hwnd, msg, wp, lp);
}

RECT ChildRect(const TControl &control)
{
    RECT r;
    GetWindowRect(control.Handle, &r);
    MapWindowPoints(nullptr, GetParent(control.Handle), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

std::string Rect(const RECT &r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// "face height [bold] [italic]" of a control's font.
std::string FontOf(const TControl &control)
{
    LOGFONTA lf = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control.Handle, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return std::string(lf.lfFaceName) + " " + std::to_string(lf.lfHeight) + (lf.lfWeight == FW_BOLD ? " bold" : "") +
           (lf.lfItalic ? " italic" : "");
}

class AboutBox : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        FHook = SetWindowsHookExA(WH_GETMESSAGE, ProbeHook, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, FHook);
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(FHook);
        Probe = nullptr;
        TWindowTest::TearDown();
    }
    static TFormAboutBox *OpenBox()
    {
        return dynamic_cast<TFormAboutBox *>(TControl::FromHandle(FindWindowA("TFormAboutBox", nullptr)));
    }

    HHOOK FHook = nullptr;
};

const char OurCopyright[] = "Copyright (C) 2026 the Kalvex authors";

// One node of a version resource: its header, UTF-16 key, value and
// children, each part starting on a 4-byte boundary.
std::string VersionNode(const std::wstring &key, WORD type, const std::string &value, WORD valueLength,
                        const std::vector<std::string> &children = {})
{
    std::string n(6, '\0');
    n.append(reinterpret_cast<const char *>(key.c_str()), (key.size() + 1) * sizeof(wchar_t));
    n.resize((n.size() + 3) & ~size_t(3), '\0');
    n += value;
    for (const std::string &child : children) {
        n.resize((n.size() + 3) & ~size_t(3), '\0');
        n += child;
    }
    const WORD header[3] = {static_cast<WORD>(n.size()), valueLength, type};
    memcpy(&n[0], header, sizeof header);
    return n;
}

// A copy of a fixture module with the version resource given: translation
// bytes, then a string table of that name holding the three texts.
std::string ModuleWithVersion(const std::string &name, const std::string &translation, const std::wstring &table)
{
    const std::string path = NewTempDir(name) + name + ".dll";
    CopyFileA((TestDir() + "fixresource.dll").c_str(), path.c_str(), FALSE);
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    auto text = [](const std::wstring &key, const std::wstring &value) {
        return VersionNode(key, 1, std::string(reinterpret_cast<const char *>(value.c_str()), (value.size() + 1) * 2),
                           static_cast<WORD>(value.size() + 1));
    };
    // The translation list first: what follows it is padding, then the strings.
    const std::string info = VersionNode(
        L"VS_VERSION_INFO", 0, std::string(reinterpret_cast<const char *>(&fixed), sizeof fixed), sizeof fixed,
        {VersionNode(L"VarFileInfo", 1, "", 0,
                     {VersionNode(L"Translation", 0, translation, static_cast<WORD>(translation.size()))}),
         VersionNode(L"StringFileInfo", 1, "", 0,
                     {VersionNode(table, 1, "", 0,
                                  {text(L"ProductName", L"Built"), text(L"ProductVersion", L"9.9"),
                                   text(L"LegalCopyright", L"Built here")})})});
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    UpdateResourceA(update, RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                    const_cast<char *>(info.data()), static_cast<DWORD>(info.size()));
    EndUpdateResourceA(update, FALSE);
    return path;
}

}  // namespace

TEST_F(AboutBox, TextsComeFromTheVersionResourceOrKeepTheirDesign)
{
    struct {
        std::string file, caption, product, version, copyright;
    } cases[] = {
        {"..\\Kalvex.exe", "Kalvex について", "Kalvex", "Version 0.0.3.0", OurCopyright},
        {"fixversion.dll", "Fixture について", "Fixture", "Version 1.2.3.4", "Programmed by "},
        {"fixexports.dll", " について", "Product Name", "Version ", "Programmed by "},
        {"missing.dll", " について", "Product Name", "Version ", "Programmed by "},
        // Built here: a whole pair, and a list of a language alone (2 bytes) that
        // read as a pair would name the table "04110000" through the padding.
        {ModuleWithVersion("pair", std::string("\x11\x04\x00\x00", 4), L"04110000"), "Built について", "Built",
         "Version 9.9", "Built here"},
        {ModuleWithVersion("short", std::string("\x11\x04", 2), L"04110000"), " について", "Product Name",
         "Version ", "Programmed by "},
    };
    for (const auto &c : cases) {
        TFormAboutBox box(Form->Handle, c.file.find(':') == std::string::npos ? TestDir() + c.file : c.file);
        EXPECT_EQ(c.caption, box.Text()) << c.file;
        EXPECT_EQ(c.product, box.ProductName->Text()) << c.file;
        EXPECT_EQ(c.version, box.Version->Text()) << c.file;
        EXPECT_EQ(c.copyright, box.Copyright->Text()) << c.file;
        EXPECT_NE(nullptr, box.ProgramIcon->Icon()) << c.file;
        if (c.file.find(':') != std::string::npos) {
            DeleteFileA(c.file.c_str());
            RemoveDirectoryA(c.file.substr(0, c.file.rfind('\\')).c_str());
        }
    }
}

TEST(AboutBoxPath, APathThatFillsTheBufferIsNoPath)
{
    const std::string full = ModuleFileName(nullptr);
    ASSERT_GT(full.size(), 5u);
    const DWORD n = static_cast<DWORD>(full.size());
    EXPECT_EQ("", ModuleFileName(nullptr, n));  // room for the text but not its terminator
    EXPECT_EQ("", ModuleFileName(nullptr, n - 5));
    EXPECT_EQ(full, ModuleFileName(nullptr, n + 1));
}

TEST(AboutBoxPlacement, CentredOverTheOwnerThenFittedIntoTheWorkArea)
{
    const SIZE box = {312, 227};
    struct {
        const char *what;
        RECT owner, work;
        POINT at;
    } cases[] = {
        {"centred", {100, 100, 740, 580}, {0, 0, 1024, 738}, {264, 226}},
        {"divisions truncate toward zero", {0, 0, 99, 50}, {-1000, -1000, 1000, 1000}, {-106, -88}},
        {"owner partly off the right edge", {800, 100, 1440, 580}, {0, 0, 1024, 738}, {712, 226}},
        {"owner partly off the bottom edge", {100, 600, 740, 1080}, {0, 0, 1024, 738}, {264, 511}},
        {"owner off the left and top edges", {-600, -400, 40, 80}, {0, 0, 1024, 738}, {0, 0}},
        {"work area beside a task bar", {-600, -400, 40, 80}, {60, 30, 1024, 768}, {60, 30}},
        {"box larger than the work area", {0, 0, 640, 480}, {40, 30, 240, 180}, {40, 30}},
    };
    for (const auto &c : cases) {
        const POINT at = AboutBoxPosition(c.owner, box, c.work);
        EXPECT_EQ(c.at.x, at.x) << c.what;
        EXPECT_EQ(c.at.y, at.y) << c.what;
    }
}

TEST_F(AboutBox, LaysOutItsControlsAsDesigned)
{
    TFormAboutBox box(Form->Handle);
    RECT client;
    GetClientRect(box.Handle, &client);
    EXPECT_EQ("0,0,306,198", Rect(client));
    const struct {
        TControl *control;
        const char *at, *font;
    } rows[] = {
        {box.Panel, "4,4,301,161", nullptr},
        {box.PanelIcon, "8,8,50,50", nullptr},
        {box.ProgramIcon, "5,5,37,37", nullptr},
        {box.ProductName, "56,8,289,28", "Times New Roman -19 bold italic"},
        {box.Version, "56,25,289,39", "Arial -13 bold"},
        {box.Copyright, nullptr, "Arial -12"},
        {box.Comments, "8,60,289,150", "ＭＳ Ｐゴシック -12"},
        {box.ToolBar, "68,169,238,192", "Arial -12 bold italic"},
    };
    for (const auto &r : rows) {
        if (r.at) {
            EXPECT_EQ(r.at, Rect(ChildRect(*r.control))) << r.control->Name;
        }
        if (r.font) {
            EXPECT_EQ(r.font, FontOf(*r.control)) << r.control->Name;
        }
    }

    // The copyright line keeps its right edge at 289, also when it grows.
    const RECT before = ChildRect(*box.Copyright);
    EXPECT_EQ(289, before.right);
    EXPECT_EQ(38, before.top);
    box.Copyright->SetText(std::string(OurCopyright) + ", and many more who helped");
    EXPECT_EQ(289, ChildRect(*box.Copyright).right);
    EXPECT_LT(ChildRect(*box.Copyright).left, before.left);

    const LONG style = GetWindowLongA(box.Comments->Handle, GWL_STYLE);
    EXPECT_TRUE((style & ES_READONLY) && (style & WS_VSCROLL) && !(style & WS_TABSTOP));
    EXPECT_FALSE(GetWindowLongA(box.Comments->Handle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // Fifteen lines, each ending in CR LF.
    const std::string terms = box.Comments->Text();
    int lines = 0;
    for (size_t at = 0; (at = terms.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(15, lines);
    EXPECT_EQ("\r\n", terms.substr(terms.size() - 2));
}

TEST_F(AboutBox, TheAboutCommandShowsTheProgramsTextsOverTheMainWindowAndOKClosesIt)
{
    std::string texts;
    HWND owner = nullptr;
    bool topmost = false, placed = false, markerSeen = false, closedByClick = false;
    Probe = [&](const MSG &m) {
        TFormAboutBox *box = OpenBox();
        if (box && m.message == WM_TEST_GO) {
            texts = box->Text() + "|" + box->ProductName->Text() + "|" + box->Version->Text() + "|" +
                    box->Copyright->Text();
            owner = GetWindow(box->Handle, GW_OWNER);
            topmost = GetWindowLongA(box->Handle, GWL_EXSTYLE) & WS_EX_TOPMOST;
            RECT main, at, work;
            GetWindowRect(Form->Handle, &main);
            GetWindowRect(box->Handle, &at);
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
            const POINT p = AboutBoxPosition(main, {at.right - at.left, at.bottom - at.top}, work);
            placed = p.x == at.left && p.y == at.top;
            RECT ok;
            SendMessageA(box->ToolBar->Handle, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&ok));
            Click(box->ToolBar->Handle, {(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2});
        } else if (box && IsMarker(m) && !markerSeen) {
            markerSeen = true;
            closedByClick = box->ModalDone();
            box->Close();
        }
    };
    PostThreadMessageA(GetCurrentThreadId(), WM_TEST_GO, 0, 0);
    EXPECT_TRUE(Form->ActionAbout->Execute());
    EXPECT_EQ(std::string("Kalvex について|Kalvex|Version 0.0.3.0|") + OurCopyright, texts);
    EXPECT_EQ(Form->Handle, owner);
    EXPECT_TRUE(topmost && placed && markerSeen);
    EXPECT_TRUE(closedByClick);
    EXPECT_EQ(nullptr, FindWindowA("TFormAboutBox", nullptr));
    EXPECT_TRUE(IsWindowEnabled(Form->Handle));
}

TEST_F(AboutBox, EnterAndEscapeCloseItAndNoTypedCharacterReachesAControl)
{
    const struct {
        std::vector<WORD> keys;
        bool closes;
    } cases[] = {
        {{VK_RETURN}, true},
        {{VK_ESCAPE}, true},
        {{'A', '1', VK_SPACE, VK_BACK, VK_OEM_MINUS}, false},
    };
    for (const auto &c : cases) {
        TFormAboutBox box(Form->Handle);
        const std::string memo = box.Comments->Text(), caption = box.Text();
        CharsReached = 0;
        CountedProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(box.Comments->Handle, GWLP_WNDPROC,
                                                                   reinterpret_cast<LONG_PTR>(CountingProc)));
        bool markerSeen = false, closedByKey = false;
        Probe = [&](const MSG &m) {
            if (m.message == WM_TEST_GO) {
                // The memo holds the focus: a character let through would reach it.
                SetForegroundWindow(box.Handle);
                SetFocus(box.Comments->Handle);
                Type(c.keys);
            } else if (IsMarker(m) && !markerSeen) {
                markerSeen = true;
                closedByKey = box.ModalDone();
                box.Close();
            }
        };
        PostThreadMessageA(GetCurrentThreadId(), WM_TEST_GO, 0, 0);
        box.ShowModal(Form->Handle);
        SetWindowLongPtrA(box.Comments->Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountedProc));
        EXPECT_TRUE(markerSeen) << c.keys[0];
        EXPECT_EQ(c.closes, closedByKey) << c.keys[0];
        EXPECT_EQ(0, CharsReached) << c.keys[0];
        EXPECT_EQ(memo, box.Comments->Text()) << c.keys[0];
        EXPECT_EQ(caption, box.Text()) << c.keys[0];
    }
}

TEST_F(AboutBox, ASearchStartedBeforeGoesOnAndEndsWhileTheBoxIsOpen)
{
    // The worker waits in its first hand-off until a message loop serves it:
    // here, the box's.
    Form->StartFind(TStringList(20, TestDir() + "fixexports.dll"), "", true, true);
    ASSERT_TRUE(Form->IsFinding());
    int rowsWhenEnded = -1;
    std::string statusWhenEnded;
    Probe = [&](const MSG &) {
        TFormAboutBox *box = OpenBox();
        if (box && !box->ModalDone() && !Form->IsFinding()) {
            rowsWhenEnded = Form->ListView->Count();
            statusWhenEnded = Form->StatusBar->SimpleText();
            PostMessageA(box->Handle, WM_CLOSE, 0, 0);  // the system menu's close
        }
    };
    EXPECT_TRUE(Form->ActionAbout->Execute());
    EXPECT_EQ(80, rowsWhenEnded);
    EXPECT_EQ("80個の関数が見つかりました", statusWhenEnded);
    EXPECT_FALSE(Application.Terminated());
}
