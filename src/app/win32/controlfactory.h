// The main window's controls, made from the control table: one Win32 control of each kind, in
// the order the dialog manager tabs through them, placed in pixels for the window's screen.
#pragma once

#include "app/controls.h"

#include <windows.h>

#include <vector>

namespace win32kit {

struct MadeControl {
    const app::ControlSpec* design;
    HWND hwnd;
    UINT id;
};

/// Makes every control of the table as a child of \p parent, ids counting up from \p firstId.
/// Controls that take no focus come first, then the others by tab position, each label just
/// before the field it names: its access key finds the field there.
std::vector<MadeControl> MakeControls(HWND parent, UINT firstId);

/// Gives \p control its place at \p dpi and its font. A caption that does not fit in this font
/// takes the room its design allows: a label grows to the left (its text ends at the field), a
/// box with room grows to the right.
void PlaceControl(const MadeControl& control, int dpi, HFONT font, HFONT bold);

} // namespace win32kit
