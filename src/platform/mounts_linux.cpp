#include "platform/mounts_linux.h"

#include "platform/linkfree_linux.h"

#include <algorithm>
#include <fstream>
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

// What is known of one mount: where its words live and whether it is a kernel view.
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

} // namespace

MountFacts Mounts::factsOf(int fd, const char* path, const Key& key, unsigned long type) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& [k, facts] : known_)
            if (k == key)
                return facts;
    }
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
