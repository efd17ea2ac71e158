// Linux has no attribute word of its own. It lives where the programs that share files with
// Windows keep it: system.ntfs_attrib on NTFS volumes, user.DOSATTRIB (Samba's and Wine's
// store) everywhere else. R of a file is also carried by its write bits, which every Linux
// program honours.
#include "platform/fileservices.h"

#include "platform/dosattrib.h"
#include "platform/fsstores_linux.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>

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
constexpr std::uint32_t ChangeableOnNtfs =
    attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;

std::error_code lastError() {
    return {errno, std::generic_category()};
}
std::error_code errorOf(int code) {
    return {code, std::generic_category()};
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
    return errno == ELOOP ? refusal(Refusal::LinkInPath) : lastError();
}

// An O_PATH descriptor pins the inode without needing read or write permission; the calls that
// do not take such a descriptor reach the inode through its /proc name.
struct PinnedEntry {
    explicit PinnedEntry(const fs::path& p) : fd(openWithoutLinks(p.c_str(), O_PATH)) {
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
            error = openFailure();
        else if (S_ISLNK(st.st_mode)) // swapped for a link after it was listed
            error = refusal(Refusal::LinkInPath);
        else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            error = refusal(Refusal::NotFileOrFolder);
        else
            std::snprintf(procName.data(), procName.size(), "/proc/self/fd/%d", fd.get());
    }

    // The failure of a call through procName: without /proc every one of them fails with
    // ENOENT, which would name the wrong cause.
    std::error_code failure() const {
        const int code = errno;
        if (code == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            return refusal(Refusal::NoProc);
        return errorOf(code);
    }

    Descriptor fd;
    std::error_code error;
    struct stat st {};
    std::array<char, 32> procName{};
};

enum class Store { Dos, Ntfs, Fat, Cifs };

// Which store a file system uses, asked once per device: FAT, exFAT and CIFS by their type,
// else the first getxattr of system.ntfs_attrib tells, and only NTFS drivers know that name.
class VolumeStores {
public:
    Store storeOf(dev_t dev, const char* path) {
        thread_local bool haveLast = false;
        thread_local dev_t lastDev = 0;
        thread_local Store lastStore = Store::Dos;
        thread_local unsigned lastGeneration = 0;
        if (haveLast && lastDev == dev && lastGeneration == generation_.load())
            return lastStore;

        Store store = Store::Dos;
        bool known = false;
        {
            std::lock_guard lock(mutex_);
            if (auto it = stores_.find(dev); it != stores_.end()) {
                store = it->second;
                known = true;
            }
        }
        if (!known && (store = nativeStore(path)) != Store::Dos) {
            std::lock_guard lock(mutex_);
            stores_[dev] = store;
        } else if (!known) {
            std::uint32_t raw = 0;
            const ssize_t n = ::getxattr(path, NtfsAttribName, &raw, sizeof raw);
            const int code = errno;
            if (n == sizeof raw)
                store = Store::Ntfs;
            else if (n >= 0 || noUserXattrs(code) || code == ENODATA || code == ERANGE)
                store = Store::Dos;
            else
                return Store::Dos; // no answer from this entry (EACCES …): ask again next time
            std::lock_guard lock(mutex_);
            stores_[dev] = store;
        }
        haveLast = true;
        lastDev = dev;
        lastStore = store;
        lastGeneration = generation_.load();
        return store;
    }

    // A device number can come back for another file system after an unmount.
    void forget(dev_t dev) {
        std::lock_guard lock(mutex_);
        stores_.erase(dev);
        ++generation_;
    }

    static fsstores::Native native(Store store) {
        return store == Store::Fat    ? fsstores::Native::Fat
               : store == Store::Cifs ? fsstores::Native::Cifs
                                      : fsstores::Native::None;
    }

private:
    static Store nativeStore(const char* path) {
        switch (fsstores::nativeStoreOf(path)) {
        case fsstores::Native::Fat:
            return Store::Fat;
        case fsstores::Native::Cifs:
            return Store::Cifs;
        default:
            return Store::Dos;
        }
    }

