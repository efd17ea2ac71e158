// The status bar's two panels.
#pragma once

#include <windows.h>

#include <string>

namespace win32kit {

/// The statistics panel (1) and the program's status panel (2). A drop reports every path: a
/// panel shows its newest text from the event loop, a few dozen times a second, never while
/// the program keeps the loop out, so that no text shows before the work it reports is done.
class StatusBar {
public:
    /// Takes over the status bar \p bar of \p owner, whose timer \p timer flushes the panels.
    void attach(HWND bar, HWND owner, UINT_PTR timer);
    HWND hwnd() const { return bar_; }

    /// The panel widths at \p dpi.
    void setParts(int dpi);
    /// Panel \p panel (1 or 2) is to show \p text.
    void setText(int panel, const std::string& text);
    void setHint(int panel, const std::string& text);
    /// Shows the newest texts now; the owner calls it on its timer.
    void flush();

private:
    HWND bar_ = nullptr;
    HWND owner_ = nullptr;
    UINT_PTR timer_ = 0;
    bool timerSet_ = false;
    std::wstring text_[2], shown_[2];
};

} // namespace win32kit
