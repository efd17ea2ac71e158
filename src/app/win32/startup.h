// The start of the Windows program: its arguments, what --help and --version say, and the one
// window per user and desktop that a second start hands its names to.
#pragma once

#include "app/commandline.h"

#include <windows.h>

#include <string>
#include <vector>

namespace win32kit {

/// The arguments after the program's name in \p commandLine, as the shell quotes them.
std::vector<std::wstring> ProgramArguments(const wchar_t* commandLine);

/// Says \p text (UTF-8, lines ending in "\n") where the caller reads it: into the redirected
/// output, else into the console of the parent, else in a message box.
void Tell(const std::string& text, bool warning);

/// WM_COPYDATA of a hand-over: dwData is HandOverMagic; the data is UTF-16, each name ended by
/// a NUL, then an empty entry, then each refused share address ended by a NUL. The window
/// answers TRUE when it took the names, FALSE while "&Start" runs.
inline constexpr ULONG_PTR HandOverMagic = 0x444D4E31; // "DMN1"

/// Reads a hand-over; false for data of another layout.
bool ReadHandOver(const COPYDATASTRUCT& data, std::vector<std::wstring>& names,
                  std::vector<std::string>& refusedShares);

enum class HandedOver { NoWindow, Taken, NotTaken };

/// Hands \p line's names to the running window of this user and desktop, if there is one, and
/// brings it to the front.
HandedOver HandToRunningWindow(const app::CommandLine& line);

/// Held from before a start looks for the running window until its own window exists, so that
/// of two quick starts the second finds the first's window.
class StartLock {
public:
    StartLock();
    ~StartLock() { release(); }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;
    void release();

private:
    HANDLE mutex_ = nullptr;
};

} // namespace win32kit
