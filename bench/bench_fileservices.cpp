// The file services against a bare loop of the same system calls, over 100,000 files in 5,000
// folders: reading word and time (the situation check's queryEntry) and writing them (the apply
// run). Prints raw times, then read_ratio and write_ratio (layer / bare, best of three each).
#include "platform/dosattrib.h"
#include "platform/fileservices.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Folders = 5000;
constexpr int FilesPerFolder = 20;
constexpr int Rounds = 3;

std::vector<fs::path> makeTree(const fs::path& root) {
    std::vector<fs::path> files;
    files.reserve(Folders * FilesPerFolder);
    for (int d = 0; d < Folders; ++d) {
        const fs::path folder = root / ("ordner" + std::to_string(d));
        fs::create_directory(folder);
        for (int f = 0; f < FilesPerFolder; ++f) {
            fs::path p = folder / ("datei" + std::to_string(f) + ".txt");
            const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::write(fd, "x", 1);
                ::close(fd);
            }
            files.push_back(std::move(p));
        }
    }
    return files;
}

double millisecondsOf(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The calls queryEntry makes, nothing around them: pin the entry without following a link, its
// stat and its stored value through the pinned descriptor.
void bareRead(const std::vector<fs::path>& files, std::uint64_t& sink) {
    char value[256];
    char proc[32];
    for (const fs::path& p : files) {
        const int fd = ::open(p.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (::fstat(fd, &st) == 0)
            sink += static_cast<std::uint64_t>(st.st_mtim.tv_sec);
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        const ssize_t n = ::getxattr(proc, "user.DOSATTRIB", value, sizeof value);
        sink += static_cast<std::uint64_t>(n);
        ::close(fd);
    }
}

// The calls a word and a time cost before a row was pinned once: two pins, the stored value
// read and the new one written, the time set; the value and the time made once. The layer now
// pins once and reads back what it wrote: it must not cost more than these.
void bareWrite(const std::vector<fs::path>& files, const std::string& value, std::time_t when) {
    char old[256];
    char proc[32];
    const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    for (const fs::path& p : files) {
        int fd = ::open(p.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        ::fstat(fd, &st);
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        ::getxattr(proc, "user.DOSATTRIB", old, sizeof old);
        ::setxattr(proc, "user.DOSATTRIB", value.data(), value.size(), 0);
        ::close(fd);
        fd = ::open(p.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        ::fstat(fd, &st);
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        ::utimensat(AT_FDCWD, proc, times, 0);
        ::close(fd);
    }
}

} // namespace

int main() {
    char pattern[] = "/tmp/bench-fileservices-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const std::vector<fs::path> files = makeTree(root);
    std::printf("files: %zu in %d folders under %s\n", files.size(), Folders, root.c_str());

    std::uint64_t sink = 0;
    bareRead(files, sink); // warm the caches

    double readLayer = 1e300, readBare = 1e300, writeLayer = 1e300, writeBare = 1e300;
    std::size_t failures = 0;
    using platform::attr::Archive;
    using platform::attr::Hidden;
    for (int round = 0; round < Rounds; ++round) {
        readBare = std::min(readBare, millisecondsOf([&] { bareRead(files, sink); }));
        readLayer = std::min(readLayer, millisecondsOf([&] {
                                 platform::EntryState state;
                                 for (const fs::path& p : files) {
                                     failures += platform::queryEntry(p, state) ? 1 : 0;
                                     sink += state.attributes;
                                 }
                             }));

        // Each round writes a word the files do not have yet, so every write is a real one.
        const std::uint32_t bareWord = round % 2 ? Archive : Hidden | Archive;
        const std::string value = platform::dosattrib::encode({bareWord, true, 0});
        const std::time_t when = 1610708400 + round;
        writeBare = std::min(writeBare, millisecondsOf([&] { bareWrite(files, value, when); }));
        const std::uint32_t word = round % 2 ? Hidden | Archive : Archive;
        const platform::LocalTime moment{12, 0, round, 15, 1, 2021};
        writeLayer = std::min(writeLayer, millisecondsOf([&] {
                                  for (const fs::path& p : files) {
                                      platform::PinnedEntry entry(p);
                                      failures += entry.setLastWriteTime(moment) ? 1 : 0;
                                      failures += entry.writeAttributes(word) ? 1 : 0;
                                  }
                              }));
    }

    std::error_code ec;
    fs::remove_all(root, ec);

    std::printf("read word+time, layer (queryEntry):          %8.1f ms\n", readLayer);
    std::printf("read word+time, bare pin/fstat/getxattr:     %8.1f ms\n", readBare);
    std::printf("write word+time, layer:                      %8.1f ms\n", writeLayer);
    std::printf("write word+time, bare open/getxattr/setxattr/utimensat: %8.1f ms\n", writeBare);
    std::printf("failures: %zu (checksum %llu)\n", failures,
                static_cast<unsigned long long>(sink % 1000));
    std::printf("read_ratio: %.2f\n", readLayer / readBare);
    std::printf("write_ratio: %.2f\n", writeLayer / writeBare);
    return failures == 0 ? 0 : 1;
}
