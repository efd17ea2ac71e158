// The names in a drop, read from the shell's URI list. Qt-free, so that the bytes of a name
// that is not valid UTF-8 arrive unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace filelist {

using PathString = std::filesystem::path::string_type;

/// The local file paths of a "text/uri-list" (RFC 2483): one URI a line, "#" lines are
/// comments; "file:" URIs of this machine only (no host, "localhost" or its own host name), with
/// an absolute path, percent-escapes decoded to the bytes they stand for; a URI whose path holds
/// a NUL is refused. Linux paths come back canonical (links resolved, no "/" at the end). On
/// Windows the bytes are UTF-8 and "/" becomes "\"; another host names a UNC share.
/// Shares: an "smb://" URI, and on Linux a path in a GVFS mount of an SMB share, become the
/// share's row ("smb://server/share/path", see share/address.h); on Windows an "smb://"
/// URI becomes the share's UNC path. A URI or GVFS path that means a share but names no file
/// or folder on one (no share, a separator or forbidden character in a name, a malformed GVFS
/// folder) is left out and, given \p refusedShares, added to it as its line reads.
std::vector<PathString> parseUriList(std::string_view uriList,
                                     std::vector<std::string>* refusedShares = nullptr);

} // namespace filelist
