// The Windows program: the main window on Win32 and its common controls. Names on the command
// line are dropped on the list; a second start hands them to the window already open.
#include "app/win32/form1window.h"
#include "app/win32/startup.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    using app::CommandLine;
    const CommandLine line = app::ReadCommandLine(win32kit::ProgramArguments(GetCommandLineW()));
    switch (line.action) {
    case CommandLine::Action::Help:
        win32kit::Tell(app::UsageText(), false);
        return 0;
    case CommandLine::Action::Version:
        win32kit::Tell(std::string(app::ProgramTitle) + "\n", false);
        return 0;
    case CommandLine::Action::Refuse:
        win32kit::Tell("Unbekannte Option: " + line.refusedOption + "\n\n" + app::UsageText(),
                       true);
        return 2;
    case CommandLine::Action::Open:
        break;
    }
    win32kit::StartLock lock;
    switch (win32kit::HandToRunningWindow(line)) {
    case win32kit::HandedOver::Taken:
        return 0;
    case win32kit::HandedOver::NotTaken:
        MessageBoxW(nullptr, win32kit::Widen(app::HandOverRefusedText).c_str(),
                    win32kit::Widen(app::ProgramTitle).c_str(), MB_OK | MB_ICONINFORMATION);
        return 1;
    case win32kit::HandedOver::NoWindow:
        break;
    }

    // Drops of the shell arrive through OLE.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC =
        ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
    int result = 0;
    {
        win32kit::Win32Toolkit toolkit;
        win32kit::Form1Window window(toolkit);
        lock.release(); // a later start finds this window now
        ShowWindow(window.hwnd(), show);
        UpdateWindow(window.hwnd());
        if (!line.names.empty() || !line.refusedShares.empty())
            window.logic().HandOver(line.names, line.refusedShares);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            win32kit::Dispatch(msg);
        result = int(msg.wParam);
    }
    OleUninitialize();
    return result;
}
