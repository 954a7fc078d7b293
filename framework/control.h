// Components and controls: the objects a form is built of. A control owns
// one window; the form lays its controls out by alignment.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TForm;

enum class TAlign { None, Top, Bottom, Left, Right, Client };
enum class TBevel { None, Lowered, Raised };

class TComponent {
public:
    virtual ~TComponent() = default;
    std::string Name;
    int Tag = 0;  // free for the program's use
    TForm *Owner = nullptr;
};

class TControl : public TComponent {
public:
    ~TControl() override;

    // Creates the window as a child of Parent (or top-level when Parent is
    // null); the form calls it once, parents first.
    virtual void CreateHandle() = 0;
    // Lays the children out: aligned ones in table order from their edge
    // inwards (top, bottom, left, right, then client), the others where
    // their bounds put them, stretched when they keep a right margin.
    void Realign();
    // The area the children share, in client coordinates.
    virtual RECT ChildArea() const;
    // Places the window (its current bounds) and lays out its children. The
    // preferred bounds below stay as they are: a layout may clip a control,
    // never its preference.
    void SetBounds(int left, int top, int width, int height);
    // Messages reflected from the parent window: WM_COMMAND and WM_NOTIFY.
    virtual bool HandleCommand(WORD /*id*/, WORD /*code*/) { return false; }
    virtual bool HandleNotify(NMHDR *, LRESULT &) { return false; }

    static TControl *FromHandle(HWND handle);
    // Brackets changes that should repaint once: the window does not
    // redraw until the outermost bracket ends, then repaints whole.
    void BeginUpdate();
    void EndUpdate();
    // Leaves the object map (restoring a subclassed window's own procedure):
    // no message reaches this object any more.
    void Detach();

    HWND Handle = nullptr;
    TControl *Parent = nullptr;
    std::vector<TControl *> Children;
    TAlign Align = TAlign::None;
    // Preferred bounds: the design's, or the user's (a splitter's drag).
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int RightMargin = -1;  // >= 0: stretches, keeping this margin on the right
    bool TabStop = false;
    HFONT Font = nullptr;  // not owned
    COLORREF FontColor = CLR_INVALID;  // CLR_INVALID: the system's text colour
    int Color = -1;                    // background, a system colour index; -1: the default
    // The window text it is created with.
    std::string Caption;

    // The window text, as the window holds it now.
    std::string Text() const;
    virtual void SetText(const std::string &text);

protected:
    // Attaches this object to its window and sets the font.
    void Attach(HWND handle);
    // Creates a window of a system class as a child of Parent.
    HWND CreateChild(const char *className, DWORD style, DWORD exStyle = 0, const char *text = "");
    // Routes the messages of a system control through WndProc (subclass).
    void Subclass();
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
    // Sends reflected WM_COMMAND and WM_NOTIFY to the child that sent them,
    // and applies a child's own colours when it asks for them (WM_CTLCOLOR*).
    bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT &result);

    // For windows of our own classes (form, panel, splitter).
    static LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static const char *OwnClass(UINT style = 0);
    // Registers a class of ours under name, unless it exists.
    static void RegisterOwnClass(const char *name, UINT style, HICON icon);

private:
    // The procedure of every window with an object: ours and subclassed ones.
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    WNDPROC FOriginalProc = nullptr;
    int FUpdates = 0;
};

// A plain container with optional bevels: the outer one at the edge, then
// a border of the panel's colour, then the inner one.
class TPanel : public TControl {
public:
    void CreateHandle() override;
    RECT ChildArea() const override;
    TBevel BevelInner = TBevel::None;
    TBevel BevelOuter = TBevel::None;
    int BevelWidth = 1;   // pixels, each bevel
    int BorderWidth = 0;  // pixels between the bevels

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    // Pixels from the edge to the children's area.
    int FrameWidth() const;
};

// A bar that sets the width of its control while dragged (live), never
// letting it or the space beside it shrink below MinSize.
class TSplitter : public TControl {
public:
    void CreateHandle() override;
    TControl *Control = nullptr;
    int MinSize = 30;
    bool Beveled = true;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    int FDownX = 0;
    int FStartWidth = 0;
    bool FDragging = false;
};
