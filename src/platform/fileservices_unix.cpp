// Linux has no attribute word of its own. It lives where the programs that share files with
// Windows keep it: system.ntfs_attrib on NTFS volumes, user.DOSATTRIB (Samba's and Wine's
// store) everywhere else. R of a file is also carried by its write bits, which every Linux
// program honours.
#include "platform/fileservices.h"

#include "platform/dosattrib.h"
#include "platform/fsstores_linux.h"
#include "share/address.h"
#include "share/client.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr const char* DosAttribName = "user.DOSATTRIB";
constexpr const char* NtfsAttribName = "system.ntfs_attrib";
constexpr std::uint32_t ChangeableOnNtfs = attr::Classic;

std::error_code lastError() {
    return {errno, std::generic_category()};
}
std::error_code errorOf(int code) {
    return {code, std::generic_category()};
}

namespace wire = share::wire;
// Reads in flight together on a network mount: against a mount with a 10 ms round trip, a click
// on 2,000 rows took 1.85 s with 32 and 1.20 s with 64.
constexpr std::size_t PoolThreads = 64;
constexpr std::uint32_t ReparsePoint = 0x400; // links and junctions on a share: never entered

// What the list shows of an entry on a share.
EntryState stateOf(const wire::BasicInfo& info) {
    return {info.attributes & ~attr::Normal, share::unixSecondsOf(info.write),
            std::int32_t(info.write % 10'000'000 * 100)};
}

