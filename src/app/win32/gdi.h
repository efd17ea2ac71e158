// Owners of the GDI and USER handles the windows make, and the few drawing helpers they share.
// Every font, bitmap, brush, cursor and icon made here is freed exactly once, when its owner
// goes; shared system handles (LoadCursorW(nullptr, …), GetSysColorBrush) are never owned.
#pragma once

#include <windows.h>

#include <string_view>
#include <utility>

namespace win32kit {

template <typename Handle, auto Free> class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    void reset(Handle handle = nullptr) {
        if (handle_)
            Free(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

using Font = Owned<HFONT, DeleteObject>;
using Bitmap = Owned<HBITMAP, DeleteObject>;
using Brush = Owned<HBRUSH, DeleteObject>;
using Cursor = Owned<HCURSOR, DestroyCursor>;
using Icon = Owned<HICON, DestroyIcon>;

/// Pixels for a length in twips at \p dpi dots per inch.
inline int Px(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

/// Registers the window class \p name of the program's top windows: the face colour behind,
/// the arrow pointer, the program's icon \p iconId. Again for a name known: nothing changes.
void RegisterWindowClass(const wchar_t* name, WNDPROC proc, int iconId);

/// The dots per inch of the screen \p hwnd is on.
int WindowDpi(HWND hwnd);

/// A font of \p hundredthsOfPoint (825: 8.25 pt) at \p dpi.
Font MakeFont(int dpi, const wchar_t* face, int hundredthsOfPoint, bool bold);

/// A resource of the program's own module, owned by the caller.
Bitmap LoadBitmapResource(int id);
Cursor LoadCursorResource(int id);
Icon LoadIconResource(int id, int size);

/// The size \p text takes in \p font; with \p width > 0 wrapped at that width.
SIZE TextExtent(HFONT font, std::wstring_view text, int width = 0);

/// Draws \p picture stretched into \p item's rectangle with smooth scaling; with
/// \p fillHeight it keeps its proportions, fills the height in a sunken frame and is cut at
/// the sides.
void DrawPicture(const DRAWITEMSTRUCT& item, HBITMAP picture, bool fillHeight);

} // namespace win32kit
