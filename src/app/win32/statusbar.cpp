#include "app/win32/statusbar.h"

#include "app/controls.h"
#include "app/win32/gdi.h"
#include "app/win32/win32toolkit.h"

#include <commctrl.h>

namespace win32kit {

namespace {

constexpr UINT FlushInterval = 40; // ms

} // namespace

void StatusBar::attach(HWND bar, HWND owner, UINT_PTR timer) {
    bar_ = bar;
    owner_ = owner;
    timer_ = timer;
}

void StatusBar::setParts(int dpi) {
    const int parts[2] = {Px(app::StatisticsPanelWidth, dpi), -1};
    SendMessageW(bar_, SB_SETPARTS, 2, LPARAM(parts));
}

void StatusBar::setText(int panel, const std::string& text) {
    text_[panel == 1 ? 0 : 1] = Widen(text);
    if (!timerSet_)
        timerSet_ = SetTimer(owner_, timer_, FlushInterval, nullptr) != 0;
}

void StatusBar::flush() {
    for (int part = 0; part < 2; ++part) {
        if (text_[part] == shown_[part])
            continue;
        shown_[part] = text_[part];
        SendMessageW(bar_, SB_SETTEXTW, WPARAM(part), LPARAM(shown_[part].c_str()));
    }
    if (timerSet_)
        KillTimer(owner_, timer_);
    timerSet_ = false;
}

void StatusBar::setHint(int panel, const std::string& text) {
    SendMessageW(bar_, SB_SETTIPTEXTW, WPARAM(panel - 1), LPARAM(Widen(text).c_str()));
}

} // namespace win32kit