bool noUserXattrs(int code) {
    return code == ENOTSUP || code == EOPNOTSUPP;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A link anywhere in a listed path was put there after the listing (rows hold paths without
// links): nothing is opened through one. openat2 refuses them in one call (Linux 5.6 and
// later); before, each component is opened beneath the one before without following it.
bool walkComponents = false;
} // namespace

void forceComponentWalk(bool on) {
    walkComponents = on;
}

namespace {

int openComponentwise(const char* path, int flags) {
    const std::string_view whole(path);
    int dir = ::open(whole.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    while (dir >= 0) {
        start = whole.find_first_not_of('/', start);
        if (start == std::string_view::npos) {
            const int fd = ::openat(dir, ".", flags | O_CLOEXEC); // the path names a folder
            ::close(dir);
            return fd;
        }
        const std::size_t end = std::min(whole.find('/', start), whole.size());
        const std::string name(whole.substr(start, end - start));
        start = end;
        if (whole.find_first_not_of('/', end) == std::string_view::npos) {
            const int fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
            ::close(dir);
            return fd;
        }
        const int next = ::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        const bool link = next >= 0 && ::fstat(next, &st) == 0 && S_ISLNK(st.st_mode);
        ::close(dir);
        dir = next;
        if (link) {
            ::close(dir);
            errno = ELOOP;
            return -1;
        }
    }
    return -1;
}

int openWithoutLinks(const char* path, int flags) {
    static std::atomic<bool> haveOpenat2{true};
    if (haveOpenat2 && !walkComponents) {
        struct open_how how {};
        how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
        how.resolve = RESOLVE_NO_SYMLINKS;
        const int fd = static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how));
        if (fd >= 0 || errno != ENOSYS)
            return fd;
        haveOpenat2 = false;
    }
    return openComponentwise(path, flags);
}

std::error_code openFailure() {
    return errno == ELOOP ? make_error_code(Refusal::LinkInPath) : lastError();
}

enum class Store { Dos, Ntfs, Fat, Cifs };

// STATX_MNT_ID_UNIQUE (Linux 6.8): a mount's id that is never given to another mount, where
// STATX_MNT_ID and the device number come back after an unmount.
constexpr unsigned StatxMntIdUnique = 0x4000;

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
struct MountFacts {
    Store store = Store::Dos;
    bool kernelView = false;
    bool remote = false; // every call waits for a network or a FUSE daemon
};

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
    MountFacts factsOf(int fd, const char* path, const Key& key, unsigned long type) {
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

    // A stored NTFS value that cannot be read: the mount is asked afresh next time.
    void forget(const Key& key) {
        std::lock_guard lock(mutex_);
        std::erase_if(known_, [&](const auto& entry) { return entry.first == key; });
    }

private:
    static bool isKernelView(int fd, unsigned long type) {
        struct statx sx {};
        if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 &&
            (sx.stx_mask & STATX_MNT_ID)) {
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

    // Only NTFS drivers know system.ntfs_attrib. false: this entry gave no answer (EACCES …).
    static bool probeNtfs(const char* path, Store& store) {
        std::uint32_t raw = 0;
        const ssize_t n = ::getxattr(path, NtfsAttribName, &raw, sizeof raw);
        const int code = errno;
        store = n == sizeof raw ? Store::Ntfs : Store::Dos;
        return n >= 0 || noUserXattrs(code) || code == ENODATA || code == ERANGE;
    }

    std::mutex mutex_;
    // Few mounts are ever met; a short list is searched faster than a hash is made.
    std::vector<std::pair<Key, MountFacts>> known_;
};

Mounts& mounts() {
    static Mounts all;
    return all;
}

fsstores::Native nativeOf(Store store) {
    return store == Store::Fat    ? fsstores::Native::Fat
           : store == Store::Cifs ? fsstores::Native::Cifs
                                  : fsstores::Native::None;
}

void toStat(const struct statx& sx, struct stat& st) {
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

} // namespace

// An O_PATH descriptor pins the inode without needing read or write permission; the calls that
// do not take such a descriptor reach the inode through its /proc name.
struct PinnedEntry::Impl {
    Descriptor fd{-1};
    struct stat st {};
    std::array<char, 32> procName{};
    Mounts::Key mount;
    MountFacts facts;
    bool stale = false; // a write may have changed the mode: statx again before reading it
    std::optional<share::Address> onShare; // an entry on an SMB share: the server keeps all
    share::Entry shareEntry;               // as last read from the server: each write reads it back
    bool shareStale = false;               // a write failed before its read-back
    std::uint64_t shownCreateTime = 0;     // what Samba shows while none is stored, before a touch

    // The failure of a call through procName: without /proc every one of them fails with
    // ENOENT, which would name the wrong cause.
    std::error_code failure() const {
        const int code = errno;
        if (code == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            return make_error_code(Refusal::NoProc);
        return errorOf(code);
    }

    // The mode and time as they are now, where a write may have changed them.
    std::error_code fresh() { return stale ? restat() : std::error_code(); }

    // The entry as it is now, after a write.
    std::error_code restat() {
        struct statx sx {};
        if (::statx(fd.get(), "", AT_EMPTY_PATH, STATX_TYPE | STATX_MODE | STATX_MTIME, &sx) != 0)
            return lastError();
        st.st_mode = sx.stx_mode;
        st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
        stale = false;
        return {};
    }
};

namespace {

// Read once: umask() can only be read by setting it, which races with other threads.
mode_t processUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        }
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

std::uint32_t fromLE(const unsigned char* b) {
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::array<unsigned char, 4> toLE(std::uint32_t v) {
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

// Reads an extended attribute whole, whatever its length; -1 and errno on failure.
ssize_t readValue(const char* path, const char* name, std::string& value) {
    value.resize(dosattrib::MaxValueSize);
    for (;;) {
        const ssize_t n = ::getxattr(path, name, value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<std::size_t>(n));
            return n;
        }
        if (errno != ERANGE)
            return -1;
        const ssize_t size = ::getxattr(path, name, nullptr, 0);
        if (size < 0)
            return -1;
        value.resize(static_cast<std::size_t>(size) + 1);
    }
}

// The stored word of an entry: from system.ntfs_attrib or user.DOSATTRIB (0 when there is no
// value, or one that does not parse, or the file system keeps no user attributes, or the
// process may not read it: the mode bits and the file type still tell R and Directory).
std::error_code readStoredWord(PinnedEntry::Impl& e, std::uint32_t& stored) {
    const char* path = e.procName.data();
    if (e.facts.store == Store::Ntfs) {
        unsigned char raw[4];
        const ssize_t n = ::getxattr(path, NtfsAttribName, raw, sizeof raw);
        if (n == sizeof raw) {
            stored = fromLE(raw);
            return {};
        }
        const std::error_code ec = n >= 0 ? make_error_code(Refusal::BadStoredValue) : e.failure();
        // A FUSE mount that is not ntfs-3g after all: ask the mount afresh.
        mounts().forget(e.mount);
        e.facts = mounts().factsOf(e.fd.get(), path, e.mount, 0);
        if (e.facts.store == Store::Ntfs)
            return ec;
    }
    char value[dosattrib::MaxValueSize];
    const ssize_t n = ::getxattr(path, DosAttribName, value, sizeof value);
    if (n >= 0) {
        const auto info = dosattrib::decode(value, static_cast<std::size_t>(n));
        stored = info ? info->attributes : 0;
        return {};
    }
    // ERANGE: longer than Samba reads, so no value for Samba either. EACCES: user.* needs read
    // permission.
    if (errno == ENODATA || errno == ERANGE || errno == EACCES || noUserXattrs(errno)) {
        stored = 0;
        return {};
    }
    return e.failure();
}

std::uint32_t composeWord(std::uint32_t stored, const struct stat& st) {
    std::uint32_t word = stored & ~attr::Directory;
    if (S_ISDIR(st.st_mode))
        word |= attr::Directory;
    else if ((st.st_mode & 0222) == 0)
        word |= attr::ReadOnly;
    return word;
}

constexpr std::uint32_t Changeable = attr::Classic;

std::error_code writeDosWord(PinnedEntry::Impl& e, std::uint32_t word);

std::error_code writeNtfsWord(PinnedEntry::Impl& e, std::uint32_t word) {
    const char* path = e.procName.data();
    unsigned char raw[4];
    const ssize_t n = ::getxattr(path, NtfsAttribName, raw, sizeof raw);
    if (n != sizeof raw) {
        const std::error_code ec = n >= 0 ? make_error_code(Refusal::BadStoredValue) : e.failure();
        mounts().forget(e.mount);
        e.facts = mounts().factsOf(e.fd.get(), path, e.mount, 0);
        if (e.facts.store == Store::Ntfs)
            return ec;
        return writeDosWord(e, word);
    }
    const std::uint32_t old = fromLE(raw);
    std::uint32_t next = (old & ~ChangeableOnNtfs) | (word & ChangeableOnNtfs);
    if (!S_ISDIR(e.st.st_mode))
        next &= ~attr::Directory; // ntfs3 would store it, and Windows show the file as a folder
    if (next == old)
        return {};
    const auto bytes = toLE(next);
    if (::setxattr(path, NtfsAttribName, bytes.data(), bytes.size(), 0) != 0)
        return e.failure();
    e.stale = true; // ntfs3 and ntfs-3g change the write bits with R
    if (::getxattr(path, NtfsAttribName, raw, sizeof raw) != sizeof raw)
        return e.failure();
    if ((fromLE(raw) & ChangeableOnNtfs) != (next & ChangeableOnNtfs)) {
        const auto back = toLE(old);
        ::setxattr(path, NtfsAttribName, back.data(), back.size(), 0);
        return make_error_code(Refusal::NotKept);
    }
    return {};
}

// The creation time Samba shows while none is stored: the earliest of the three times.
std::uint64_t shownCreateTime(const struct stat& st) {
    const struct timespec* earliest = &st.st_ctim;
    for (const struct timespec* t : {&st.st_mtim, &st.st_atim}) {
        if (t->tv_sec < earliest->tv_sec ||
            (t->tv_sec == earliest->tv_sec && t->tv_nsec < earliest->tv_nsec))
            earliest = t;
    }
    return dosattrib::ntTimeFromUnix(earliest->tv_sec, earliest->tv_nsec);
}

// user.DOSATTRIB and, for R of a file, the write bits. The value is written first (it needs
// write permission), the mode second; a failure of either puts both back as they were, and what
// was written is read back, so that a FUSE driver that answers success and keeps nothing fails.
std::error_code writeDosWord(PinnedEntry::Impl& e, std::uint32_t word) {
    const char* path = e.procName.data();
    const bool isDir = S_ISDIR(e.st.st_mode);

    std::string oldValue;
    const bool hadValue = readValue(path, DosAttribName, oldValue) >= 0;
    bool haveStore = true;
    std::optional<dosattrib::Info> old;
    if (hadValue)
        old = dosattrib::decode(oldValue.data(), oldValue.size());
    else if (noUserXattrs(errno))
        haveStore = false;
    else if (errno != ENODATA)
        return e.failure();

    const std::uint32_t wanted = word & Changeable;
    dosattrib::Info next;
    // Every bit but R, H, S and A stays as stored, whatever the caller passed.
    next.attributes = (old ? old->attributes & ~(Changeable | attr::Directory) : 0) | wanted |
                      (isDir ? attr::Directory : 0);
    next.hasCreateTime = true;
    // Frozen at the first write, before a touch of the row can move it.
    next.createTime = old && old->hasCreateTime ? old->createTime : e.shownCreateTime;
    // Also written when only the creation time is new, or the old value does not parse.
    const bool changeStore =
        haveStore && (!old || !old->hasCreateTime || next.attributes != old->attributes);

    if (!haveStore) {
        // Without user attributes only the R of a file can be kept (in its mode bits).
        const std::uint32_t keepable = isDir ? 0 : attr::ReadOnly;
        if ((wanted & ~keepable) != 0)
            return errorOf(ENOTSUP);
    }

    const mode_t origMode = e.st.st_mode & 07777;
    mode_t mode = origMode;
    mode_t finalMode = origMode;
    if (!isDir) {
        if (wanted & attr::ReadOnly)
            finalMode &= ~0222;
        else if ((origMode & 0222) == 0)
            finalMode |= (0600 | ((origMode & 044) >> 1)) & ~processUmask();
    }

    // Puts the entry back as it was. Where the old value cannot be put back, the mode follows
    // the value that stays, so that Samba and Linux programs still agree on R; the caller learns
    // by querying what the entry holds now.
    const auto undo = [&](std::error_code ec) {
        const bool restored =
            !changeStore ||
            (hadValue ? ::setxattr(path, DosAttribName, oldValue.data(), oldValue.size(), 0)
                      : ::removexattr(path, DosAttribName)) == 0;
        const mode_t agreeing = restored ? origMode : finalMode;
        if (mode != agreeing)
            ::chmod(path, agreeing);
        e.stale = true;
        return ec;
    };

    const std::string value = changeStore ? dosattrib::encode(next) : std::string();
    if (changeStore && ::setxattr(path, DosAttribName, value.data(), value.size(), 0) != 0) {
        const std::error_code ec = e.failure();
        // The owner of a file without write bits may write it once u+w is given back.
        const bool mayLend = ec == std::errc::permission_denied && !isDir &&
                             e.st.st_uid == ::geteuid() && !(origMode & S_IWUSR);
        if (!mayLend)
            return ec;
        if (::chmod(path, origMode | S_IWUSR) != 0)
            return e.failure();
        mode = origMode | S_IWUSR;
        if (::setxattr(path, DosAttribName, value.data(), value.size(), 0) != 0) {
            const std::error_code again = e.failure();
            ::chmod(path, origMode);
            e.stale = true;
            return again;
        }
    }
    if (!isDir && finalMode != mode) {
        if (::chmod(path, finalMode) != 0)
            return undo(e.failure());
        mode = finalMode;
    }

    if (changeStore) {
        std::string stored;
        const bool readBack = readValue(path, DosAttribName, stored) >= 0;
        if (!readBack && errno != ENODATA)
            return undo(e.failure());
        const auto kept = readBack ? dosattrib::decode(stored.data(), stored.size()) : std::nullopt;
        if (!kept || kept->attributes != next.attributes)
            return undo(make_error_code(Refusal::NotKept));
    }
    if (mode != origMode) {
        e.stale = true;
        if (auto ec = e.restat())
            return ec;
        if ((e.st.st_mode & 07777) != mode)
            return undo(make_error_code(Refusal::NotKept));
    }
    return {};
}

int daysInMonth(int month, int year) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

} // namespace

// The UTC moment of a local wall-clock time, with the offset in force at that date.
std::error_code utcOf(const LocalTime& t, std::time_t& when) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.month, t.year) ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return errorOf(EINVAL);
    struct tm local {};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1; // the offset in force at that date, not today's
    struct tm asked = local;
    errno = 0;
    when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1) && errno != 0)
        return lastError();
    if (local.tm_hour != t.hour || local.tm_min != t.minute || local.tm_mday != t.day) {
        // In the hour skipped when clocks go forward: read with the offset before the change,
        // so the moment moves forward by the gap. glibc moves it backward where summer time is
        // the standard time (Europe/Dublin).
        const std::time_t wall = ::timegm(&asked);
        const std::time_t dayBefore = wall - 86400;
        struct tm before {};
        if (!::localtime_r(&dayBefore, &before))
            return errorOf(EINVAL);
        when = wall - before.tm_gmtoff;
    }
    return {};
}

