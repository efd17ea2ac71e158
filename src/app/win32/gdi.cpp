#include "app/win32/gdi.h"

namespace win32kit {

void RegisterWindowClass(const wchar_t* name, WNDPROC proc, int iconId) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    // Shared: the class keeps them as long as the program runs.
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconId));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

int WindowDpi(HWND hwnd) {
    // GetDpiForWindow is there from Windows 10 on; before, the screen's one setting counts.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (auto f = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32"), "GetDpiForWindow"))))
        if (const UINT dpi = f(hwnd))
            return int(dpi);
    const HDC dc = GetDC(hwnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hwnd, dc);
    return dpi > 0 ? dpi : 96;
}

Font MakeFont(int dpi, const wchar_t* face, int hundredthsOfPoint, bool bold) {
    return Font(CreateFontW(-MulDiv(hundredthsOfPoint, dpi, 7200), 0, 0, 0,
                            bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, face));
}

Bitmap LoadBitmapResource(int id) {
    return Bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

Cursor LoadCursorResource(int id) {
    return Cursor(static_cast<HCURSOR>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                  IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE)));
}

Icon LoadIconResource(int id, int size) {
    return Icon(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
}

SIZE TextExtent(HFONT font, std::wstring_view text, int width) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, width > 0 ? width : 0x7FFF, 0};
    DrawTextW(dc, text.data(), int(text.size()), &r,
              DT_CALCRECT | (width > 0 ? DT_WORDBREAK | DT_CENTER : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
}

void DrawPicture(const DRAWITEMSTRUCT& item, HBITMAP picture, bool fillHeight) {
    BITMAP info{};
    GetObjectW(picture, sizeof info, &info);
    RECT r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (fillHeight)
        DrawEdge(item.hDC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (info.bmHeight == 0)
        return;
    const HDC source = CreateCompatibleDC(item.hDC);
    const HGDIOBJ old = SelectObject(source, picture);
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    const int height = r.bottom - r.top;
    int width = r.right - r.left, left = r.left;
    if (fillHeight) {
        width = MulDiv(info.bmWidth, height, info.bmHeight);
        left = r.left + ((r.right - r.left) - width) / 2;
    }
    const HRGN clip = CreateRectRgnIndirect(&r);
    SelectClipRgn(item.hDC, clip);
    StretchBlt(item.hDC, left, r.top, width, height, source, 0, 0, info.bmWidth, info.bmHeight,
               SRCCOPY);
    SelectClipRgn(item.hDC, nullptr);
    DeleteObject(clip);
    SelectObject(source, old);
    DeleteDC(source);
}

} // namespace win32kit
