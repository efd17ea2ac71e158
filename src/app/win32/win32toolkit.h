// The toolkit services of the Windows program: message boxes owned by the main window with
// German buttons on a Windows of any language, the beep, yields, work posted for later or after
// a pause, the collation of texts, the shell's "open", and the message loop's one dispatch.
#pragma once

#include "app/toolkit.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace win32kit {

/// UTF-8 and the system's UTF-16, both ways.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

class Win32Toolkit : public app::Toolkit {
public:
    /// The main window: it owns every box and receives the posted work and the timers.
    void setOwner(HWND owner) { owner_ = owner; }
    HWND owner() const { return owner_; }

    app::MessageAnswer messageBox(const std::string& text, app::MessageStyle style,
                                  const std::string& title) override;
    void beep() override;
    void yield() override;
    void later(std::function<void()> work) override;
    void after(int milliseconds, std::function<void()> work) override;
    std::unique_ptr<app::SortKeys>
    sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) override;
    app::OpenResult shellOpen(const std::string& target, int showCommand) override;

    /// Runs the work posted so far; the main window calls it on PostedWork.
    void runPosted();
    /// Runs the work of timer \p id, once; false for a timer that is not the toolkit's.
    bool runTimer(UINT_PTR id);
    /// The message that tells the main window to run the posted work.
    static constexpr UINT PostedWork = WM_APP + 1;

private:
    HWND owner_ = nullptr;
    std::deque<std::function<void()>> posted_;
    std::map<UINT_PTR, std::function<void()>> timed_;
    UINT_PTR nextTimer_ = 0x100; // below are the windows' own timers
};

/// Hands \p msg to the window's own keys (access keys, Enter), else to the dialog manager of
/// its top window (Tab), else dispatches it. Every message loop of the program goes through it.
void Dispatch(MSG& msg);

/// Drops the mouse and keyboard messages still queued that arrived at \p since (GetTickCount)
/// or later: input made while the program kept the event loop out is never carried out later,
/// on controls that may have changed in between.
void DiscardInputSince(DWORD since);

} // namespace win32kit
