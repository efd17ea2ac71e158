// The address of a file or folder on an SMB share, as the file managers hand it over: an
// smb:// URI (pcmanfm, Dolphin) or the folder GVFS mounts the share at (GNOME Files, Thunar,
// Nemo). Pure text work, no system calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace share {

struct Address {
    std::string server; ///< a host name, IPv4 address or "[IPv6 literal]", brackets kept
    std::string share;
    std::string path; ///< "" for the share itself, else "/dir/name", the names' own bytes
    std::string user, domain;
    int port = 0; ///< 0: the server's usual port
};

/// A URI's text with its %XX escapes decoded to the bytes they stand for; a "%" not followed by
/// two hexadecimal digits stays as it is.
std::string decodeEscapes(std::string_view text);

/// \p bytes with every byte but ASCII letters and digits, "-._~" and those in \p keep escaped
/// as %XX, so that a URI carries them exactly.
std::string encodeEscapes(std::string_view bytes, std::string_view keep = {});

/// The address an "smb://[domain;][user[:password]@]server[:port]/share[/path]" URI names,
/// escapes decoded; the password is dropped (it is asked for, never kept in a row). The server
/// is a host name, an IPv4 address or an IPv6 literal, brackets kept ("[fe80::1%eth0]", the zone
/// decoded). A URI without a share, with a separator or control character in a name, with a
/// character Windows forbids in a share name, with "@", ";" or ":" in the user or domain, or
/// with a "." or ".." name names no file.
std::optional<Address> fromUri(std::string_view uri);

/// Whether \p path lies in a folder GVFS mounts an SMB share at (below
/// "/run/user/<uid>/gvfs/smb-share:…" or "$XDG_RUNTIME_DIR/gvfs/smb-share:…"), once "." and ".."
/// are resolved by the text alone; whether or not its address is valid.
bool inGvfsShare(std::string_view path);

/// The address of a path below a GVFS mount of an SMB share,
/// "/run/user/<uid>/gvfs/smb-share:server=…,share=…[,port=…][,user=…][,domain=…]/rest"
/// (the parts in any order and escaped as GVFS escapes them); GVFS mounts below
/// $XDG_RUNTIME_DIR where that is set elsewhere. The names are checked as fromUri() checks them.
std::optional<Address> fromGvfsPath(std::string_view path);

/// The row's text of an address, as the file managers show it:
/// "smb://[domain;][user@]server[:port]/share/path" with the names unescaped.
std::string rowText(const Address& address);

/// Whether a row's path names a file or folder on a share (it starts with "smb://").
bool isShare(std::string_view rowPath);

/// The address a row's path (as rowText() made it) names, its names checked as fromUri()
/// checks them.
std::optional<Address> fromRow(std::string_view rowPath);

} // namespace share
