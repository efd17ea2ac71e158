// Mounts and what the file layer learns of each once: where it keeps the attribute word, whether
// it is one of the kernel's own views, whether its calls cross a network. Internal to
// src/platform.
#pragma once

#include "platform/fsstores_linux.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace platform::unixfs {

enum class Store { Dos, Ntfs, Fat, Cifs };

// STATX_MNT_ID_UNIQUE (Linux 6.8): a mount's id that is never given to another mount, where
// STATX_MNT_ID and the device number come back after an unmount.
constexpr unsigned StatxMntIdUnique = 0x4000;

struct MountFacts {
    Store store = Store::Dos;
    bool kernelView = false;
    bool remote = false; // every call waits for a network or a FUSE daemon
};

class Mounts {
public:
    struct Key {
        std::uint64_t id = 0;
        unsigned long type = 0; // 0 with a unique id
        bool operator==(const Key&) const = default;
    };

    // The key of the entry \p fd, whose statx (asked with StatxMntIdUnique) is \p sx.
    static bool keyOf(int fd, const struct statx& sx, Key& key, unsigned long& type) {
        key.id = sx.stx_mnt_id;
        type = 0;
        if (sx.stx_mask & StatxMntIdUnique) {
            key.type = 0;
            return true;
        }
        struct statfs info;
        if (::fstatfs(fd, &info) != 0)
            return false;
        type = static_cast<unsigned long>(info.f_type);
        key.type = type;
        return true;
    }

    // The facts of the mount of \p fd (an O_PATH descriptor); \p path its magic link.
    MountFacts factsOf(int fd, const char* path, const Key& key, unsigned long type);

    // A stored NTFS value that cannot be read: the mount is asked afresh next time.
    void forget(const Key& key) {
        std::lock_guard lock(mutex_);
        std::erase_if(known_, [&](const auto& entry) { return entry.first == key; });
    }

private:
    static bool isKernelView(int fd, unsigned long type);

    // Only NTFS drivers know system.ntfs_attrib. false: this entry gave no answer (EACCES …).
    static bool probeNtfs(const char* path, Store& store);

    std::mutex mutex_, learning_;
    // Few mounts are ever met; a short list is searched faster than a hash is made.
    std::vector<std::pair<Key, MountFacts>> known_;
};

Mounts& mounts();

// Whether the mount table's type \p type is a network file system or FUSE (not fuseblk).
bool remoteType(std::string_view type);

// Whether each of \p paths lies on such a mount, by the mount table and the path alone: a link
// in a path can mislead it, so it only chooses how many calls go out together.
std::vector<bool> remoteByTable(const std::vector<std::string>& paths);

inline fsstores::Native nativeOf(Store store) {
    return store == Store::Fat    ? fsstores::Native::Fat
           : store == Store::Cifs ? fsstores::Native::Cifs
                                  : fsstores::Native::None;
}

inline void toStat(const struct statx& sx, struct stat& st) {
    st = {};
    st.st_mode = sx.stx_mode;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_ino = sx.stx_ino;
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
}

constexpr unsigned StatxWanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO |
                                 STATX_ATIME | STATX_MTIME | STATX_CTIME | StatxMntIdUnique;

} // namespace platform::unixfs
