// Linux: a folder seen through slowfs, a FUSE passthrough of the tests' own that holds every call
// 10 ms, as on a network mount: the kernel's caches off, as a client that may not cache has it.
#pragma once

#include "support/slowfscalls.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace scratch {

/// Mounted while it lives; mounted() says whether it came up (no /dev/fuse: skip).
class SlowMount {
public:
    explicit SlowMount(const std::filesystem::path& backing, const std::filesystem::path& at)
        : at_(at) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::freopen("/dev/null", "w", stderr); // libfuse's notes on its own defaults
            ::execl(DATEIMARK_SLOWFS, "slowfs", backing.c_str(), at.c_str(), "10", "-f", "-o",
                    "attr_timeout=0,entry_timeout=0,negative_timeout=0,max_threads=64",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 250 && !mounted(); ++i)
            ::usleep(20'000);
    }
    ~SlowMount() {
        std::system(("fusermount3 -u " + at_.native() + " 2>/dev/null").c_str());
        ::waitpid(pid_, nullptr, 0);
    }
    bool mounted() const {
        struct statfs info {};
        return ::statfs(at_.c_str(), &info) == 0 && info.f_type == 0x65735546;
    }
    // The calls since the last time asked, by kind ("most": the most held at once).
    std::map<std::string, long> calls() const { return slowfsCalls(at_); }

private:
    std::filesystem::path at_;
    pid_t pid_ = -1;
};

/// Whether this machine can mount slowfs.
inline bool canMountSlowly() {
    return ::access("/dev/fuse", R_OK | W_OK) == 0 &&
           std::system("command -v fusermount3 >/dev/null") == 0;
}

} // namespace scratch
