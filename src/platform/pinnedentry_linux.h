// The state of one pinned entry on Linux, which the file layer's parts work through. Internal to
// src/platform.
#pragma once

#include "platform/fileservices.h"
#include "platform/linkfree_linux.h"
#include "platform/mounts_linux.h"
#include "share/client.h"

#include <array>
#include <optional>
#include <string>

namespace platform {

// An O_PATH descriptor pins the inode without needing read or write permission; the calls that
// do not take such a descriptor reach the inode through its /proc name.
struct PinnedEntry::Impl {
    unixfs::Descriptor fd{-1};
    struct stat st {};
    std::array<char, 32> procName{};
    unixfs::Mounts::Key mount;
    unixfs::MountFacts facts;
    bool stale = false; // a write may have changed the mode: statx again before reading it
    // user.DOSATTRIB as last read or read back through this entry (inner nullopt: none stored;
    // outer: not known), so that a write starts from it and the run need not read it again.
    std::optional<std::optional<std::string>> dosValue;
    std::optional<share::Address> onShare; // an entry on an SMB share: the server keeps all
    share::Entry shareEntry;               // as last read from the server: each write reads it back
    bool shareStale = false;               // a write failed before its read-back
    std::uint64_t shownCreateTime = 0;     // what Samba shows while none is stored, before a touch

    // Opens the entry at \p p (a share's row or a local path); its refusal, if any.
    std::error_code open(const fs::path& p);
    // Learns the entry fd is open on; its refusal, if any.
    std::error_code pin();

    // The failure of a call through procName: without /proc every one of them fails with
    // ENOENT, which would name the wrong cause.
    std::error_code failure() const {
        const int code = errno;
        if (code == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            return make_error_code(Refusal::NoProc);
        return unixfs::errorOf(code);
    }

    // Sends \p set to the entry on its share; what comes back is its state from then on.
    std::error_code writeShare(const share::wire::BasicInfo& set) {
        share::Entry now;
        const auto ec = share::write(*onShare, set, now);
        shareStale = bool(ec);
        if (!ec)
            shareEntry = now;
        return ec;
    }

    // The mode and time as they are now, where a write may have changed them.
    std::error_code fresh() { return stale ? restat() : std::error_code(); }

    // The entry as it is now, after a write.
    std::error_code restat() {
        struct statx sx {};
        if (::statx(fd.get(), "", AT_EMPTY_PATH, STATX_TYPE | STATX_MODE | STATX_MTIME, &sx) != 0)
            return unixfs::lastError();
        st.st_mode = sx.stx_mode;
        st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
        stale = false;
        return {};
    }
};

} // namespace platform
