// File and system services of the operating system, without Qt. One implementation file per
// system: fileservices_unix.cpp (Linux) and fileservices_win.cpp (Windows).
//
// Every call returns std::error_code; out-arguments are valid only on success. On Linux the code
// is errno in std::generic_category(); on Windows it is the Win32 error number in
// std::system_category(). reasonText() and reasonCode() give what the user is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

/// The classic attribute bits. Every other bit a platform stores is carried through untouched.
namespace attr {
inline constexpr std::uint32_t ReadOnly = 1;
inline constexpr std::uint32_t Hidden = 2;
inline constexpr std::uint32_t System = 4;
inline constexpr std::uint32_t Directory = 16;
inline constexpr std::uint32_t Archive = 32;
inline constexpr std::uint32_t Compressed = 2048;
/// R, H, S and A: the bits the program sets and clears.
inline constexpr std::uint32_t Classic = ReadOnly | Hidden | System | Archive;
/// FILE_ATTRIBUTE_NORMAL: "no bit at all" where a word of 0 would mean "leave it as it is".
inline constexpr std::uint32_t Normal = 0x80;
} // namespace attr

/// Refusals of our own, for which the system has no words: an error code enum of their own.
/// reasonText() gives the German reason; each compares equal to the std::errc named below, and
/// reasonCode() gives that errno on Linux, the nearest Windows error number on Windows.
enum class Refusal {
    LinkInPath = 1,  ///< a component of the path is a link (now): too_many_symbolic_link_levels
    NotFileOrFolder, ///< a device node, FIFO or socket: invalid_argument
    ChangedFolder,   ///< not the folder listed under that name: no_such_file_or_directory
    NoProc,          ///< Linux without /proc: no_such_file_or_directory
    BadStoredValue,  ///< system.ntfs_attrib of an unexpected size: io_error
    OldExfatDriver,  ///< exFAT before Linux 6.12 keeps only R of a file: not_supported
    NotKept,         ///< the file system's driver drops the bit: not_supported
    KernelView,  ///< on one of the kernel's own file systems (proc, sysfs …): permission_denied
    TimeNotKept, ///< the file system cannot hold the moment: value_too_large
    DevicePath,  ///< a Windows device name (\\.\…, \\?\GLOBALROOT…): invalid_argument
    SignInCancelled, ///< the user cancelled signing in to the row's share: permission_denied
    FolderLoop,      ///< a folder above shown again below itself: too_many_symbolic_link_levels
    NeedsEncryption, ///< a share that wants encryption a guest cannot give: permission_denied
    DfsLink,         ///< a DFS link to another share, not followed: not_supported
};
std::error_code make_error_code(Refusal r);

/// What the situation check reads of an entry, in as few system calls as the platform allows.
struct EntryState {
    std::uint32_t attributes = 0;
    std::int64_t lastWrite = 0;      ///< seconds since 1970-01-01 UTC
    std::int32_t lastWriteNanos = 0; ///< the rest of the second, where PinnedEntry read it
};

/// A local wall-clock moment, whole seconds.
struct LocalTime {
    int hour = 0, minute = 0, second = 0, day = 1, month = 1, year = 1970;
};

#ifndef _WIN32
/// The UTC moment of \p t, with the offset in force at that date.
std::error_code utcOf(const LocalTime& t, std::time_t& when);
#endif

/// Whether the local clock ever shows \p t: false in the hour skipped when clocks go forward,
/// \p written then the moment (seconds since 1970 UTC) a file gets for it instead. A date that
/// does not exist is left to the write to refuse.
bool onLocalClock(const LocalTime& t, std::int64_t& written);

