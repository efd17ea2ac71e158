#include "app/win32/controlfactory.h"

#include "app/win32/gdi.h"
#include "app/win32/win32toolkit.h"

#include <commctrl.h>

#include <algorithm>

namespace win32kit {

namespace {

bool takesFocus(const app::ControlSpec& design) {
    return design.tab >= 0 && design.kind != app::Kind::Frame && design.kind != app::Kind::Label;
}

// The order of making: -1 for what takes no focus; the tab position doubled, and a label one
// below the field that follows it in the table.
int rankOf(std::span<const app::ControlSpec> table, std::size_t i) {
    if (takesFocus(table[i]))
        return 2 * table[i].tab + 1;
    if (table[i].kind == app::Kind::Label)
        for (std::size_t j = i + 1; j < table.size(); ++j)
            if (takesFocus(table[j]))
                return 2 * table[j].tab;
    return -1;
}

struct WindowKind {
    const wchar_t* cls;
    DWORD style, exStyle;
};

WindowKind kindOf(const app::ControlSpec& design) {
    switch (design.kind) {
    case app::Kind::Frame:
        return {L"BUTTON", BS_GROUPBOX, 0};
    case app::Kind::Divider:
        return {L"STATIC", SS_ETCHEDVERT, 0};
    case app::Kind::List:
        return {WC_LISTVIEWW, LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP,
                WS_EX_CLIENTEDGE};
    case app::Kind::Button:
        return {L"BUTTON", BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 0}; // tells its focus
    case app::Kind::TriStateBox: // the logic decides the next state
        return {L"BUTTON", BS_3STATE | WS_TABSTOP, 0};
    case app::Kind::CheckBox: // a box two lines high wraps its caption
        return {L"BUTTON",
                DWORD(BS_AUTOCHECKBOX | WS_TABSTOP | (design.height >= 2 * 195 ? BS_MULTILINE : 0)),
                0};
    case app::Kind::TextBox:
        return {L"EDIT", ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case app::Kind::Label:
        return {L"STATIC", SS_RIGHT, 0};
    case app::Kind::ProgressBar:
        return {PROGRESS_CLASSW, 0, 0};
    case app::Kind::Picture:
        return {L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};
    case app::Kind::StatusBar:
        return {STATUSCLASSNAMEW, SBARS_TOOLTIPS, 0};
    }
    return {L"STATIC", 0, 0};
}

} // namespace

std::vector<MadeControl> MakeControls(HWND parent, UINT firstId) {
    const auto table = app::Controls();
    std::vector<std::size_t> order(table.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return rankOf(table, a) < rankOf(table, b);
    });
    std::vector<MadeControl> made;
    UINT id = firstId;
    for (std::size_t i : order) {
        const app::ControlSpec& design = table[i];
        const WindowKind kind = kindOf(design);
        const HWND w = CreateWindowExW(kind.exStyle, kind.cls, Widen(design.caption).c_str(),
                                       WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0, parent,
                                       reinterpret_cast<HMENU>(UINT_PTR(id)),
                                       GetModuleHandleW(nullptr), nullptr);
        if (design.maxLength > 0)
            SendMessageW(w, EM_LIMITTEXT, WPARAM(design.maxLength), 0);
        made.push_back({&design, w, id++});
    }
    return made;
}

void PlaceControl(const MadeControl& control, int dpi, HFONT font, HFONT bold) {
    const app::ControlSpec& design = *control.design;
    const HFONT own = design.bold ? bold : font;
    if (design.kind == app::Kind::StatusBar) {
        SendMessageW(control.hwnd, WM_SETFONT, WPARAM(own), TRUE);
        SendMessageW(control.hwnd, WM_SIZE, 0, 0); // docks itself at the bottom
        return;
    }
    // Group boxes hold no children on Win32: what they contain is placed in the window.
    int left = design.left, top = design.top, roomTo = design.roomTo;
    if (!design.container.empty()) {
        const app::ControlSpec& frame = app::Control(design.container);
        left += frame.left;
        top += frame.top;
        roomTo += frame.left;
    }
    RECT r{Px(left, dpi), Px(top, dpi), Px(left + design.width, dpi), Px(top + design.height, dpi)};
    if (design.kind == app::Kind::Label || design.roomTo > 0) {
        // A check box's caption starts after its box and a gap.
        const int beside = design.kind == app::Kind::Label ? 2 : MulDiv(18, dpi, 96);
        const int needed = int(TextExtent(own, Widen(design.caption)).cx) + beside;
        if (design.kind == app::Kind::Label)
            r.left = std::min(r.left, r.right - needed);
        else
            r.right = std::max(r.right, std::min(r.left + needed, LONG(Px(roomTo, dpi))));
    }
    SetWindowPos(control.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // After the size: a text box sets its margins from the font for the width it has then.
    SendMessageW(control.hwnd, WM_SETFONT, WPARAM(own), TRUE);
}

} // namespace win32kit
