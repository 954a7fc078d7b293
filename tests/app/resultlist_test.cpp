// The result list of the real main window driven by real mouse and keyboard
// input in Wine under Xvfb: header clicks sort and move the sort mark, a
// divider drag, a new search and a search in progress keep it, Ctrl+A and
// Ctrl+K select. Each input is awaited by its visible effect (a handshake),
// within a deadline.
#include "listview/listviewutility.h"
#include "tests/app/windowfixture.h"
#include "tests/listview/sortmarks.h"
#include "tests/testpaths.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

const int MarkFlags = HDF_BITMAP | HDF_BITMAP_ON_RIGHT;

class ResultList : public TWindowTest {
protected:
    // Runs the loop until done() holds; false when the deadline passed first.
    bool Await(const std::function<bool()> &done, bool handOffs = true)
    {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 20000)
                return false;
            if (handOffs) {
                Application.ProcessMessages();
            } else {
                // Everything but the worker's hand-offs (and the timer that
                // serves them in modal loops): the search holds.
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    if (msg.hwnd == TThread::HandOffWindow() && msg.message == WM_TIMER)
                        continue;
                    if (Application.PreTranslate(msg))
                        continue;
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }
    // Input done: the button and the keys are up as this thread saw them.
    static bool InputDone()
    {
        return GetKeyState(VK_LBUTTON) >= 0 && GetKeyState(VK_CONTROL) >= 0 && !GetCapture();
    }
    // What a failed wait saw.
    std::string State() const
    {
        POINT p;
        GetCursorPos(&p);
        char s[160];
        wsprintfA(s, "tag %x, rows %d, selected %d, capture %p, button %d, ctrl %d, cursor %ld,%ld",
                  Form->ListView->Tag, Form->ListView->Count(), Form->ListView->SelectedCount(),
                  static_cast<void *>(GetCapture()), GetKeyState(VK_LBUTTON) < 0, GetKeyState(VK_CONTROL) < 0, p.x,
                  p.y);
        return s;
    }

    static void MoveTo(POINT at) { SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at); }
    // A point of a header item in screen coordinates: its middle, or its
    // right divider.
    POINT HeaderPoint(int column, bool divider = false) const
    {
        RECT r;
        HWND header = Form->ListView->Header();
        SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&r));
        POINT p = {divider ? r.right - 2 : (r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(header, &p);
        return p;
    }
    // A real click on a header item, awaited by the sort it starts. Each
    // click lands a little apart from the last, so that two never make a
    // double-click (which the header reports as no click).
    void ClickHeader(int column, bool handOffs = true)
    {
        static int clicks = 0;
        const int before = Form->ListView->Tag;
        POINT at = HeaderPoint(column);
        at.x += ++clicks % 2 ? -8 : 8;
        MoveTo(at);
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
        ASSERT_TRUE(Await([&] { return Form->ListView->Tag != before && InputDone(); }, handOffs))
            << "click on " << column << " at " << at.x << "," << at.y << ": " << State();
    }
    void Find(const TStringList &files)
    {
        Form->StartFind(files, "", true, true);
    }
    std::string Ordinals() const
    {
        std::string s;
        for (int i = 0; i < Form->ListView->Count(); ++i)
            s.append(i ? " " : "").append(Form->ListView->ItemText(i, 1));
        return s;
    }
    // The mark of each header item: "^" up, "v" down, "-" none, "?" anything else.
    std::string Marks() const
    {
        std::string s;
        for (size_t c = 0; c < Form->ListView->Columns.size(); ++c) {
            const HDITEMA item = HeaderItem(*Form->ListView, static_cast<int>(c));
            const auto pixels = MarkPixels(item.hbm);
            const bool flags = (item.fmt & MarkFlags) == MarkFlags;
            s += !item.hbm && !(item.fmt & MarkFlags) ? '-'
                 : flags && pixels == MarkUp           ? '^'
                 : flags && pixels == MarkDown         ? 'v'
                                                       : '?';
        }
        return s;
    }
    const std::string Fix = TestDir() + "fixexports.dll";  // ordinals 1 0 4 2 in search order
};

}  // namespace

