#include "platform/fsstores_linux.h"

#include "platform/fileservices.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform::fsstores {

namespace {

constexpr std::uint32_t Changeable = attr::Classic;
using attr::Normal;
constexpr const char* CifsAttribName = "user.cifs.dosattrib";

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// A descriptor opened here, closed when it goes out of scope.
struct OwnFd {
    explicit OwnFd(int f) : fd(f) {}
    ~OwnFd() {
        if (fd >= 0)
            ::close(fd);
    }
    OwnFd(const OwnFd&) = delete;
    const int fd;
};

// The magic link of a descriptor leads to its own inode, never through a symbolic link.
std::string procName(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// The FAT ioctls need a descriptor opened for real; read access is enough to set. Reopened
// through the pinned entry's magic link (which O_NOFOLLOW would refuse), it is the same file or
// folder, never a link or a FIFO.
int openForIoctl(const char* path) {
    return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

bool noFatIoctls(int code) {
    return code == ENOTTY;
}

// exFAT before Linux 6.12 has no FAT ioctls: R of a file is its missing write bits, and
// nothing else can be read or set.
std::uint32_t wordFromMode(const struct stat& st) {
    if (S_ISDIR(st.st_mode))
        return attr::Directory;
    return (st.st_mode & 0222) == 0 ? attr::ReadOnly : 0;
}

std::error_code writeFromMode(const char* path, const struct stat& st, std::uint32_t wanted) {
    if ((wanted & ~attr::ReadOnly) != 0 || (S_ISDIR(st.st_mode) && wanted != 0))
        return make_error_code(Refusal::OldExfatDriver);
    if (S_ISDIR(st.st_mode) || (wanted != 0) == ((st.st_mode & 0222) == 0))
        return {};
    // The driver keeps only the write bits its fmask allows and refuses any other mix.
    const mode_t mode = wanted ? st.st_mode & 07555 : st.st_mode | 0222;
    if (::chmod(path, mode) != 0)
        return lastError();
    struct stat after;
    if (::stat(path, &after) != 0)
        return lastError();
    if (((after.st_mode & 0222) == 0) != (wanted != 0)) {
        ::chmod(path, st.st_mode & 07777);
        return make_error_code(Refusal::NotKept);
    }
    return {};
}

std::error_code getFat(int fd, std::uint32_t& word) {
    __u32 raw = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &raw) != 0)
        return lastError();
    word = raw & ~static_cast<std::uint32_t>(ATTR_VOLUME);
    return {};
}

std::error_code setFat(int fd, std::uint32_t word) {
    __u32 raw = word;
    return ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &raw) == 0 ? std::error_code() : lastError();
}

std::error_code writeFat(const char* path, const struct stat& st, std::uint32_t word) {
    const OwnFd fd(openForIoctl(path));
    if (fd.fd < 0)
        return lastError();
    std::uint32_t old = 0;
    if (auto ec = getFat(fd.fd, old))
        return noFatIoctls(ec.value()) ? writeFromMode(path, st, word & Changeable) : ec;
    const std::uint32_t next = (old & ~Changeable) | (word & Changeable);
    if (next == old)
        return {};
    if (auto ec = setFat(fd.fd, next))
        return ec;
    // The driver drops what it cannot keep without a word (R of a folder on some mounts, R
    // outside the fmask): say so instead of reporting success.
    std::uint32_t kept = 0;
    if (auto ec = getFat(fd.fd, kept))
        return ec;
    if ((kept & Changeable) != (next & Changeable)) {
        setFat(fd.fd, old);
        return make_error_code(Refusal::NotKept);
    }
    return {};
}

std::error_code getCifs(const char* path, std::uint32_t& word) {
    unsigned char raw[4];
    if (::getxattr(path, CifsAttribName, raw, sizeof raw) != sizeof raw)
        return lastError();
    word = raw[0] | (raw[1] << 8) | (raw[2] << 16) | (static_cast<std::uint32_t>(raw[3]) << 24);
    return {};
}

std::error_code writeCifs(const char* path, const struct stat& st, std::uint32_t word) {
    std::uint32_t old = 0;
    if (auto ec = getCifs(path, old))
        return ec;
    std::uint32_t next = (old & ~(Changeable | Normal | attr::Directory)) | (word & Changeable);
    if (S_ISDIR(st.st_mode))
        next |= attr::Directory; // a server refuses a folder's word without it, a file's with it
    if (next == 0)
        next = Normal;
    if (next == old)
        return {};
    const unsigned char raw[4] = {
        static_cast<unsigned char>(next), static_cast<unsigned char>(next >> 8),
        static_cast<unsigned char>(next >> 16), static_cast<unsigned char>(next >> 24)};
    if (::setxattr(path, CifsAttribName, raw, sizeof raw, 0) != 0)
        return lastError();
    // The server may refuse a bit without saying so (a read-only share, an attribute it does
    // not keep): what it answers now is what counts.
    std::uint32_t kept = 0;
    if (auto ec = getCifs(path, kept))
        return ec;
    if ((kept & Changeable) != (next & Changeable)) {
        const unsigned char back[4] = {
            static_cast<unsigned char>(old), static_cast<unsigned char>(old >> 8),
            static_cast<unsigned char>(old >> 16), static_cast<unsigned char>(old >> 24)};
        ::setxattr(path, CifsAttribName, back, sizeof back, 0);
        return make_error_code(Refusal::NotKept);
    }
    return {};
}

} // namespace

Native nativeStoreOf(unsigned long fsType) {
    switch (static_cast<std::uint32_t>(fsType)) {
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
        return Native::Fat;
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
        return Native::Cifs;
    default:
        return Native::None;
    }
}

std::error_code readWord(Native store, int pinnedFd, const struct stat& st, std::uint32_t& word) {
    const std::string name = procName(pinnedFd);
    const char* path = name.c_str();
    if (store == Native::Cifs) {
        // R from the server's word alone: the mode bits the client shows lag behind it.
        if (auto ec = getCifs(path, word))
            return ec;
        word &= ~(Normal | attr::Directory);
    } else {
        const OwnFd fd(openForIoctl(path));
        if (fd.fd < 0)
            return lastError();
        if (auto ec = getFat(fd.fd, word)) {
            if (!noFatIoctls(ec.value()))
                return ec;
            word = wordFromMode(st);
        }
        word &= ~attr::Directory;
    }
    if (S_ISDIR(st.st_mode))
        word |= attr::Directory;
    return {};
}

std::error_code writeWord(Native store, int pinnedFd, const struct stat& st, std::uint32_t word) {
    const std::string path = procName(pinnedFd);
    if (store == Native::Cifs)
        return writeCifs(path.c_str(), st, word);
    return writeFat(path.c_str(), st, word);
}

} // namespace platform::fsstores
