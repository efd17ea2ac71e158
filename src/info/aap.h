// AAP: hands documents and addresses to the desktop's opener. Qt-free apart from the owner
// window, which is only passed through.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace platform {
class Toolkit;
}

namespace AAP {

/// Opens \p target (a file path, a web address, a "mailto:" address) with the program the
/// desktop has for it. Failures are not reported.
void ShellOpen(platform::Toolkit& shell, QWidget* owner, const std::string& target,
               std::int16_t showCommand);

/// ShellOpen with the platform's default show state.
void ShellOpenDefault(platform::Toolkit& shell, QWidget* owner, const std::string& target);

} // namespace AAP
