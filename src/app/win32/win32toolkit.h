// The toolkit services of the Windows program: message boxes owned by the main window with
// German buttons on a Windows of any language, the beep, yields, work posted for later, and
// the shell's "open".
#pragma once

#include "app/toolkit.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace win32kit {

/// UTF-8 and the system's UTF-16, both ways.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

class Win32Toolkit : public app::Toolkit {
public:
    /// The main window: it owns every box and receives the posted work.
    void setOwner(HWND owner) { owner_ = owner; }
    HWND owner() const { return owner_; }

    app::MessageAnswer messageBox(const std::string& text, app::MessageStyle style,
                                       const std::string& title) override;
    void beep() override;
    void yield() override;
    void later(std::function<void()> work) override;
    void shellOpen(const std::string& target, int showCommand) override;

    /// Runs the work posted so far; the main window calls it on PostedWork.
    void runPosted();
    /// The message that tells the main window to run the posted work.
    static constexpr UINT PostedWork = WM_APP + 1;

private:
    HWND owner_ = nullptr;
    std::deque<std::function<void()>> posted_;
};

/// Hands \p msg to the dialog manager of the active window (Tab, access keys) or dispatches it.
void Dispatch(MSG& msg);

} // namespace win32kit