    std::mutex mutex_;
    std::unordered_map<dev_t, Store> stores_;
    std::atomic<unsigned> generation_{0};
};

VolumeStores& volumeStores() {
    static VolumeStores stores;
    return stores;
}

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
std::error_code readStoredWord(const char* path, dev_t dev, Store store, std::uint32_t& stored) {
    if (store == Store::Ntfs) {
        unsigned char raw[4];
        const ssize_t n = ::getxattr(path, NtfsAttribName, raw, sizeof raw);
        if (n == sizeof raw) {
            stored = fromLE(raw);
            return {};
        }
        const int code = errno;
        // The device number may belong to another file system by now: ask afresh.
        volumeStores().forget(dev);
        if (volumeStores().storeOf(dev, path) == Store::Ntfs)
            return n >= 0 ? refusal(Refusal::BadStoredValue) : errorOf(code);
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
    return lastError();
}

std::uint32_t composeWord(std::uint32_t stored, const struct stat& st) {
    std::uint32_t word = stored & ~attr::Directory;
    if (S_ISDIR(st.st_mode))
        word |= attr::Directory;
    else if ((st.st_mode & 0222) == 0)
        word |= attr::ReadOnly;
    return word;
}

std::error_code writeDosWord(const PinnedEntry& e, std::uint32_t word);

std::error_code writeNtfsWord(const PinnedEntry& e, std::uint32_t word) {
    const char* path = e.procName.data();
    unsigned char raw[4];
    const ssize_t n = ::getxattr(path, NtfsAttribName, raw, sizeof raw);
    if (n != sizeof raw) {
        const std::error_code ec = n >= 0 ? refusal(Refusal::BadStoredValue) : e.failure();
        volumeStores().forget(e.st.st_dev);
        if (volumeStores().storeOf(e.st.st_dev, path) == Store::Ntfs)
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

std::error_code writeDosWord(const PinnedEntry& e, std::uint32_t word) {
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

    const std::uint32_t wanted = word & ~(attr::Directory | attr::Compressed);
    dosattrib::Info next;
    next.attributes =
        wanted | (old ? old->attributes & attr::Compressed : 0) | (isDir ? attr::Directory : 0);
    next.hasCreateTime = true;
    // Frozen at the first write, before a touch of the row can move it.
    next.createTime = old && old->hasCreateTime ? old->createTime : shownCreateTime(e.st);
    // Also written when only the creation time is new, or the old value does not parse.
    const bool changeStore = !old || !old->hasCreateTime || next.attributes != old->attributes;

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

    if (haveStore && changeStore) {
        const std::string value = dosattrib::encode(next);
        if (::setxattr(path, DosAttribName, value.data(), value.size(), 0) != 0) {
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
                return again;
            }
        }
    }

    if (!isDir && finalMode != mode) {
        if (::chmod(path, finalMode) != 0) {
            const std::error_code ec = e.failure();
            if (haveStore && changeStore) {
                if (hadValue)
                    ::setxattr(path, DosAttribName, oldValue.data(), oldValue.size(), 0);
                else
                    ::removexattr(path, DosAttribName);
            }
            if (mode != origMode)
                ::chmod(path, origMode);
            return ec;
        }
    }
    return {};
}

int daysInMonth(int month, int year) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

} // namespace

std::error_code queryEntry(const fs::path& p, EntryState& out) {
    struct stat st;
    if (::stat(p.c_str(), &st) != 0)
        return lastError();
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return refusal(Refusal::NotFileOrFolder);
    out.lastWrite = st.st_mtim.tv_sec;
    const Store store = volumeStores().storeOf(st.st_dev, p.c_str());
    if (store == Store::Fat || store == Store::Cifs)
        return fsstores::readWord(VolumeStores::native(store), p.c_str(), st, out.attributes);
    std::uint32_t stored = 0;
    if (auto ec = readStoredWord(p.c_str(), st.st_dev, store, stored))
        return ec;
    out.attributes = composeWord(stored, st);
    return {};
}

std::error_code readAttributes(const fs::path& p, std::uint32_t& word) {
    EntryState state;
    if (auto ec = queryEntry(p, state))
        return ec;
    word = state.attributes;
    return {};
}

std::error_code writeAttributes(const fs::path& p, std::uint32_t word) {
    const PinnedEntry entry(p);
    if (entry.error)
        return entry.error;
    // The one place that chooses the store of a file system.
    const Store store = volumeStores().storeOf(entry.st.st_dev, entry.procName.data());
    if (store == Store::Ntfs)
        return writeNtfsWord(entry, word);
    if (store != Store::Dos)
        return fsstores::writeWord(VolumeStores::native(store), entry.fd.get(), entry.st, word);
    return writeDosWord(entry, word);
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
    struct stat st;
    if (::stat(p.c_str(), &st) != 0)
        return lastError();
    text = formatLastWrite(st.st_mtim.tv_sec);
    return {};
}

LocalTime presentLocalTime() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min,     local.tm_sec,
            local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

std::error_code setLastWriteTime(const fs::path& p, const LocalTime& t) {
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
    std::time_t when = std::mktime(&local);
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

    const PinnedEntry entry(p);
    if (entry.error)
        return entry.error;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    if (::utimensat(AT_FDCWD, entry.procName.data(), times, 0) != 0)
        return entry.failure();
    return {};
}

namespace {

// The kernel's own views of itself: nothing in them is a user's file, and writing there can
// change the running system.
constexpr std::string_view KernelViews[] = {
    "proc",       "sysfs",    "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs",   "tracefs",
    "securityfs", "configfs", "efivarfs", "bpf",    "pstore", "mqueue",  "hugetlbfs", "fusectl"};
constexpr unsigned long KernelViewMagics[] = {
    PROC_SUPER_MAGIC,          SYSFS_MAGIC,     DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC,
    CGROUP2_SUPER_MAGIC,       DEBUGFS_MAGIC,   TRACEFS_MAGIC,      SECURITYFS_MAGIC,
    0x62656570 /* configfs */, EFIVARFS_MAGIC,  BPF_FS_MAGIC,       PSTOREFS_MAGIC,
    0x19800202 /* mqueue */,   HUGETLBFS_MAGIC, 0x65735543 /* fusectl */};

// The type the mount table gives the file system of \p dev; empty without /proc.
std::string mountType(dev_t dev) {
    std::ifstream table("/proc/self/mountinfo");
    const std::string id = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    for (std::string line; std::getline(table, line);) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw"
        std::size_t field = line.find(' ', line.find(' ') + 1);
        if (line.compare(field + 1, id.size() + 1, id + " ") != 0)
            continue;
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        return line.substr(dash + 3, line.find(' ', dash + 3) - dash - 3);
    }
    return {};
}

// Asked once per device; devtmpfs only the mount table tells from tmpfs.
bool isKernelView(dev_t dev, const char* path) {
    static std::mutex mutex;
    static std::unordered_map<dev_t, bool> known;
    std::lock_guard lock(mutex);
    if (auto it = known.find(dev); it != known.end())
        return it->second;
    bool view = false;
    if (const std::string type = mountType(dev); !type.empty()) {
        for (const std::string_view v : KernelViews)
            view = view || type == v;
    } else if (struct statfs fsInfo; ::statfs(path, &fsInfo) == 0) {
        for (const unsigned long magic : KernelViewMagics)
            view = view || static_cast<unsigned long>(fsInfo.f_type) == magic;
    }
    known[dev] = view;
    return view;
}

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
    dev_t device = 0;
    std::string path;
};

FolderEnumerator::FolderEnumerator(const fs::path& folder, const EntryId& expected)
    : impl_(std::make_unique<Impl>()) {
    const int fd = openWithoutLinks(folder.c_str(), O_RDONLY | O_DIRECTORY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error_ = openFailure();
    } else if (expected.inode != 0 &&
               (st.st_dev != expected.device || st.st_ino != expected.inode)) {
        error_ = refusal(Refusal::ChangedFolder);
    } else if (!(impl_->dir = ::fdopendir(fd))) {
        error_ = lastError();
    }
    if (!impl_->dir && fd >= 0)
        ::close(fd);
    impl_->device = st.st_dev;
    impl_->path = folder.native();
}

FolderEnumerator::~FolderEnumerator() {
    if (impl_->dir)
        ::closedir(impl_->dir);
}

bool FolderEnumerator::next(FolderEntry& entry) {
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
    struct stat st;
    if (::fstatat(::dirfd(impl_->dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.kind = EntryKind::Unknown;
        return true;
    }
    entry.kind = kindOf(st.st_mode);
    entry.id = {st.st_dev, st.st_ino};
    if (entry.kind == EntryKind::Directory && st.st_dev != impl_->device &&
        isKernelView(st.st_dev, (impl_->path + "/" + d->d_name).c_str()))
        entry.kind = EntryKind::KernelView;
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