PinnedEntry::PinnedEntry(const fs::path& p) : impl_(std::make_unique<Impl>()) {
    Impl& e = *impl_;
    if (share::isShare(p.native())) {
        const auto address = share::fromRow(p.native());
        if (!address) {
            error_ = errorOf(EINVAL);
            return;
        }
        e.onShare = address;
        error_ = share::stat(*address, e.shareEntry);
        return;
    }
    e.fd.reset(openWithoutLinks(p.c_str(), O_PATH));
    struct statx sx {};
    if (e.fd.get() < 0 || ::statx(e.fd.get(), "", AT_EMPTY_PATH, StatxWanted, &sx) != 0) {
        error_ = openFailure();
        return;
    }
    toStat(sx, e.st);
    e.shownCreateTime = shownCreateTime(e.st);
    if (S_ISLNK(e.st.st_mode)) { // swapped for a link after it was listed
        error_ = make_error_code(Refusal::LinkInPath);
        return;
    }
    if (!S_ISREG(e.st.st_mode) && !S_ISDIR(e.st.st_mode)) {
        error_ = make_error_code(Refusal::NotFileOrFolder);
        return;
    }
    std::snprintf(e.procName.data(), e.procName.size(), "/proc/self/fd/%d", e.fd.get());
    unsigned long type = 0;
    if (!Mounts::keyOf(e.fd.get(), sx, e.mount, type)) {
        error_ = lastError();
        return;
    }
    e.facts = mounts().factsOf(e.fd.get(), e.procName.data(), e.mount, type);
    if (e.facts.kernelView)
        error_ = make_error_code(Refusal::KernelView);
}