/// One file or folder, opened once for every step of a row: each read and write reaches the
/// entry that was opened, also when its name is renamed or replaced meanwhile. It is opened
/// without going through a link in any component (a final link too: LinkInPath); device nodes,
/// FIFOs and sockets are refused (NotFileOrFolder), and so is anything on one of the kernel's
/// own file systems (KernelView) or, on Windows, a device name (DevicePath).
/// @note Linux: FAT and exFAT media and CIFS mounts keep the word in their drivers (FAT ioctls,
/// user.cifs.dosattrib), NTFS volumes in system.ntfs_attrib, every other file system in
/// user.DOSATTRIB (no value, or one that does not parse, reads as 0); R of a file is also its
/// missing write bits, Directory comes from the file type. The store is chosen per mount, never
/// per device number (which the kernel reuses). A stored value the process may not read counts
/// as none: the writes report that. Windows: the handle is opened for changing attributes, which
/// a read-only file allows.
class PinnedEntry {
public:
    explicit PinnedEntry(const fs::path& p);
    /// PinnedEntry(p) for \p p, a name in the folder \p folder is pinned to: the name is looked
    /// up there, the folder not again (many rows of one folder cost one lookup each).
    /// @note Windows and shares: as PinnedEntry(p).
    PinnedEntry(const PinnedEntry& folder, const fs::path::string_type& p);
    ~PinnedEntry();
    PinnedEntry(const PinnedEntry&) = delete;
    PinnedEntry& operator=(const PinnedEntry&) = delete;

    /// Why the entry could not be opened; every other call then returns it too.
    std::error_code error() const { return error_; }

    /// Whether each call on the entry waits for a network or a FUSE daemon (SMB, NFS, sshfs …):
    /// where many of them are worth having in flight together.
    /// @note Windows: a path on a share (\\server\share) or on a drive of type DRIVE_REMOTE.
    bool remote() const;

    /// The attribute word and the last-write time as they are now.
    std::error_code query(EntryState& out) const;

    /// The word and time as this entry last read them (query() or a write's read-back),
    /// without asking the file system again; false where they are not known so.
    /// @note Windows and the FAT, CIFS and NTFS stores of Linux: always false.
    bool lastKnown(EntryState& out) const;

    /// Sets R, H, S and A to those of \p word; every other stored bit stays as it is. What was
    /// written is read back: a bit the file system does not keep fails. On failure the entry is
    /// put back as it was where it can be (the caller queries to learn whether it was).
    /// @note Linux: R of a file is also kept in its write bits (a folder's mode never changes,
    /// but the FAT and ntfs3 drivers may change it themselves); without user extended
    /// attributes, H, S and A (and R of a folder) fail with ENOTSUP, and so does a bit the
    /// driver does not keep (exFAT before Linux 6.12: all but R of a file), with a reason of its
    /// own. The first write of a file without a stored value stores the creation time Samba
    /// shows for it, so that a later touch does not move it.
    std::error_code writeAttributes(std::uint32_t word);

    /// Sets the last-write time to the local moment \p t, converted with the time-zone offset
    /// in force at that date (a moment in the spring-forward gap moves forward); sub-seconds
    /// become 0, the other times and the contents stay. Works on a read-only file. The time is
    /// read back: one the file system cannot hold (beyond its own step: 2 s on FAT) is put back
    /// as it was and fails with TimeNotKept, \p kept then holding the moment the file system
    /// would have made of it. A date that does not exist (31.02.) is EINVAL /
    /// ERROR_INVALID_PARAMETER.
    std::error_code setLastWriteTime(const LocalTime& t, std::int64_t* kept = nullptr);

    /// Puts the last-write time back to \p old's, to the nanosecond the file system keeps (an
    /// undo: \p old is what query() read before a change).
    std::error_code restoreLastWrite(const EntryState& old);

    struct Impl; ///< per system

private:
    std::unique_ptr<Impl> impl_;
    std::error_code error_;
};

/// While one lives, an entry opened for changing has the folders above it checked for links once
/// for all the entries of its folder, not again for each: the folder stays open, checked, and
/// its entries are opened relative to it, so a link swapped in above it later leads nowhere
/// else. For a batch of rows; the folders are closed when the last one ends.
/// @note Linux: nothing is kept; the kernel checks each open's whole path in the one call.
class FolderChecks {
public:
    FolderChecks();
    ~FolderChecks();
    FolderChecks(FolderChecks&&) = delete; // and with it every copy
};

/// Reads the attribute word and the last-write time of \p p through a PinnedEntry.
std::error_code queryEntry(const fs::path& p, EntryState& out);

