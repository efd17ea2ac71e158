// Hands documents and addresses to the desktop's opener. Qt-free.
#pragma once

#include <cstdint>
#include <string>

namespace app {
class Toolkit;
}

namespace shell {

/// Opens \p target (a file path, a web address, a "mailto:" address) with the program the
/// desktop has for it. A target that could not be opened is named in a box, with the reason.
void ShellOpen(app::Toolkit& shell, const std::string& target, std::int16_t showCommand);

/// ShellOpen with the platform's default show state.
void ShellOpenDefault(app::Toolkit& shell, const std::string& target);

/// The URL the desktop's opener is given for \p target (UTF-8):
/// - a target with a scheme ("https:", "mailto:", "file:" …) stays as it is;
/// - a target that starts with a dotted host name ("www.example.org/…", "example.org:8080/…")
///   becomes "https://" followed by the target;
/// - anything else is a file path, made absolute against the current folder, and becomes a
///   "file:" URL with every byte outside the unreserved set percent-encoded, so names that are
///   not valid UTF-8 arrive unchanged.
/// @note Windows: a drive letter ("C:\…") is a path, not a scheme; "\\server\share\…" becomes
/// "file://server/share/…".
std::string TargetUrl(const std::string& target);

} // namespace shell