PinnedEntry::~PinnedEntry() = default;

std::error_code PinnedEntry::query(EntryState& out) const {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) { // a round trip saved: what the last request read back
        if (e.shareStale) {
            if (auto ec = share::stat(*e.onShare, e.shareEntry))
                return ec;
            e.shareStale = false;
        }
        out = stateOf(e.shareEntry.info);
        return {};
    }
    if (auto ec = e.fresh())
        return ec;
    out.lastWrite = e.st.st_mtim.tv_sec;
    out.lastWriteNanos = static_cast<std::int32_t>(e.st.st_mtim.tv_nsec);
    if (e.facts.store == Store::Fat || e.facts.store == Store::Cifs)
        return fsstores::readWord(nativeOf(e.facts.store), e.fd.get(), e.st, out.attributes);
    std::uint32_t stored = 0;
    if (auto ec = readStoredWord(e, stored))
        return ec;
    out.attributes = composeWord(stored, e.st);
    return {};
}

std::error_code PinnedEntry::writeAttributes(std::uint32_t word) {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) {
        share::Entry now;
        wire::BasicInfo set;
        set.attributes = share::wordToSend(e.shareEntry.info.attributes, word);
        const auto ec = share::write(*e.onShare, set, now);
        e.shareStale = bool(ec);
        if (ec)
            return ec;
        e.shareEntry = now;
        return (now.info.attributes & Changeable) == (set.attributes & Changeable)
                   ? std::error_code()
                   : make_error_code(Refusal::NotKept);
    }
    if (auto ec = e.fresh())
        return ec;
    switch (e.facts.store) {
    case Store::Ntfs:
        return writeNtfsWord(e, word);
    case Store::Fat:
    case Store::Cifs:
        e.stale = true; // the drivers keep R of a file in its write bits too
        return fsstores::writeWord(nativeOf(e.facts.store), e.fd.get(), e.st, word);
    default:
        return writeDosWord(e, word);
    }
}

