#include "platform/linkfree_linux.h"

#include "platform/fileservices.h"

#include <atomic>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace platform {

namespace {
// A link anywhere in a listed path was put there after the listing (rows hold paths without
// links): nothing is opened through one. openat2 refuses them in one call (Linux 5.6 and
// later); before, each component is opened beneath the one before without following it.
bool walkComponents = false;
} // namespace

void forceComponentWalk(bool on) {
    walkComponents = on;
}

namespace unixfs {

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

} // namespace

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

int openBelow(int folder, const char* name, int flags) {
    struct open_how how {};
    how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const int fd = static_cast<int>(::syscall(SYS_openat2, folder, name, &how, sizeof how));
    if (fd >= 0 || errno != ENOSYS)
        return fd;
    // One component: O_NOFOLLOW opens a link itself, which the caller refuses.
    return ::openat(folder, name, flags | O_NOFOLLOW | O_CLOEXEC);
}

std::error_code openFailure() {
    return errno == ELOOP ? make_error_code(Refusal::LinkInPath) : lastError();
}

} // namespace unixfs

} // namespace platform
