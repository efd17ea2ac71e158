// The keys a window of the program handles itself rather than leave to the dialog manager,
// whose handling differs between Windows versions and Wine: the access keys of captions and
// Enter on a button.
#pragma once

#include <windows.h>

namespace win32kit {

/// Carries out \p msg if it is such a key for the controls of the top window \p top:
/// - an access key (Alt+key, or the key alone where the focused control takes no characters)
///   that one enabled control alone has presses it: a button is pressed, a check box clicked,
///   a label's key focuses the field after it in tab order;
/// - a key that several controls share moves the focus to the next of them in tab order and
///   presses none;
/// - Enter presses the focused push button.
/// @return whether \p msg was handled; else it goes on its usual way.
bool HandleWindowKey(HWND top, const MSG& msg);

} // namespace win32kit
