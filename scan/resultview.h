// FIResultView: where a search worker's hand-offs land on the user interface
// thread (the result list and the status bar of the main window).
#pragma once

#include <string>

class FIResultView {
public:
    // Empties the result list, repainting once.
    virtual void ClearRows() = 0;
    // Sets the status bar's simple text.
    virtual void SetStatusText(const std::string &text) = 0;
    // Appends one row at the end: caption, then the three sub-items (taken
    // by value: a row keeps its texts, and temporaries move in).
    virtual void AppendRow(std::string name, std::string number, std::string fileName,
                           std::string path) = 0;

protected:
    ~FIResultView() = default;
};