std::error_code PinnedEntry::setLastWriteTime(const LocalTime& t, std::int64_t* kept) {
    if (error_)
        return error_;
    std::time_t when = 0;
    if (auto ec = utcOf(t, when))
        return ec;
    Impl& e = *impl_;
    if (e.onShare) {
        share::Entry now;
        wire::BasicInfo set;
        set.write = share::fileTimeOf(when);
        set.creation = share::creationToKeep(e.shareEntry.info, set);
        if (auto ec = share::write(*e.onShare, set, now)) {
            e.shareStale = true;
            return ec;
        }
        e.shareEntry = now;
        if (now.info.write == set.write)
            return {};
        if (kept)
            *kept = share::unixSecondsOf(now.info.write);
        return make_error_code(Refusal::TimeNotKept);
    }
    const struct timespec before = e.st.st_mtim;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    if (::utimensat(AT_FDCWD, e.procName.data(), times, 0) != 0)
        return e.failure();
    if (auto ec = e.restat())
        return ec;
    // FAT keeps even seconds only; every other store keeps the second as given.
    const std::int64_t step = e.facts.store == Store::Fat ? 2 : 1;
    const std::int64_t held = e.st.st_mtim.tv_sec;
    if (held <= when - step || held > when) {
        if (kept)
            *kept = held;
        const struct timespec back[2] = {{0, UTIME_OMIT}, before};
        ::utimensat(AT_FDCWD, e.procName.data(), back, 0);
        e.stale = true;
        return make_error_code(Refusal::TimeNotKept);
    }
    return {};
}

