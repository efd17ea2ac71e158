#include "platform/mounts_linux.h"

#include "platform/linkfree_linux.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>

#include <linux/magic.h>
#include <sys/xattr.h>

namespace platform::unixfs {

namespace {

constexpr const char* NtfsAttribName = "system.ntfs_attrib";

// The kernel's own views of itself: nothing in them is a user's file, and writing there can
// change the running system. By the type the mount table names (devtmpfs shows tmpfs's magic).
constexpr std::string_view KernelViews[] = {
    "proc",         "sysfs",      "devtmpfs",    "devpts",   "cgroup",    "cgroup2",    "debugfs",
    "tracefs",      "securityfs", "configfs",    "efivarfs", "bpf",       "pstore",     "mqueue",
    "hugetlbfs",    "fusectl",    "binfmt_misc", "nsfs",     "autofs",    "rpc_pipefs", "nfsd",
    "selinuxfs",    "smackfs",    "apparmorfs",  "cpuset",   "resctrl",   "xenfs",      "binder",
    "functionfs",   "gadgetfs",   "usbfs",       "ipathfs",  "qibfs",     "pipefs",     "sockfs",
    "anon_inodefs", "rdt",        "dmabuf",      "spufs",    "oprofilefs"};
// Their magics, for a system without /proc; autofs and the rest the mount table must tell.
constexpr unsigned long KernelViewMagics[] = {PROC_SUPER_MAGIC,
                                              SYSFS_MAGIC,
                                              DEVPTS_SUPER_MAGIC,
                                              CGROUP_SUPER_MAGIC,
                                              CGROUP2_SUPER_MAGIC,
                                              DEBUGFS_MAGIC,
                                              TRACEFS_MAGIC,
                                              SECURITYFS_MAGIC,
                                              0x62656570 /*configfs*/,
                                              EFIVARFS_MAGIC,
                                              BPF_FS_MAGIC,
                                              PSTOREFS_MAGIC,
                                              0x19800202 /*mqueue*/,
                                              HUGETLBFS_MAGIC,
                                              0x65735543 /*fusectl*/,
                                              BINFMTFS_MAGIC,
                                              NSFS_MAGIC,
                                              AUTOFS_SUPER_MAGIC,
                                              0x67596969 /*rpc_pipefs*/,
                                              SELINUX_MAGIC,
                                              SMACK_MAGIC,
                                              0x6e667364 /*nfsd*/};

// The type the mount table gives the mount with (non-unique) id \p mountId; empty without /proc.
std::string mountType(std::uint64_t mountId) {
    std::ifstream table("/proc/self/mountinfo");
    const std::string id = std::to_string(mountId) + " ";
    for (std::string line; std::getline(table, line);) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw"
        if (line.compare(0, id.size(), id) != 0)
            continue;
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            return {};
        return line.substr(dash + 3, line.find(' ', dash + 3) - dash - 3);
    }
    return {};
}

// File systems whose calls cross a network or go through a daemon of their own (FUSE): there
// the calls of many rows are worth having in flight together.
constexpr unsigned long RemoteMagics[] = {
    0xFF534D42 /*cifs*/, 0xFE534D42 /*smb2*/, 0x517B /*smb*/,
    0x6969 /*nfs*/,      0x65735546 /*fuse*/, 0x01021997 /*9p*/,
    0x00C36400 /*ceph*/, 0x5346414F /*afs*/,  0x0BD00BD0 /*lustre*/};

bool isRemote(int fd, unsigned long type) {
    if (std::find(std::begin(RemoteMagics), std::end(RemoteMagics), type) == std::end(RemoteMagics))
        return false;
    if (type != 0x65735546)
        return true;
    // FUSE on a local disk (ntfs-3g, "fuseblk") answers as fast as a kernel driver nearly.
    struct statx sx {};
    return !(::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 &&
             (sx.stx_mask & STATX_MNT_ID) && mountType(sx.stx_mnt_id) == "fuseblk");
}

// The facts of each mount, asked once per mount. The key is the mount's unique id where the
// kernel gives one; before Linux 6.8 the reusable id together with the file system's type, read
// for every entry (a tmpfs replaced by proc at the same id is another type).

// A mount point as the mount table writes it: blanks, tabs, newlines and backslashes octal.
std::string unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

bool remoteType(std::string_view type) {
    if (type == "fuseblk")
        return false;
    if (type.starts_with("fuse")) // fuse, fuse.sshfs, fuse.gvfsd-fuse …
        return true;
    for (const std::string_view t : {"cifs", "smb3", "smbfs", "nfs", "nfs4", "9p", "ceph", "afs",
                                     "lustre", "glusterfs", "davfs"})
        if (type == t)
            return true;
    return false;
}

std::vector<bool> remoteByTable(const std::vector<std::string>& paths) {
    // Each mount point and its type, in the order mounted: a later mount on the same point
    // covers the earlier one.
    std::vector<std::pair<std::string, bool>> mounts;
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw"
        std::size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field)
            at = line.find(' ', at + 1);
        const std::size_t end = at == std::string::npos ? at : line.find(' ', at + 1);
        const std::size_t dash = line.find(" - ");
        if (end == std::string::npos || dash == std::string::npos)
            continue;
        const std::string_view rest = std::string_view(line).substr(dash + 3);
        mounts.emplace_back(unescaped(std::string_view(line).substr(at + 1, end - at - 1)),
                            remoteType(rest.substr(0, rest.find(' '))));
    }
    std::vector<bool> remote(paths.size(), false);
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const std::string& p = paths[k];
        std::size_t longest = 0;
        for (const auto& [point, isRemote] : mounts) {
            const bool under = p.starts_with(point) &&
                               (point.size() == p.size() || point == "/" || p[point.size()] == '/');
            if (under && point.size() >= longest) {
                longest = point.size();
                remote[k] = isRemote;
            }
        }
    }
    return remote;
}

