#include "app/win32/infodialog.h"

#include "app/shellopen.h"
#include "app/win32/resources.h"
#include "app/win32/win32toolkit.h"
#include "info/infolayout.h"
#include "info/infotext.h"

namespace win32kit {

namespace {

constexpr wchar_t InfoClass[] = L"DateimarkInfoForm";
constexpr UINT DpiChanged = 0x02E0; // WM_DPICHANGED, Windows 8.1 and later
// Out of the range of IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr UINT FirstButtonId = 110;
constexpr DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD ExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Room between a button's edge and its caption.
int captionMargin(int dpi) {
    return MulDiv(3, dpi, 96);
}

void place(HWND w, const InfoLayout::Box& box, int dpi) {
    SetWindowPos(w, nullptr, Px(box.left, dpi), Px(box.top, dpi), Px(box.width, dpi),
                 Px(box.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

// Lines joined by a lone carriage return, as the static control breaks them: at CR LF.
std::wstring shownText(const std::string& text) {
    std::wstring shown;
    for (wchar_t c : Widen(text)) {
        shown += c;
        if (c == L'\r')
            shown += L'\n';
    }
    return shown;
}

} // namespace

InfoDialog::InfoDialog(HWND owner, app::Toolkit& toolkit) : owner_(owner), toolkit_(toolkit) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(InfoClass, windowProc, IDI_INFO);
    dialog_ = CreateWindowExW(ExStyle, InfoClass, L"", Style, 0, 0, 100, 100, owner_, nullptr,
                              instance, this);
    circuit_ = LoadBitmapResource(IDB_CIRCUIT);

    const auto child = [&](const wchar_t* cls, const wchar_t* caption, DWORD style, UINT id) {
        return CreateWindowExW(0, cls, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, dialog_,
                               reinterpret_cast<HMENU>(UINT_PTR(id)), instance, nullptr);
    };
    // The picture first: it takes no focus, the buttons follow in tab order.
    picture_ = child(L"STATIC", L"", SS_OWNERDRAW, 0);
    text_ = child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 0);
    line_ = child(L"STATIC", L"", SS_ETCHEDHORZ, 0);
    hints_.create(dialog_, WindowDpi(owner_));
    const auto hints = InfoText::ButtonHints();
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        // No button is the default: Enter presses only the one that has the focus. The dialog
        // draws the captions: a button's own wrapping of a long caption differs between
        // systems and can leave the last line below the edge.
        buttons_[i] = child(L"BUTTON", Widen(InfoLayout::Buttons()[i].caption).c_str(),
                            WS_TABSTOP | BS_OWNERDRAW, FirstButtonId + UINT(i));
        hints_.set(buttons_[i], hints[i]);
    }
    layout(WindowDpi(owner_));
}

InfoDialog::~InfoDialog() {
    if (IsWindow(dialog_))
        DestroyWindow(dialog_); // before the fonts it uses go
}

void InfoDialog::layout(int dpi) {
    RECT frame{0, 0, Px(InfoLayout::Width, dpi), Px(InfoLayout::Height, dpi)};
    AdjustWindowRectEx(&frame, Style, FALSE, ExStyle);
    SetWindowPos(dialog_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    place(picture_, InfoLayout::Picture(), dpi);
    place(text_, InfoLayout::Text(), dpi);
    place(line_, InfoLayout::Line(), dpi);
    textFont_ = MakeFont(dpi, L"Arial", 975, true);
    SendMessageW(text_, WM_SETFONT, WPARAM(textFont_.get()), TRUE);

    const auto& designs = InfoLayout::Buttons();
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        place(buttons_[i], designs[i].box, dpi);
    // The link captions wrap onto up to three lines; below the window's size, the largest font
    // in which every caption fits inside its button, within the button's edges.
    dpi_ = dpi;
    const int margin = captionMargin(dpi);
    for (int size = 700;; size -= 25) {
        buttonFont_ = MakeFont(dpi, L"Microsoft Sans Serif", size, false);
        bool fits = true;
        for (const auto& design : designs) {
            const SIZE needed = TextExtent(buttonFont_.get(), Widen(design.caption),
                                           Px(design.box.width, dpi) - 2 * margin);
            fits = fits && needed.cy <= Px(design.box.height, dpi) - 2 * margin;
        }
        if (fits || size <= 400)
            break;
    }
    for (HWND button : buttons_)
        SendMessageW(button, WM_SETFONT, WPARAM(buttonFont_.get()), TRUE);
}

void InfoDialog::show(const std::string& name, const std::string& description) {
    SetWindowTextW(dialog_, Widen(InfoText::Caption(name)).c_str());
    SetWindowTextW(text_, shownText(InfoText::Text(name, description)).c_str());
    RECT owner, dialog;
    GetWindowRect(owner_, &owner);
    GetWindowRect(dialog_, &dialog);
    SetWindowPos(dialog_, nullptr,
                 owner.left + ((owner.right - owner.left) - (dialog.right - dialog.left)) / 2,
                 owner.top + ((owner.bottom - owner.top) - (dialog.bottom - dialog.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    // Modal: the main window waits until the dialog is closed. The first focus is on the
    // dialog itself, so that Enter in the freshly opened dialog starts nothing.
    EnableWindow(owner_, FALSE);
    ShowWindow(dialog_, SW_SHOW);
    SetFocus(dialog_);
    MSG msg{};
    while (IsWindowVisible(dialog_) && GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    if (msg.message == WM_QUIT)
        PostQuitMessage(int(msg.wParam));
    EnableWindow(owner_, TRUE);
    SetActiveWindow(owner_);
}

void InfoDialog::drawButton(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = item.itemState & ODS_SELECTED;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    wchar_t caption[128] = {};
    GetWindowTextW(item.hwndItem, caption, 128);
    // Measured and drawn in the same width: the lines break where the fitting found them.
    RECT area = r;
    InflateRect(&area, -captionMargin(dpi_), -captionMargin(dpi_));
    if (pushed)
        OffsetRect(&area, 1, 1);
    const HGDIOBJ old = SelectObject(dc, buttonFont_.get());
    const UINT flags =
        DT_WORDBREAK | DT_CENTER | (item.itemState & ODS_NOACCEL ? DT_HIDEPREFIX : 0);
    RECT needed = area;
    DrawTextW(dc, caption, -1, &needed, flags | DT_CALCRECT);
    area.top += ((area.bottom - area.top) - (needed.bottom - needed.top)) / 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(dc, caption, -1, &area, flags);
    SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

LRESULT CALLBACK InfoDialog::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<InfoDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->dialog_)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

LRESULT InfoDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const UINT index = LOWORD(wParam) - FirstButtonId;
        if (index < 3)
            shell::ShellOpen(toolkit_, InfoText::LinkTargets()[index], app::ShowNormal);
        else if (index == 3 || LOWORD(wParam) == IDCANCEL) // the close button, Escape
            ShowWindow(dialog_, SW_HIDE);
        // Enter with no button focused (IDOK) starts nothing.
        return 0;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType == ODT_BUTTON)
            drawButton(item);
        else if (circuit_.get())
            DrawPicture(item, circuit_.get(), true);
        return TRUE;
    }
    case DpiChanged: {
        const RECT& suggested = *reinterpret_cast<RECT*>(lParam);
        SetWindowPos(dialog_, nullptr, suggested.left, suggested.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        layout(HIWORD(wParam));
        return 0;
    }
    case WM_CLOSE:
        ShowWindow(dialog_, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(dialog_, message, wParam, lParam);
    }
}

} // namespace win32kit
