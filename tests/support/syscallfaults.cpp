#include "support/syscallfaults.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace syscallfaults {

namespace {

struct Rule {
    Call call;
    int nth;
    Act act;
};

std::array<Rule, 4> rules;
std::size_t armed = 0;
std::array<int, 3> uses{};

// -1: no rule; 0: answer success without the call; 1: fail with errno set.
int strike(Call call) {
    const int use = ++uses[static_cast<std::size_t>(call)];
    for (std::size_t i = 0; i < armed; ++i) {
        if (rules[i].call != call || rules[i].nth != use)
            continue;
        if (rules[i].act == Act::Kill)
            ::kill(::getpid(), SIGKILL);
        errno = EIO;
        return rules[i].act == Act::Fail;
    }
    return -1;
}

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

void arm(Call call, int nth, Act act) {
    if (armed == 0)
        uses = {};
    if (armed < rules.size())
        rules[armed++] = {call, nth, act};
}

void disarm() {
    armed = 0;
}

} // namespace syscallfaults

using syscallfaults::Call;

extern "C" int chmod(const char* path, mode_t mode) noexcept {
    if (const int s = syscallfaults::strike(Call::Chmod); s >= 0)
        return -s;
    static const auto next = syscallfaults::real<int (*)(const char*, mode_t)>("chmod");
    return next(path, mode);
}

extern "C" int setxattr(const char* path, const char* name, const void* value, size_t size,
                        int flags) noexcept {
    if (const int s = syscallfaults::strike(Call::Setxattr); s >= 0)
        return -s;
    static const auto next =
        syscallfaults::real<int (*)(const char*, const char*, const void*, size_t, int)>(
            "setxattr");
    return next(path, name, value, size, flags);
}

extern "C" int utimensat(int dir, const char* path, const struct timespec times[2],
                         int flags) noexcept {
    if (const int s = syscallfaults::strike(Call::Utimensat); s >= 0)
        return -s;
    static const auto next =
        syscallfaults::real<int (*)(int, const char*, const struct timespec*, int)>("utimensat");
    return next(dir, path, times, flags);
}