MountFacts Mounts::factsOf(int fd, const char* path, const Key& key, unsigned long type) {
    const auto known = [&]() -> std::optional<MountFacts> {
        std::lock_guard lock(mutex_);
        for (const auto& [k, facts] : known_)
            if (k == key)
                return facts;
        return std::nullopt;
    };
    if (const auto facts = known())
        return *facts;
    // One thread learns a mount, the others of a pool wait for it: on a network mount each
    // would otherwise ask the server the same.
    std::lock_guard learning(learning_);
    if (const auto facts = known())
        return *facts;
    if (type == 0) {
        struct statfs info;
        if (::fstatfs(fd, &info) == 0)
            type = static_cast<unsigned long>(info.f_type);
    }
    MountFacts facts;
    facts.kernelView = isKernelView(fd, type);
    facts.remote = isRemote(fd, type);
    bool settled = true;
    switch (fsstores::nativeStoreOf(type)) {
    case fsstores::Native::Fat:
        facts.store = Store::Fat;
        break;
    case fsstores::Native::Cifs:
        facts.store = Store::Cifs;
        break;
    default:
        // Only NTFS drivers (ntfs3, ntfs-3g over FUSE) know system.ntfs_attrib.
        settled = probeNtfs(path, facts.store);
        break;
    }
    if (settled) {
        std::lock_guard lock(mutex_);
        known_.emplace_back(key, facts);
    }
    return facts;
}

bool Mounts::isKernelView(int fd, unsigned long type) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID)) {
        if (const std::string name = mountType(sx.stx_mnt_id); !name.empty()) {
            for (const std::string_view v : KernelViews)
                if (name == v)
                    return true;
            return false;
        }
    }
    for (const unsigned long magic : KernelViewMagics)
        if (type == magic)
            return true;
    return false;
}

bool Mounts::probeNtfs(const char* path, Store& store) {
    std::uint32_t raw = 0;
    const ssize_t n = ::getxattr(path, NtfsAttribName, &raw, sizeof raw);
    const int code = errno;
    store = n == sizeof raw ? Store::Ntfs : Store::Dos;
    return n >= 0 || noUserXattrs(code) || code == ENODATA || code == ERANGE;
}

Mounts& mounts() {
    static Mounts all;
    return all;
}

} // namespace platform::unixfs
