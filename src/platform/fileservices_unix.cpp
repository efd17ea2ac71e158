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
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// An O_PATH descriptor pins the inode without following a final link and without needing read
// or write permission; the calls that do not take such a descriptor reach the inode through
// its /proc name.
struct PinnedEntry {
    explicit PinnedEntry(const fs::path& p)
        : fd(::open(p.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            error = lastError();
            return;
        }
        // Swapped for a link after it was listed: refuse, never write through it.
        if (S_ISLNK(st.st_mode)) {
            error = errorOf(ELOOP);
            return;
        }
        std::snprintf(procName.data(), procName.size(), "/proc/self/fd/%d", fd.get());
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

// The stored word of an entry: from system.ntfs_attrib or user.DOSATTRIB (0 when there is no
// value, or one that does not parse, or the file system keeps no user attributes).
std::error_code readStoredWord(const char* path, dev_t dev, Store store, std::uint32_t& stored) {
    if (store == Store::Ntfs) {
        unsigned char raw[4];
        if (::getxattr(path, NtfsAttribName, raw, sizeof raw) == sizeof raw) {
            stored = fromLE(raw);
            return {};
        }
        if (!noUserXattrs(errno))
            return lastError();
        volumeStores().forget(dev);
    }
    char value[dosattrib::MaxValueSize];
    const ssize_t n = ::getxattr(path, DosAttribName, value, sizeof value);
    if (n >= 0) {
        const auto info = dosattrib::decode(value, static_cast<std::size_t>(n));
        stored = info ? info->attributes : 0;
        return {};
    }
    // ERANGE: longer than Samba reads, so no value for Samba either.
    if (errno == ENODATA || errno == ERANGE || noUserXattrs(errno)) {
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

std::error_code writeNtfsWord(const PinnedEntry& e, std::uint32_t word) {
    const char* path = e.procName.data();
    unsigned char raw[4];
    if (::getxattr(path, NtfsAttribName, raw, sizeof raw) != sizeof raw)
        return lastError();
    const std::uint32_t old = fromLE(raw);
    std::uint32_t next = (old & ~ChangeableOnNtfs) | (word & ChangeableOnNtfs);
    if (!S_ISDIR(e.st.st_mode))
        next &= ~attr::Directory; // ntfs3 would store it, and Windows show the file as a folder
    if (next == old)
        return {};
    const auto bytes = toLE(next);
    if (::setxattr(path, NtfsAttribName, bytes.data(), bytes.size(), 0) != 0)
        return lastError();
    return {};
}

std::error_code writeDosWord(const PinnedEntry& e, std::uint32_t word) {
    const char* path = e.procName.data();
    const bool isDir = S_ISDIR(e.st.st_mode);

    char oldValue[dosattrib::MaxValueSize];
    ssize_t oldSize = ::getxattr(path, DosAttribName, oldValue, sizeof oldValue);
    bool haveStore = true;
    std::optional<dosattrib::Info> old;
    if (oldSize >= 0) {
        old = dosattrib::decode(oldValue, static_cast<std::size_t>(oldSize));
    } else if (noUserXattrs(errno)) {
        haveStore = false;
    } else if (errno != ENODATA && errno != ERANGE) {
        return lastError();
    }

    const std::uint32_t wanted = word & ~(attr::Directory | attr::Compressed);
    dosattrib::Info next;
    next.attributes =
        wanted | (old ? old->attributes & attr::Compressed : 0) | (isDir ? attr::Directory : 0);
    if (old && old->hasCreateTime) {
        next.hasCreateTime = true;
        next.createTime = old->createTime;
    } else {
        // What Samba shows as create time while there is none stored; keep it from changing.
        const struct timespec* times[] = {&e.st.st_ctim, &e.st.st_mtim, &e.st.st_atim};
        const struct timespec* earliest = times[0];
        for (const auto* t : times) {
            if (t->tv_sec < earliest->tv_sec ||
                (t->tv_sec == earliest->tv_sec && t->tv_nsec < earliest->tv_nsec))
                earliest = t;
        }
        next.hasCreateTime = true;
        next.createTime = dosattrib::ntTimeFromUnix(earliest->tv_sec, earliest->tv_nsec);
    }
    const std::uint32_t storedBefore = old ? old->attributes : (isDir ? attr::Directory : 0);
    const bool changeStore = next.attributes != storedBefore;

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
            const int code = errno;
            // The owner of a file without write bits may write it once u+w is given back.
            const bool mayLend =
                code == EACCES && !isDir && e.st.st_uid == ::geteuid() && !(origMode & S_IWUSR);
            if (!mayLend)
                return errorOf(code);
            if (::chmod(path, origMode | S_IWUSR) != 0)
                return lastError();
            mode = origMode | S_IWUSR;
            if (::setxattr(path, DosAttribName, value.data(), value.size(), 0) != 0) {
                const int again = errno;
                ::chmod(path, origMode);
                return errorOf(again);
            }
        }
    }

    if (!isDir && finalMode != mode) {
        if (::chmod(path, finalMode) != 0) {
            const int code = errno;
            if (haveStore && changeStore) {
                if (oldSize >= 0)
                    ::setxattr(path, DosAttribName, oldValue, static_cast<std::size_t>(oldSize), 0);
                else
                    ::removexattr(path, DosAttribName);
            }
            if (mode != origMode)
                ::chmod(path, origMode);
            return errorOf(code);
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
    errno = 0;
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1) && errno != 0)
        return lastError();

    const PinnedEntry entry(p);
    if (entry.error)
        return entry.error;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    if (::utimensat(AT_FDCWD, entry.procName.data(), times, 0) != 0)
        return lastError();
    return {};
}

struct FolderEnumerator::Impl {
    DIR* dir = nullptr;
};

FolderEnumerator::FolderEnumerator(const fs::path& folder) : impl_(std::make_unique<Impl>()) {
    impl_->dir = ::opendir(folder.c_str());
    if (!impl_->dir)
        error_ = lastError();
}

FolderEnumerator::~FolderEnumerator() {
    if (impl_->dir)
        ::closedir(impl_->dir);
}

bool FolderEnumerator::next(FolderEntry& entry) {
    if (!impl_->dir)
        return false;
    errno = 0;
    const struct dirent* d = ::readdir(impl_->dir);
    if (!d) {
        if (errno != 0)
            error_ = lastError();
        return false;
    }
    entry.name = d->d_name;
    switch (d->d_type) {
    case DT_REG:
        entry.kind = EntryKind::File;
        break;
    case DT_DIR:
        entry.kind = EntryKind::Directory;
        break;
    case DT_LNK:
        entry.kind = EntryKind::Link;
        break;
    case DT_UNKNOWN: {
        // Some file systems (older XFS, some FUSE ones) do not say; ask the inode.
        struct stat st;
        if (::fstatat(::dirfd(impl_->dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            entry.kind = EntryKind::Unknown;
        else if (S_ISREG(st.st_mode))
            entry.kind = EntryKind::File;
        else if (S_ISDIR(st.st_mode))
            entry.kind = EntryKind::Directory;
        else if (S_ISLNK(st.st_mode))
            entry.kind = EntryKind::Link;
        else
            entry.kind = EntryKind::Other;
        break;
    }
    default:
        entry.kind = EntryKind::Other;
        break;
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
