// Edit box, memo, label, drop-down list, status bar and the file-open dialog.
#pragma once

#include "framework/control.h"
#include "framework/textutil.h"

class TEdit : public TControl {
public:
    void CreateHandle() override;
    // The typed character; setting it to 0 swallows it (no insert, no beep).
    std::function<void(TEdit &, char &key)> OnKeyPress;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// A multi-line edit box that wraps its lines; its text is Caption at first.
class TMemo : public TControl {
public:
    void CreateHandle() override;
    bool ReadOnly = false;
    bool VertScrollBar = false;
    bool Border = true;
};

enum class TAlignment { Left, Center, Right };

// A line of static text. With AutoSize it takes the size of its text, and a
// right-aligned one keeps its right edge, growing to the left.
class TLabel : public TControl {
public:
    void CreateHandle() override;
    void SetText(const std::string &text) override;
    TAlignment Alignment = TAlignment::Left;
    bool AutoSize = false;

private:
    void AdjustBounds();
};

class TComboBox : public TControl {
public:
    void CreateHandle() override;
    void AddItem(const std::string &text);
    int Count() const;
    int ItemIndex() const;  // -1: no selection
    void SetItemIndex(int index);
    int ItemHeight = 12;
};

class TStatusBar : public TControl {
public:
    void CreateHandle() override;
    // The one simple panel's text: the last one set, held or shown.
    void SetSimpleText(const std::string &text);
    std::string SimpleText() const;
    // While held, a text set reaches the control (which repaints) only at
    // ShowText: under Wine each text set costs tens of microseconds even
    // with the repaint suspended. Releasing shows the last text.
    void HoldText(bool hold);
    void ShowText();

private:
    bool FHeld = false;
    bool FPending = false;
    std::string FText;  // the pending text
};

class TOpenDialog : public TComponent {
public:
    // "text|pattern|text|pattern..." as the filter of the dialog.
    std::string Filter;
    std::string InitialDir;
    // Shows the dialog; true with the chosen files' full paths in Files.
    bool Execute(HWND owner);
    TStringList Files;
};
