#include "platform/wordstores_linux.h"

#include "platform/dosattrib.h"

#include <array>
#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#ifndef SYS_getxattrat
#define SYS_getxattrat 464 // Linux 6.13; one number on every architecture but alpha
#endif

namespace platform::unixfs {

namespace {

constexpr const char* DosAttribName = "user.DOSATTRIB";
constexpr const char* NtfsAttribName = "system.ntfs_attrib";
constexpr std::uint32_t ChangeableOnNtfs = attr::Classic;

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

// /proc/self/fd, opened once: getxattrat (Linux 6.13) then finds the pinned entry by its number
// alone, without walking /proc/self/fd each time (a seventh of a local row's read). A child
// after fork() opens its own, as its /proc/self is another. -1: not there, or an older kernel.
int procFdFolder() {
    static std::mutex mutex;
    static std::atomic<int> folder{-1};
    static std::atomic<pid_t> owner{0};
    const pid_t self = ::getpid();
    if (owner.load(std::memory_order_acquire) == self)
        return folder.load(std::memory_order_relaxed);
    std::lock_guard lock(mutex);
    if (owner.load(std::memory_order_relaxed) != self) {
        // The parent's descriptor stays the parent's: a child does not close it.
        folder = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        owner.store(self, std::memory_order_release);
    }
    return folder.load(std::memory_order_relaxed);
}

// A stored value of the pinned entry: through /proc/self/fd opened once where the kernel has
// getxattrat, else through the entry's /proc name.
ssize_t readOfPinned(const PinnedEntry::Impl& e, const char* name, void* value, std::size_t size) {
    static std::atomic<bool> noGetxattrat{false};
    if (!noGetxattrat.load(std::memory_order_relaxed)) {
        if (const int folder = procFdFolder(); folder >= 0) {
            struct {
                std::uint64_t value;
                std::uint32_t size, flags;
            } args{reinterpret_cast<std::uintptr_t>(value), static_cast<std::uint32_t>(size), 0};
            const char* number = e.procName.data() + sizeof "/proc/self/fd/" - 1;
            const long n = ::syscall(SYS_getxattrat, folder, number, 0, name, &args, sizeof args);
            if (n >= 0 || errno != ENOSYS)
                return n;
            noGetxattrat = true;
        }
    }
    return ::getxattr(e.procName.data(), name, value, size);
}

} // namespace

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
    const ssize_t n = readOfPinned(e, DosAttribName, value, sizeof value);
    e.dosValue.reset();
    if (n >= 0) {
        const auto info = dosattrib::decode(value, static_cast<std::size_t>(n));
        stored = info ? info->attributes : 0;
        e.dosValue.emplace(std::string(value, static_cast<std::size_t>(n)));
        return {};
    }
    if (errno == ENODATA)
        e.dosValue.emplace();
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

    // What the query before this write read, else read now; known again only once read back.
    const auto known = std::exchange(e.dosValue, std::nullopt);
    std::string oldValue;
    const bool hadValue =
        known ? known->has_value() : readValue(path, DosAttribName, oldValue) >= 0;
    if (known && hadValue)
        oldValue = **known;
    bool haveStore = true;
    std::optional<dosattrib::Info> old;
    if (hadValue) {
        old = dosattrib::decode(oldValue.data(), oldValue.size());
    } else if (!known) {
        if (noUserXattrs(errno))
            haveStore = false;
        else if (errno != ENODATA)
            return e.failure();
    }

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

    std::string readBackValue;
    if (changeStore) {
        std::string stored;
        const bool readBack = readValue(path, DosAttribName, stored) >= 0;
        if (!readBack && errno != ENODATA)
            return undo(e.failure());
        const auto kept = readBack ? dosattrib::decode(stored.data(), stored.size()) : std::nullopt;
        if (!kept || kept->attributes != next.attributes)
            return undo(make_error_code(Refusal::NotKept));
        readBackValue = std::move(stored);
    }
    if (mode != origMode) {
        e.stale = true;
        if (auto ec = e.restat())
            return ec;
        if ((e.st.st_mode & 07777) != mode)
            return undo(make_error_code(Refusal::NotKept));
    }
    if (haveStore) // as read back, or as it was where nothing needed writing
        e.dosValue.emplace(changeStore ? std::move(readBackValue) : std::move(oldValue));
    return {};
}

} // namespace platform::unixfs
