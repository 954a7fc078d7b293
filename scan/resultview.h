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
    // Appends one row at the end: caption, then the three sub-items.
    virtual void AppendRow(const std::string &name, const std::string &number,
                           const std::string &fileName, const std::string &path) = 0;

protected:
    ~FIResultView() = default;
};
