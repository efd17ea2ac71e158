// What the info dialog says and where its link buttons lead, without a toolkit: both window
// kits show the same texts.
#pragma once

#include <array>
#include <string>

namespace InfoText {

/// The dialog's caption: "Info über " and the program's name.
std::string Caption(const std::string& name);

/// The info text for \p name and \p description, lines separated by single carriage returns.
std::string Text(const std::string& name, const std::string& description);

/// The targets of link buttons 0 to 2 ("mailto:" address, "Aktuelles" page, registration).
std::array<std::string, 3> LinkTargets();

/// The four buttons' fixed hints.
std::array<std::string, 4> ButtonHints();

} // namespace InfoText