TEST_F(ResultList, HeaderClicksSortAndMoveTheMark)
{
    Find({Fix});
    PumpUntilDone();
    ASSERT_EQ("1 0 4 2", Ordinals());
    EXPECT_EQ("----", Marks());

    ClickHeader(1);
    EXPECT_EQ("0 1 2 4", Ordinals());  // by value, ascending
    EXPECT_EQ("-^--", Marks());
    ClickHeader(1);
    EXPECT_EQ("4 2 1 0", Ordinals());
    EXPECT_EQ("-v--", Marks());
    ClickHeader(0);
    EXPECT_EQ("AlphaFunc", Form->ListView->ItemText(0, 0));
    EXPECT_EQ("Zeta", Form->ListView->ItemText(3, 0));
    EXPECT_EQ("^---", Marks());  // the old item without bitmap or flags
    EXPECT_EQ(HDF_RIGHT, HeaderItem(*Form->ListView, 1).fmt & HDF_JUSTIFYMASK);
}

TEST_F(ResultList, ADividerDragKeepsTheMarkAndPutsThePathIntoCopies)
{
    Find({Fix});
    PumpUntilDone();
    ClickHeader(1);
    TListColumn &path = *Form->ListView->Columns[3];
    ASSERT_EQ(-2, path.Width());
    Form->ListView->SetSelected(0, true);
    EXPECT_EQ("HeapAlloc\t0\tfixexports.dll\r\n", ListViewToText(*Form->ListView, true, false));

    // Narrower: the pointer stays over the window all the way.
    const POINT from = HeaderPoint(3, true), to = {from.x - 40, from.y};
    MoveTo(from);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    MoveTo({from.x - 20, from.y});
    MoveTo(to);
    SendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(Await([&] { return path.Width() > 0 && InputDone(); })) << State();
    EXPECT_EQ("-^--", Marks());
    EXPECT_EQ("HeapAlloc\t0\tfixexports.dll\t" + Fix + "\r\n", ListViewToText(*Form->ListView, true, false));
}

TEST_F(ResultList, ANewSearchKeepsTheSortStateAndAppendsInSearchOrder)
{
    Find({Fix});
    PumpUntilDone();
    ClickHeader(1);
    ClickHeader(1);
    ASSERT_EQ("-v--", Marks());
    Find({Fix, Fix});
    PumpUntilDone();
    EXPECT_EQ("1 0 4 2 1 0 4 2", Ordinals());
    EXPECT_EQ("-v--", Marks());
    ClickHeader(1);  // the next click flips on from descending
    EXPECT_EQ("0 0 1 1 2 2 4 4", Ordinals());
    EXPECT_EQ("-^--", Marks());
}

TEST_F(ResultList, AClickDuringASearchSortsTheRowsPresent)
{
    Find({Fix, Fix, Fix});
    // Let hand-offs through until the first module's rows are in. One
    // dispatch may run several steps (the worker can queue its next one
    // while the last runs), so the search holds somewhere after them.
    ASSERT_TRUE(Await([&] {
        TThread::CheckSynchronize();
        return Form->ListView->Count() >= 4;
    }, false)) << State();
    ASSERT_TRUE(Form->IsFinding());
    const int present = Form->ListView->Count();
    ClickHeader(1, false);
    PumpUntilDone();
    // The rows present sorted by value; the later ones at the end, unsorted.
    const int module[] = {1, 0, 4, 2};  // ordinals in search order
    std::vector<int> expected;
    for (int i = 0; i < 12; ++i)
        expected.push_back(module[i % 4]);
    std::sort(expected.begin(), expected.begin() + present);
    std::string want;
    for (int v : expected)
        want.append(want.empty() ? "" : " ").append(std::to_string(v));
    EXPECT_EQ(want, Ordinals()) << present << " rows present at the click";
    EXPECT_EQ("-^--", Marks());
}

