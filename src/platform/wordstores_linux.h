// Where Linux keeps the attribute word of an entry that no driver keeps it for: user.DOSATTRIB
// (Samba's and Wine's store) or system.ntfs_attrib on NTFS volumes, R of a file also in its write
// bits. Internal to src/platform.
#pragma once

#include "platform/pinnedentry_linux.h"

#include <cstdint>
#include <system_error>

namespace platform::unixfs {

/// The word stored for the entry (0 where none is, or it cannot be read).
std::error_code readStoredWord(PinnedEntry::Impl& e, std::uint32_t& stored);
/// The word the entry shows: the stored one, R from the missing write bits of a file, and the
/// folder bit.
std::uint32_t composeWord(std::uint32_t stored, const struct stat& st);
/// Writes R, H, S and A of \p word into system.ntfs_attrib, read back.
std::error_code writeNtfsWord(PinnedEntry::Impl& e, std::uint32_t word);
/// Writes R, H, S and A of \p word into user.DOSATTRIB and R into the mode, read back.
std::error_code writeDosWord(PinnedEntry::Impl& e, std::uint32_t word);
/// The creation time Samba shows for an entry none is stored for.
std::uint64_t shownCreateTime(const struct stat& st);

} // namespace platform::unixfs
