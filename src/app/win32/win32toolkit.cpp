#include "app/win32/win32toolkit.h"

#include "app/win32/accesskeys.h"

#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <vector>

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
HWND boxOwner = nullptr;

// The system's message box speaks the language of the Windows it runs on; ours is German
// everywhere. The box's buttons are renamed as it is activated, and it stands over the middle of
// its owner, as the info dialog does, not of the screen.
LRESULT CALLBACK renameButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDYES, L"&Ja");
        SetDlgItemTextW(box, IDNO, L"&Nein");
        SetDlgItemTextW(box, IDOK, L"OK");
        RECT owner, frame;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (boxOwner && IsWindowVisible(boxOwner) && !IsIconic(boxOwner) &&
            GetWindowRect(boxOwner, &owner) && GetWindowRect(box, &frame) &&
            GetMonitorInfoW(MonitorFromWindow(boxOwner, MONITOR_DEFAULTTONEAREST), &monitor)) {
            const RECT& work = monitor.rcWork; // all of it on the owner's screen
            const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
            const LONG x = (owner.left + owner.right - w) / 2,
                       y = (owner.top + owner.bottom - h) / 2;
            SetWindowPos(box, nullptr,
                         std::clamp(x, work.left, std::max(work.left, work.right - w)),
                         std::clamp(y, work.top, std::max(work.top, work.bottom - h)), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
        return 0;
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

} // namespace

app::MessageAnswer Win32Toolkit::messageBox(const std::string& text, app::MessageStyle style,
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
    boxOwner = owner_;
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
    if (top && (HandleWindowKey(top, msg) || IsDialogMessageW(top, &msg)))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void DiscardInputSince(DWORD since) {
    constexpr std::pair<UINT, UINT> input[] = {{WM_KEYFIRST, WM_KEYLAST},
                                               {WM_MOUSEFIRST, WM_MOUSELAST},
                                               {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    // Queued input comes out oldest first: what came before the busy time stays queued.
    for (const auto& [first, last] : input) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, first, last, PM_NOREMOVE) && LONG(msg.time - since) >= 0)
            PeekMessageW(&msg, nullptr, first, last, PM_REMOVE);
    }
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

void Win32Toolkit::after(int milliseconds, std::function<void()> work) {
    const UINT_PTR id = nextTimer_++;
    timed_[id] = std::move(work);
    SetTimer(owner_, id, UINT(milliseconds), nullptr);
}

bool Win32Toolkit::runTimer(UINT_PTR id) {
    auto it = timed_.find(id);
    if (it == timed_.end())
        return false;
    KillTimer(owner_, id);
    auto work = std::move(it->second);
    timed_.erase(it);
    work();
    return true;
}

void Win32Toolkit::runPosted() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

namespace {

// Keys of the user's locale, ignoring case, compared as bytes. One buffer holds them all: a
// million small strings would cost more than the keys.
class CollationKeys : public app::SortKeys {
public:
    CollationKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf)
        : start_(count + 1) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::wstring text = Widen(textOf(i));
            start_[i] = keys_.size();
            // One call where the key fits the room a text's key usually takes; two otherwise.
            int size = int(text.size()) * 8 + 16;
            keys_.resize(start_[i] + std::size_t(size));
            size = mapInto(text, start_[i], size);
            if (size == 0) {
                size = mapInto(text, start_[i], 0);
                keys_.resize(start_[i] + std::size_t(std::max(size, 0)));
                mapInto(text, start_[i], size);
            }
            keys_.resize(start_[i] + std::size_t(std::max(size, 0)));
        }
        start_[count] = keys_.size();
    }
    bool less(std::size_t a, std::size_t b) const override { return key(a) < key(b); }

private:
    static constexpr DWORD Flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    // The key of \p text into keys_ at \p at, \p room bytes; its size, or 0 where it does
    // not fit (with no room: the size it needs).
    int mapInto(const std::wstring& text, std::size_t at, int room) {
        return LCMapStringEx(LOCALE_NAME_USER_DEFAULT, Flags, text.c_str(), int(text.size()),
                             room ? reinterpret_cast<LPWSTR>(keys_.data() + at) : nullptr, room,
                             nullptr, nullptr, 0);
    }
    std::string_view key(std::size_t i) const {
        return std::string_view(keys_.data() + start_[i], start_[i + 1] - start_[i]);
    }
    std::string keys_;
    std::vector<std::size_t> start_;
};

} // namespace

std::unique_ptr<app::SortKeys>
Win32Toolkit::sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) {
    return std::make_unique<CollationKeys>(count, textOf);
}

app::OpenResult Win32Toolkit::shellOpen(const std::string& target, int showCommand) {
    const auto result = INT_PTR(
        ShellExecuteW(owner_, L"open", Widen(target).c_str(), nullptr, nullptr, showCommand));
    return result > 32                                    ? app::OpenResult::Opened
           : result == SE_ERR_FNF || result == SE_ERR_PNF ? app::OpenResult::NotFound
           : result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE
               ? app::OpenResult::NoProgram
               : app::OpenResult::Failed;
}

} // namespace win32kit
