// The hints (tool tips) of a window's controls.
#pragma once

#include <windows.h>

#include <string>

namespace win32kit {

/// The hints of a window's controls, in one tool tip window that goes with the window.
class Hints {
public:
    void create(HWND owner, int dpi);
    /// The hint of \p control; the empty text shows none.
    void set(HWND control, const std::string& text);

private:
    HWND tips_ = nullptr;
    HWND owner_ = nullptr;
};

} // namespace win32kit
