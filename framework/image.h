// A picture control: one icon, drawn centred or at the top left, with a
// click event.
#pragma once

#include "framework/control.h"

class TImage : public TControl {
public:
    void CreateHandle() override;
    // The icon is not owned: icons from LoadIcon are shared by the system.
    void SetIcon(HICON icon);
    HICON Icon() const { return FIcon; }
    bool Center = false;
    // A press and release of the left button inside the picture.
    std::function<void(TImage &)> OnClick;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    HICON FIcon = nullptr;
};
