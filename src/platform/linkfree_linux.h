// Opening by path without going through a link anywhere on the way, and what the Linux file
// layer's parts share for their descriptors and failures. Internal to src/platform.
#pragma once

#include <cerrno>
#include <system_error>

#include <unistd.h>

namespace platform::unixfs {

inline std::error_code lastError() {
    return {errno, std::generic_category()};
}
inline std::error_code errorOf(int code) {
    return {code, std::generic_category()};
}
inline bool noUserXattrs(int code) {
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

/// open(2) of \p path with \p flags, refusing a link in any component (ELOOP).
int openWithoutLinks(const char* path, int flags);
/// open(2) of \p name, one component, in the folder \p folder is open on, without following a
/// link.
int openBelow(int folder, const char* name, int flags);
/// The failure of openWithoutLinks(): a link is our refusal LinkInPath.
std::error_code openFailure();

} // namespace platform::unixfs
