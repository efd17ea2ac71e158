// The Windows program: the main window on Win32 and its common controls.
#include "app/win32/form1window.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
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
        ShowWindow(window.hwnd(), show);
        UpdateWindow(window.hwnd());
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            win32kit::Dispatch(msg);
        result = int(msg.wParam);
    }
    OleUninitialize();
    return result;
}
