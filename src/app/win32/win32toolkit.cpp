#include "app/win32/win32toolkit.h"

#include <shellapi.h>

namespace win32kit {

std::wstring Widen(std::string_view text) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

namespace {

HHOOK boxHook = nullptr;

// The system's message box speaks the language of the Windows it runs on; ours is German
// everywhere. The box's buttons are renamed as it is activated.
LRESULT CALLBACK renameButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDYES, L"&Ja");
        SetDlgItemTextW(box, IDNO, L"&Nein");
        SetDlgItemTextW(box, IDOK, L"OK");
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
        return 0;
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

} // namespace

app::MessageAnswer Win32Toolkit::messageBox(const std::string& text,
                                                 app::MessageStyle style,
                                                 const std::string& title) {
    // Lines are joined by a lone carriage return; the box breaks lines at CR LF.
    std::wstring shown;
    for (wchar_t c : Widen(text)) {
        shown += c;
        if (c == L'\r')
            shown += L'\n';
    }
    UINT type = MB_APPLMODAL;
    switch (style) {
    case app::MessageStyle::OkInformation:
        type |= MB_OK | MB_ICONINFORMATION;
        break;
    case app::MessageStyle::OkPlain:
        type |= MB_OK;
        break;
    case app::MessageStyle::YesNoStop:
        type |= MB_YESNO | MB_ICONSTOP | MB_DEFBUTTON1;
        break;
    }
    boxHook = SetWindowsHookExW(WH_CBT, renameButtons, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner_, shown.c_str(), Widen(title).c_str(), type);
    if (boxHook) {
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    if (style != app::MessageStyle::YesNoStop)
        return app::MessageAnswer::Ok;
    return answer == IDYES ? app::MessageAnswer::Yes : app::MessageAnswer::No;
}

void Win32Toolkit::beep() {
    MessageBeep(MB_OK);
}

void Dispatch(MSG& msg) {
    const HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && IsDialogMessageW(top, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Toolkit::yield() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The main loop must see it too.
            PostQuitMessage(int(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

void Win32Toolkit::later(std::function<void()> work) {
    posted_.push_back(std::move(work));
    PostMessageW(owner_, PostedWork, 0, 0);
}

void Win32Toolkit::runPosted() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

void Win32Toolkit::shellOpen(const std::string& target, int showCommand) {
    ShellExecuteW(owner_, L"open", Widen(target).c_str(), nullptr, nullptr, showCommand);
}

} // namespace win32kit