TEST_F(ResultList, CtrlASelectsAllAndCtrlKInverts)
{
    Find({Fix});
    PumpUntilDone();
    SetFocus(Form->ListView->Handle);
    Form->ListView->SetSelected(1, true);
    Application.ProcessMessages();  // the idle pass enables the commands
    SendKeys({VK_CONTROL, 'K'});
    ASSERT_TRUE(Await([&] { return !Form->ListView->Selected(1) && InputDone(); })) << State();
    EXPECT_EQ(3, Form->ListView->SelectedCount());
    SendKeys({VK_CONTROL, 'A'});
    ASSERT_TRUE(Await([&] { return Form->ListView->SelectedCount() == 4 && InputDone(); })) << State();
    SendKeys({VK_CONTROL, 'K'});
    ASSERT_TRUE(Await([&] { return Form->ListView->SelectedCount() == 0 && InputDone(); })) << State();
}

// The info tip of a row, asked of the window as the list asks for it; cut
// is what the list hands in when the caption's column cut it.
static std::string InfoTip(TListView &list, int item, const char *cut = nullptr)
{
    char text[INFOTIPSIZE];
    lstrcpynA(text, cut ? cut : "", sizeof text);
    NMLVGETINFOTIPA request = {};
    request.hdr = {list.Handle, static_cast<UINT_PTR>(GetDlgCtrlID(list.Handle)), LVN_GETINFOTIPA};
    request.dwFlags = cut ? 0 : LVGIT_UNFOLDED;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    request.iItem = item;
    SendMessageA(GetParent(list.Handle), WM_NOTIFY, request.hdr.idFrom, reinterpret_cast<LPARAM>(&request));
    return text;
}

TEST_F(ResultList, TheInfoTipTellsWhatTheColumnsDoNot)
{
    // Named exports: ByOrdinal (index 2, to NTDLL.#17), HeapSize (1, to
    // NTDLL.RtlSizeHeap) and Local (0); the base is 10. Then the unnamed
    // ones, once the menu item is checked: @14 (to NTDLL.RtlFreeHeap), @15.
    const std::string forward = TestDir() + "fixforward.dll";
    Find({forward});
    PumpUntilDone();
    ASSERT_EQ(3, Form->ListView->Count());
    TListView &list = *Form->ListView;
    EXPECT_EQ("序数 11（索引 1 + 基数 10）\r\n転送先: NTDLL.RtlSizeHeap", InfoTip(list, 1));
    EXPECT_EQ("序数 10（索引 0 + 基数 10）", InfoTip(list, 2));
    EXPECT_EQ("Local\r\n序数 10（索引 0 + 基数 10）", InfoTip(list, 2, "Local"));  // a cut caption first
    EXPECT_EQ("", InfoTip(list, 3));                                                // no row

    SendMessageA(Form->Handle, WM_COMMAND, Form->MainMenuUnnamed->Id, 0);  // from the menu
    Application.ProcessMessages();
    EXPECT_TRUE(Form->ActionUnnamed->Checked);
    Find({forward});
    PumpUntilDone();
    ASSERT_EQ(5, list.Count());
    EXPECT_EQ("%14", list.ItemText(3, 0));
    EXPECT_EQ("4", list.ItemText(3, 1));
    EXPECT_EQ("序数 14（索引 4 + 基数 10）\r\n転送先: NTDLL.RtlFreeHeap", InfoTip(list, 3));
    EXPECT_EQ("%15", list.ItemText(4, 0));

    // Imports: GetTickCount as usual, then DelayedByName and %7 delay-loaded.
    Form->StartFind(TStringList(1, TestDir() + "fixdelay.exe"), "", true, false);
    PumpUntilDone();
    ASSERT_EQ(3, list.Count());
    EXPECT_EQ("DelayedByName", list.ItemText(1, 0));
    EXPECT_EQ("FIXDELAYED.dll", list.ItemText(1, 2));
    EXPECT_EQ("通常の読み込み", InfoTip(list, 0));
    EXPECT_EQ("遅延読み込み", InfoTip(list, 1));
    EXPECT_EQ("遅延読み込み", InfoTip(list, 2));
}
