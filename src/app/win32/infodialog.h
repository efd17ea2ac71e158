// The info dialog on Win32: what the program is, who made it and on what terms it may be used,
// with three link buttons and a close button, laid out from the shared table in twips.
#pragma once

#include "app/toolkit.h"
#include "app/win32/gdi.h"
#include "app/win32/hints.h"

#include <windows.h>

#include <array>
#include <string>

namespace win32kit {

class InfoDialog {
public:
    /// Made hidden, owned by \p owner; the link buttons open their targets through \p toolkit.
    InfoDialog(HWND owner, app::Toolkit& toolkit);
    ~InfoDialog();
    InfoDialog(const InfoDialog&) = delete;
    InfoDialog& operator=(const InfoDialog&) = delete;

    HWND hwnd() const { return dialog_; }
    /// Sets the caption and text for \p name, shows the dialog modally over its owner and
    /// returns once it is closed.
    void show(const std::string& name, const std::string& description);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Places every part for \p dpi and gives the buttons the largest font their captions fit
    // in, so that no caption is cut at the bottom.
    void layout(int dpi);
    void drawButton(const DRAWITEMSTRUCT& item) const;

    HWND owner_;
    app::Toolkit& toolkit_;
    HWND dialog_ = nullptr;
    int dpi_ = 96;
    HWND text_ = nullptr;
    HWND picture_ = nullptr;
    HWND line_ = nullptr;
    std::array<HWND, 4> buttons_{};
    Font textFont_, buttonFont_;
    Bitmap circuit_;
    Hints hints_;
};

} // namespace win32kit