/// queryEntry for many entries, in as few round trips as the platform allows: the entries of one
/// folder on a share are read from one listing of that folder, not one by one (on Windows where
/// a folder on a network drive holds 8 rows or more, not under Wine, which lists slower than it
/// reads rows side by side), and the entries on a network or FUSE mount or a network drive by
/// many threads at once; the others on Linux by one a core, on Windows one after another. \p pathOf
/// gives the path of each index below \p count; \p result gets each index once, in any order.
void queryEntries(
    std::size_t count, const std::function<fs::path::string_type(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result);

/// Which of \p folders lie on a network or FUSE mount (Windows: a remote drive or a \\server
/// path), where each call waits for a round trip: told by the mount table and the paths alone,
/// with no call on the folders themselves. A link in a path can mislead it: it only chooses how
/// many calls go out together.
std::vector<bool> onNetworkMounts(const std::vector<fs::path>& folders);

/// Tells the file layer which folders will be listed next: where the platform can, it lists
/// them now, side by side (folders on a share, whose listings wait for the network). With
/// \p forget, drops what was listed ahead and not taken.
void prefetchFolders(const std::vector<fs::path>& folders, bool forget = false);

/// The attribute word of \p p (queryEntry without the time).
std::error_code readAttributes(const fs::path& p, std::uint32_t& word);

/// PinnedEntry(p).writeAttributes(word).
std::error_code writeAttributes(const fs::path& p, std::uint32_t word);

/// The list's date text of a moment, in local time: the C library's short date ("%x"), a blank
/// and the time with seconds ("%X"); only the date when the local time is exactly midnight.
/// @note Linux: the formats follow LC_TIME of the process locale.
std::string formatLastWrite(std::int64_t secondsSinceEpoch);

/// Reads the last-write time of \p p and formats it with formatLastWrite().
std::error_code readLastWriteText(const fs::path& p, std::string& text);

/// The present local date and time, from one reading of the clock.
LocalTime presentLocalTime();

/// PinnedEntry(p).setLastWriteTime(t).
std::error_code setLastWriteTime(const fs::path& p, const LocalTime& t);

/// What a folder listing says of an entry's kind; Unknown where the file system does not tell
/// (then ask readAttributes / isLink). KernelView: a folder where one of the kernel's virtual
/// file systems (proc, sysfs, devtmpfs …) is mounted.
enum class EntryKind { Unknown, File, Directory, Link, Other, KernelView };

/// Who a folder is, so that it is opened later only if it is still the one listed: device and
/// inode on Linux; on Windows always empty (not compared).
struct EntryId {
    std::uint64_t device = 0, inode = 0;
};

struct FolderEntry {
    fs::path::string_type name; ///< the name alone, in the platform's own form
    EntryKind kind = EntryKind::Unknown;
    EntryId id; ///< of a Directory
};

/// Lists a folder's entries one at a time: hidden and system ones, "." and ".." included.
class FolderEnumerator {
public:
    /// Opens \p folder without going through a link in any component; with a non-empty
    /// \p expected, only if it is still that folder (else ChangedFolder).
    explicit FolderEnumerator(const fs::path& folder, const EntryId& expected = {});
    ~FolderEnumerator();
    FolderEnumerator(const FolderEnumerator&) = delete;
    FolderEnumerator& operator=(const FolderEnumerator&) = delete;

    /// Why the folder could not be opened (then next() returns false at once), or why the
    /// listing stopped before its end.
    std::error_code error() const { return error_; }
    /// The next entry; false at the end of the listing.
    bool next(FolderEntry& entry);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::error_code error_;
};

/// Whether \p p itself (not its target) is a symbolic link (or, on Windows, a reparse point).
bool isLink(const fs::path& p);

/// The platform's reason text for a failure (strerror / FormatMessageW), in UTF-8.
std::string reasonText(const std::error_code& ec);
/// The platform's number for a failure (errno / Win32 error).
int reasonCode(const std::error_code& ec);

/// Whether two paths name the same list entry: exactly on Linux, ignoring case on Windows.
bool samePath(const fs::path::string_type& a, const fs::path::string_type& b);
/// A hash that agrees with samePath().
std::size_t pathHash(const fs::path::string_type& p);

/// The folder of the running executable, links resolved.
fs::path executableFolder();

/// The platform's path separator as text: "/" on Linux, "\" on Windows.
std::string separator();

/// A path as UTF-8 text for display. Bytes that are not valid UTF-8 stay as they are; whoever
/// shows the text replaces them.
std::string displayText(const fs::path& p);

} // namespace platform

template <> struct std::is_error_code_enum<platform::Refusal> : std::true_type {};
