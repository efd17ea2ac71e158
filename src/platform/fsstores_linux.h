// The file systems whose drivers keep the attribute word themselves: FAT and exFAT media
// (through the FAT ioctls) and CIFS/SMB3 mounts (the server's word, user.cifs.dosattrib).
// Everything else keeps it in an extended attribute (fileservices_unix.cpp).
#pragma once

#include <cstdint>
#include <system_error>

#include <sys/stat.h>

namespace platform::fsstores {

enum class Native { None, Fat, Cifs };

/// The native store of the file system \p path is on (following a final link); None where the
/// word lives in an extended attribute.
Native nativeStoreOf(const char* path);

/// The complete word of \p path (following a final link, as stat does), \p st its stat: the
/// driver's own bits, Directory from the file type.
std::error_code readWord(Native store, const char* path, const struct stat& st,
                         std::uint32_t& word);

/// Sets R, H, S and A of the entry pinned by \p pinnedFd (an O_PATH descriptor of an entry that
/// is not a link; \p st its stat) to those of \p word. Fails, leaving the entry as it was, where
/// the driver refuses a bit or does not keep it.
std::error_code writeWord(Native store, int pinnedFd, const struct stat& st, std::uint32_t word);

} // namespace platform::fsstores
