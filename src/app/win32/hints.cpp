#include "app/win32/hints.h"

#include "app/win32/gdi.h"
#include "app/win32/win32toolkit.h"

#include <commctrl.h>

namespace win32kit {

void Hints::create(HWND owner, int dpi) {
    owner_ = owner;
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, Px(6000, dpi));
}

void Hints::set(HWND control, const std::string& text) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner_;
    tool.uId = UINT_PTR(control);
    SendMessageW(tips_, TTM_DELTOOLW, 0, LPARAM(&tool));
    if (text.empty())
        return;
    std::wstring wide = Widen(text);
    tool.lpszText = wide.data();
    SendMessageW(tips_, TTM_ADDTOOLW, 0, LPARAM(&tool));
}

} // namespace win32kit
