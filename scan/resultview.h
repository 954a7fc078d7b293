// FIResultView: where a search worker's hand-offs land on the user interface
// thread (the result list and the status bar of the main window).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class FIResultView {
public:
    // Empties the result list, repainting once.
    virtual void ClearRows() = 0;
    // Sets the status bar's simple text.
    virtual void SetStatusText(const std::string &text) = 0;
    // Appends one row at the end: caption, then the three sub-items (the
    // number in decimal), and the row's info tip. The texts are copied
    // before it returns.
    virtual void AppendRow(std::string_view name, int32_t number, std::string_view fileName, std::string_view path,
                           std::string_view tip) = 0;

protected:
    ~FIResultView() = default;
};