std::error_code PinnedEntry::restoreLastWrite(const EntryState& old) {
    if (error_)
        return error_;
    Impl& e = *impl_;
    if (e.onShare) {
        share::Entry now;
        wire::BasicInfo set;
        set.write = share::fileTimeOf(old.lastWrite) + std::uint64_t(old.lastWriteNanos / 100);
        e.shareStale = true;
        return share::write(*e.onShare, set, now);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {old.lastWrite, old.lastWriteNanos}};
    e.stale = true;
    return ::utimensat(AT_FDCWD, e.procName.data(), times, 0) == 0 ? std::error_code()
                                                                   : e.failure();
}

namespace {

// The folder of a share entry, and the entry's name in it.
std::pair<share::Address, std::string> folderAndName(share::Address a) {
    const std::size_t slash = a.path.rfind('/');
    std::string name = a.path.substr(slash + 1);
    a.path.erase(slash);
    return {std::move(a), std::move(name)};
}

// Listings made ahead, side by side, for the folders an expansion will enter next; each is
// taken once.
std::map<std::string, share::Listed>& prefetched() {
    static std::map<std::string, share::Listed> listed;
    return listed;
}

} // namespace

std::error_code queryEntry(const fs::path& p, EntryState& out) {
    return PinnedEntry(p).query(out);
}

namespace {

// Rows read by several threads at once: on network and FUSE mounts many, as each call waits for
// a round trip and nothing about the rows asks them to wait for each other; on a local disk one
// a core, measured faster there too. The results are handed on from the calling thread.
struct Pool {
    std::vector<std::size_t> rows;
    std::vector<fs::path> paths;

    void read(std::size_t threadCount,
              const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
        std::vector<std::pair<std::error_code, EntryState>> states(rows.size());
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t k; (k = next++) < rows.size();)
                states[k].first = queryEntry(paths[k], states[k].second);
        };
        std::vector<std::thread> threads;
        for (std::size_t t = 1; t < std::min(rows.size(), threadCount); ++t)
            threads.emplace_back(work);
        work();
        for (std::thread& t : threads)
            t.join();
        for (std::size_t k = 0; k < rows.size(); ++k)
            result(rows[k], states[k].first, states[k].second);
    }
};

} // namespace

bool PinnedEntry::remote() const {
    return impl_->onShare || impl_->facts.remote;
}

void queryEntries(
    std::size_t count, const std::function<fs::path(std::size_t)>& pathOf,
    const std::function<void(std::size_t, std::error_code, const EntryState&)>& result) {
    // Share entries by folder: one listing answers them all, and the folders' listings are in
    // flight together.
    std::map<std::string, std::vector<std::pair<std::size_t, std::string>>> byFolder;
    std::vector<share::Address> folders;
    Pool remote, local;
    std::unordered_map<std::string, bool> remoteFolders;
    for (std::size_t i = 0; i < count; ++i) {
        fs::path p = pathOf(i);
        const auto address = share::isShare(p.native()) ? share::fromRow(p.native()) : std::nullopt;
        if (address && !address->path.empty()) {
            auto [folder, name] = folderAndName(*address);
            auto& rows = byFolder[share::rowText(folder)];
            if (rows.empty())
                folders.push_back(std::move(folder));
            rows.emplace_back(i, std::move(name));
            continue;
        }
        // The first row of each folder says whether the folder lies on a network or FUSE
        // mount; the folder's other rows wait for the pool that suits it.
        const auto [known, first] = remoteFolders.try_emplace(p.parent_path().native(), false);
        if (!first) {
            Pool& pool = known->second ? remote : local;
            pool.rows.push_back(i);
            pool.paths.push_back(std::move(p));
            continue;
        }
        const PinnedEntry entry(p);
        EntryState state;
        const std::error_code ec = entry.query(state);
        result(i, ec, state);
        if (first)
            known->second = !entry.error() && entry.remote();
    }
    remote.read(PoolThreads, result);
    local.read(std::max(1u, std::thread::hardware_concurrency()), result);
    std::vector<share::Listed> lists;
    share::listMany(folders, lists);
    for (std::size_t k = 0; k < folders.size(); ++k) {
        std::map<std::string_view, const wire::DirectoryEntry*> named;
        for (const auto& e : lists[k].entries)
            named.emplace(e.name, &e);
        const std::error_code ec = lists[k].error;
        for (const auto& [index, name] : byFolder[share::rowText(folders[k])]) {
            const auto it = named.find(name);
            if (ec || it == named.end())
                result(index, ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory),
                       {});
            else
                result(index, {}, stateOf(it->second->info));
        }
    }
}

