#include "app/win32/startup.h"

#include "app/form1.h"
#include "app/win32/form1window.h"
#include "app/win32/win32toolkit.h"

#include <shellapi.h>

#include <string_view>

namespace win32kit {

std::vector<std::wstring> ProgramArguments(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine, &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

void Tell(const std::string& text, bool warning) {
    HANDLE out = GetStdHandle(warning ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    HANDLE console = INVALID_HANDLE_VALUE;
    if ((!out || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) &&
        AttachConsole(ATTACH_PARENT_PROCESS))
        out = console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0, written = 0;
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
        // A console shows UTF-16 whatever its code page; a file or pipe gets UTF-8.
        if (GetConsoleMode(out, &mode)) {
            const std::wstring wide = Widen(text);
            WriteConsoleW(out, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        } else {
            WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
        }
    } else {
        MessageBoxW(nullptr, Widen(text).c_str(), Widen(app::ProgramTitle).c_str(),
                    MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
    }
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
}

bool ReadHandOver(const COPYDATASTRUCT& data, std::vector<std::wstring>& names,
                  std::vector<std::string>& refusedShares) {
    if (data.dwData != HandOverMagic || data.cbData % sizeof(wchar_t) != 0 ||
        (data.cbData != 0 && !data.lpData))
        return false;
    const std::wstring_view all(static_cast<const wchar_t*>(data.lpData),
                                data.cbData / sizeof(wchar_t));
    bool inNames = true;
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find(L'\0', at);
        if (end == std::wstring_view::npos)
            return false;
        const std::wstring_view entry = all.substr(at, end - at);
        at = end + 1;
        if (inNames && entry.empty())
            inNames = false;
        else if (inNames)
            names.emplace_back(entry);
        else
            refusedShares.push_back(Narrow(entry));
    }
    return !inNames;
}

HandedOver HandToRunningWindow(const app::CommandLine& line) {
    const HWND window = FindWindowW(MainWindowClass, nullptr);
    if (!window)
        return HandedOver::NoWindow;
    std::wstring payload;
    for (const std::wstring& name : line.names)
        payload.append(name).push_back(L'\0');
    payload.push_back(L'\0');
    for (const std::string& address : line.refusedShares)
        payload.append(Widen(address)).push_back(L'\0');
    // The running window may come to the front only if this start, in front now, lets it.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data{HandOverMagic, DWORD(payload.size() * sizeof(wchar_t)), payload.data()};
    DWORD_PTR answer = FALSE;
    // A window that answers nothing for long is busy with a run that keeps its events out.
    const bool answered = SendMessageTimeoutW(window, WM_COPYDATA, 0, LPARAM(&data),
                                              SMTO_ABORTIFHUNG, 30000, &answer) != 0;
    return answered && answer == TRUE ? HandedOver::Taken : HandedOver::NotTaken;
}

StartLock::StartLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\Dateimark.Start")) {
    // A start that hangs with the lock held must not keep every later start out.
    if (mutex_ && WaitForSingleObject(mutex_, 10000) == WAIT_TIMEOUT) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}

void StartLock::release() {
    if (!mutex_)
        return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = nullptr;
}

} // namespace win32kit
