#include "app/win32/accesskeys.h"

#include <algorithm>
#include <vector>

namespace win32kit {

namespace {

enum class Role { None, Press, Tick, Label };

Role roleOf(HWND w) {
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    if (lstrcmpiW(cls, L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
        case BS_OWNERDRAW: // a push button that draws its caption itself
            return Role::Press;
        case BS_GROUPBOX:
            return Role::Label;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return Role::Tick;
        default:
            return Role::None;
        }
    }
    if (lstrcmpiW(cls, L"Static") == 0 && !(style & SS_NOPREFIX)) {
        const LONG type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
            type == SS_LEFTNOWORDWRAP)
            return Role::Label;
    }
    return Role::None;
}

wchar_t upper(wchar_t c) {
    CharUpperBuffW(&c, 1);
    return c;
}

// The character after a lone '&' of the caption; 0 for none.
wchar_t accessKeyOf(HWND w) {
    wchar_t text[128] = {};
    GetWindowTextW(w, text, 128);
    for (const wchar_t* p = text; *p; ++p) {
        if (*p != L'&')
            continue;
        if (p[1] != L'&')
            return p[1] ? upper(p[1]) : 0;
        ++p;
    }
    return 0;
}

// Where \p w stands in the tab order: the dialog manager tabs in the order the controls were
// made. A control inside another counts where its outermost parent stands.
int tabIndex(HWND top, HWND w) {
    while (w && GetParent(w) != top)
        w = GetParent(w);
    int i = 0;
    for (HWND c = GetWindow(top, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i)
        if (c == w)
            return i;
    return -1;
}

struct Target {
    HWND control;
    Role role;
};

// The enabled controls that \p key presses, in tab order; a label's key stands for the field
// made right after it.
std::vector<Target> targetsOf(HWND top, wchar_t key) {
    std::vector<Target> found;
    for (HWND w = GetWindow(top, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        const Role role = roleOf(w);
        if (role == Role::None || !IsWindowVisible(w) || accessKeyOf(w) != key)
            continue;
        HWND target = w;
        if (role == Role::Label)
            do
                target = GetWindow(target, GW_HWNDNEXT);
            while (target && !(GetWindowLongW(target, GWL_STYLE) & WS_TABSTOP));
        if (target && IsWindowVisible(target) && IsWindowEnabled(target))
            found.push_back({target, role});
    }
    return found;
}

void press(const Target& target) {
    SetFocus(target.control);
    if (target.role != Role::Label)
        SendMessageW(target.control, BM_CLICK, 0, 0);
}

} // namespace

bool HandleWindowKey(HWND top, const MSG& msg) {
    const HWND focus = GetFocus();
    const bool inside = focus && (focus == top || IsChild(top, focus));
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        if (!inside || roleOf(focus) != Role::Press)
            return false;
        SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
    }
    // Alt and a key anywhere; the key alone on a control that takes no characters (a button).
    const bool alone = msg.message == WM_CHAR && inside &&
                       !(SendMessageW(focus, WM_GETDLGCODE, msg.wParam, LPARAM(&msg)) &
                         (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE | DLGC_HASSETSEL));
    if ((msg.message != WM_SYSCHAR && !alone) || msg.wParam <= L' ')
        return false;
    const std::vector<Target> targets = targetsOf(top, upper(wchar_t(msg.wParam)));
    if (targets.empty())
        return false;
    if (targets.size() == 1) {
        press(targets.front());
        return true;
    }
    // A shared key only moves the focus on: the user sees where it is before pressing it.
    const int at = tabIndex(top, focus);
    auto next = std::find_if(targets.begin(), targets.end(),
                             [&](const Target& t) { return tabIndex(top, t.control) > at; });
    SetFocus((next == targets.end() ? targets.front() : *next).control);
    return true;
}

} // namespace win32kit