void prefetchFolders(const std::vector<fs::path>& folders, bool forget) {
    if (forget) {
        prefetched().clear();
        return;
    }
    std::vector<share::Address> wanted;
    for (const fs::path& folder : folders)
        if (share::isShare(folder.native()))
            if (const auto address = share::fromRow(folder.native()))
                if (!prefetched().contains(share::rowText(*address)))
                    wanted.push_back(*address);
    if (wanted.size() < 2) // one folder is listed as fast when it is entered
        return;
    std::vector<share::Listed> lists;
    share::listMany(wanted, lists);
    for (std::size_t k = 0; k < wanted.size(); ++k)
        prefetched()[share::rowText(wanted[k])] = std::move(lists[k]);
}

std::error_code readAttributes(const fs::path& p, std::uint32_t& word) {
    EntryState state;
    if (auto ec = queryEntry(p, state))
        return ec;
    word = state.attributes;
    return {};
}

std::error_code writeAttributes(const fs::path& p, std::uint32_t word) {
    return PinnedEntry(p).writeAttributes(word);
}

std::error_code setLastWriteTime(const fs::path& p, const LocalTime& t) {
    return PinnedEntry(p).setLastWriteTime(t);
}

std::string formatLastWrite(std::int64_t secondsSinceEpoch) {
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    struct tm local {};
    if (!::localtime_r(&t, &local))
        return {};
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
    return std::string(text, n);
}

std::error_code readLastWriteText(const fs::path& p, std::string& text) {
    EntryState state;
    if (auto ec = queryEntry(p, state))
        return ec;
    text = formatLastWrite(state.lastWrite);
    return {};
}

LocalTime presentLocalTime() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min,     local.tm_sec,
            local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

namespace {

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    return S_ISLNK(mode) ? EntryKind::Link : EntryKind::Other;
}

} // namespace

struct FolderEnumerator::Impl {
    DIR* dir = nullptr;
    std::uint64_t mountId = 0;
    std::optional<share::Listed> share; // a folder on an SMB share: the server's listing
    std::size_t shareAt = 0;
};

FolderEnumerator::FolderEnumerator(const fs::path& folder, const EntryId& expected)
    : impl_(std::make_unique<Impl>()) {
    if (share::isShare(folder.native())) {
        const auto address = share::fromRow(folder.native());
        if (!address) {
            error_ = errorOf(EINVAL);
            return;
        }
        const std::string key = share::rowText(*address);
        if (const auto it = prefetched().find(key); it != prefetched().end()) {
            impl_->share = std::move(it->second);
            prefetched().erase(it);
        } else {
            impl_->share.emplace();
            share::list(*address, *impl_->share);
        }
        error_ = impl_->share->error;
        // A folder that is not the one listed under that name before is not entered.
        if (!error_ && expected.inode != 0 && impl_->share->folderId != expected.inode)
            error_ = make_error_code(Refusal::ChangedFolder);
        return;
    }
    const int fd = openWithoutLinks(folder.c_str(), O_RDONLY | O_DIRECTORY);
    struct statx sx {};
    Mounts::Key key;
    unsigned long type = 0;
    if (fd < 0 || ::statx(fd, "", AT_EMPTY_PATH, StatxWanted, &sx) != 0) {
        error_ = openFailure();
    } else if (expected.inode != 0 &&
               (makedev(sx.stx_dev_major, sx.stx_dev_minor) != expected.device ||
                sx.stx_ino != expected.inode)) {
        error_ = make_error_code(Refusal::ChangedFolder);
    } else if (!Mounts::keyOf(fd, sx, key, type)) {
        error_ = lastError();
    } else if (const std::string proc = "/proc/self/fd/" + std::to_string(fd);
               mounts().factsOf(fd, proc.c_str(), key, type).kernelView) {
        // Dropped directly or met in the walk: the kernel's views are never listed.
        error_ = make_error_code(Refusal::KernelView);
    } else if (!(impl_->dir = ::fdopendir(fd))) {
        error_ = lastError();
    }
    if (!impl_->dir && fd >= 0)
        ::close(fd);
    impl_->mountId = sx.stx_mnt_id;
}

