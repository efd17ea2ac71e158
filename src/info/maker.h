// Who made the program and where to reach them, in one place: the info dialog, its link
// buttons and the main window's logo all read from here. Addresses are written without a
// scheme; shell::TargetUrl adds one when they are opened.
#pragma once

#include <string_view>

namespace maker {

/// The maker's notice of the info dialog: the years of publication and the maker.
inline constexpr std::string_view Notice = "© 1999–2026 Tilman Brenner";

/// The maker's e-mail address, for "mailto:".
inline constexpr std::string_view EMail = "tilman@brenner.example.org";

/// The maker's web site, the host name alone.
inline constexpr std::string_view WebAddress = "brenner.example.org";

/// The host of the magazine whose logo the main window shows.
inline constexpr std::string_view MagazineHost = "www.quarn.example.net";

/// The magazine's current web edition, opened by a click on the logo.
inline constexpr std::string_view MagazineTarget = "www.quarn.example.net/quarn/";

static_assert(MagazineTarget.starts_with(MagazineHost) &&
              MagazineTarget.substr(MagazineHost.size()) == "/quarn/");

} // namespace maker
