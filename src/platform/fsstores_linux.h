// The file systems whose drivers keep the attribute word themselves: FAT and exFAT media
// (through the FAT ioctls) and CIFS/SMB3 mounts (the server's word, user.cifs.dosattrib).
// Everything else keeps it in an extended attribute (fileservices_unix.cpp).
#pragma once

#include <cstdint>
#include <system_error>

#include <sys/stat.h>

namespace platform::fsstores {

enum class Native { None, Fat, Cifs };

/// The native store of a file system by its statfs type; None where the word lives in an
/// extended attribute.
Native nativeStoreOf(unsigned long fsType);

/// The complete word of the entry pinned by \p pinnedFd (an O_PATH descriptor of a file or
/// folder, never a link), \p st its stat: the driver's own bits, Directory from the file type.
std::error_code readWord(Native store, int pinnedFd, const struct stat& st, std::uint32_t& word);

/// Sets R, H, S and A of the entry pinned by \p pinnedFd (\p st its stat) to those of \p word,
/// keeping every other bit, and reads the word back. Fails, leaving the entry as it was, where
/// the driver refuses a bit or does not keep it.
std::error_code writeWord(Native store, int pinnedFd, const struct stat& st, std::uint32_t word);

} // namespace platform::fsstores