FolderEnumerator::~FolderEnumerator() {
    if (impl_->dir)
        ::closedir(impl_->dir);
}

bool FolderEnumerator::next(FolderEntry& entry) {
    if (impl_->share) {
        if (error_ || impl_->shareAt > impl_->share->entries.size())
            return false;
        if (impl_->shareAt++ == 0) { // who the folder is
            entry.name = ".";
            entry.kind = EntryKind::Directory;
            entry.id = {0, impl_->share->folderId};
            return true;
        }
        const wire::DirectoryEntry& e = impl_->share->entries[impl_->shareAt - 2];
        entry.name = e.name;
        entry.kind = e.info.attributes & ReparsePoint      ? EntryKind::Link
                     : e.info.attributes & attr::Directory ? EntryKind::Directory
                                                           : EntryKind::File;
        entry.id = {0, e.fileId};
        return true;
    }
    if (!impl_->dir || error_)
        return false;
    errno = 0;
    const struct dirent* d = ::readdir(impl_->dir);
    if (!d) {
        if (errno != 0)
            error_ = lastError();
        return false;
    }
    entry.name = d->d_name;
    entry.id = {};
    switch (d->d_type) {
    case DT_REG:
        entry.kind = EntryKind::File;
        return true;
    case DT_LNK:
        entry.kind = EntryKind::Link;
        return true;
    case DT_DIR:
    case DT_UNKNOWN:
        break; // some file systems (older XFS, some FUSE ones) do not say; ask the inode
    default:
        entry.kind = EntryKind::Other;
        return true;
    }
    // A folder is opened later by its path: remember who it is now.
    const int dir = ::dirfd(impl_->dir);
    struct statx sx {};
    if (::statx(dir, d->d_name, AT_SYMLINK_NOFOLLOW, StatxWanted, &sx) != 0) {
        entry.kind = EntryKind::Unknown;
        return true;
    }
    entry.kind = kindOf(sx.stx_mode);
    entry.id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
    if (entry.kind == EntryKind::Directory && sx.stx_mnt_id != impl_->mountId) {
        // Another mount begins here: list it only if it is no kernel view.
        const Descriptor fd(::openat(dir, d->d_name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        Mounts::Key key;
        unsigned long type = 0;
        const std::string proc = "/proc/self/fd/" + std::to_string(fd.get());
        if (fd.get() < 0 || !Mounts::keyOf(fd.get(), sx, key, type))
            entry.kind = EntryKind::Unknown;
        else if (mounts().factsOf(fd.get(), proc.c_str(), key, type).kernelView)
            entry.kind = EntryKind::KernelView;
    }
    return true;
}

bool isLink(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string reasonText(const std::error_code& ec) {
    if (ec.category() != std::generic_category() && ec.category() != std::system_category())
        return ec.message();
    char buffer[256];
    // The GNU strerror_r: it may return a static text instead of filling the buffer.
    return ::strerror_r(ec.value(), buffer, sizeof buffer);
}

int reasonCode(const std::error_code& ec) {
    return ec.default_error_condition().value();
}

bool samePath(const fs::path::string_type& a, const fs::path::string_type& b) {
    return a == b;
}

std::size_t pathHash(const fs::path::string_type& p) {
    return std::hash<std::string>{}(p);
}

fs::path executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::string separator() {
    return "/";
}

std::string displayText(const fs::path& p) {
    return p.native();
}

} // namespace platform
