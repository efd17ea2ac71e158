// A network file system on one machine: a FUSE passthrough to a local folder that holds every
// call for a given time, as a round trip to a server would, and counts the calls by kind.
//   slowfs FOLDER MOUNTPOINT MILLISECONDS [FUSE options, e.g. -f -o attr_timeout=0]
// Reading MOUNTPOINT/.calls gives the counts since it was last opened ("getattr 12" a line), and
// the most calls held at once ("most 32"), and starts them afresh; that read is neither held nor
// counted.
#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

std::string root;
std::chrono::milliseconds delay{10};

enum Call { Getattr, Readdir, Open, Getxattr, Setxattr, Chmod, Utimens, Statfs, Other, Calls };
constexpr const char* Names[] = {"getattr", "readdir", "open",   "getxattr", "setxattr",
                                 "chmod",   "utimens", "statfs", "other"};
std::array<std::atomic<long>, Calls> counts{};
std::atomic<long> inFlight{0}, most{0};
constexpr const char* CallsFile = "/.calls";

// One call's round trip.
int held(Call c, int result) {
    ++counts[c];
    const long now = ++inFlight;
    for (long seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(delay);
    --inFlight;
    return result;
}

std::string real(const char* path) {
    return root + path;
}

int fail(int r) {
    return r < 0 ? -errno : r;
}

std::string countsText() {
    std::string text;
    for (int c = 0; c < Calls; ++c)
        text += std::string(Names[c]) + " " + std::to_string(counts[c].exchange(0)) + "\n";
    return text + "most " + std::to_string(most.exchange(0)) + "\n";
}

int on_getattr(const char* path, struct stat* st, fuse_file_info*) {
    if (std::strcmp(path, CallsFile) == 0) {
        *st = {};
        st->st_mode = S_IFREG | 0444;
        st->st_size = 4096;
        return 0;
    }
    return held(Getattr, fail(::lstat(real(path).c_str(), st)));
}

// With the entries' attributes when the kernel asks for them (READDIRPLUS), as CIFS, NFS and
// SFTP servers send them with a listing. Offsets of our own: libfuse passes the attributes on
// only then.
int on_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info*,
               fuse_readdir_flags flags) {
    DIR* dir = ::opendir(real(path).c_str());
    if (!dir)
        return held(Readdir, -errno);
    if (offset != 0)
        ::seekdir(dir, long(offset));
    const bool plus = flags & FUSE_READDIR_PLUS;
    while (const dirent* d = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = d->d_ino;
        st.st_mode = DTTOIF(d->d_type);
        if (plus && ::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (fill(buffer, d->d_name, &st, off_t(::telldir(dir)),
                 plus ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags(0)) != 0)
            break;
    }
    ::closedir(dir);
    return held(Readdir, 0);
}

int on_open(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, CallsFile) == 0) {
        // Taken at the open: Wine reads the start of a file twice.
        fi->fh = reinterpret_cast<std::uint64_t>(new std::string(countsText()));
        fi->direct_io = 1;
        return 0;
    }
    const int fd = ::open(real(path).c_str(), fi->flags & ~O_CREAT);
    if (fd < 0)
        return held(Open, -errno);
    fi->fh = std::uint64_t(fd);
    return held(Open, 0);
}

int on_read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    if (std::strcmp(path, CallsFile) == 0) {
        const auto& text = *reinterpret_cast<const std::string*>(fi->fh);
        const std::size_t n =
            offset < off_t(text.size()) ? std::min(size, text.size() - offset) : 0;
        std::memcpy(buffer, text.data() + offset, n);
        return int(n);
    }
    return held(Other, fail(int(::pread(int(fi->fh), buffer, size, offset))));
}

int on_release(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, CallsFile) == 0)
        delete reinterpret_cast<std::string*>(fi->fh);
    else
        ::close(int(fi->fh));
    return 0;
}

int on_getxattr(const char* path, const char* name, char* value, size_t size) {
    return held(Getxattr, fail(int(::lgetxattr(real(path).c_str(), name, value, size))));
}

int on_setxattr(const char* path, const char* name, const char* value, size_t size, int flags) {
    return held(Setxattr, fail(::lsetxattr(real(path).c_str(), name, value, size, flags)));
}

int on_chmod(const char* path, mode_t mode, fuse_file_info*) {
    return held(Chmod, fail(::chmod(real(path).c_str(), mode)));
}

int on_utimens(const char* path, const timespec times[2], fuse_file_info*) {
    return held(Utimens,
                fail(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW)));
}

int on_statfs(const char*, struct statvfs* st) {
    return held(Statfs, fail(::statvfs(root.c_str(), st)));
}

} // namespace

// Lookups in one folder side by side, as a network file system's client sends them.
void* on_init(fuse_conn_info* conn, fuse_config*) {
    conn->want |= conn->capable & FUSE_CAP_PARALLEL_DIROPS;
    return nullptr;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: slowfs FOLDER MOUNTPOINT MILLISECONDS [FUSE options]\n");
        return 2;
    }
    char* resolved = ::realpath(argv[1], nullptr);
    if (!resolved)
        return 2;
    root = resolved;
    std::free(resolved);
    delay = std::chrono::milliseconds(std::atol(argv[3]));
    fuse_operations ops{};
    ops.getattr = on_getattr;
    ops.readdir = on_readdir;
    ops.open = on_open;
    ops.read = on_read;
    ops.release = on_release;
    ops.getxattr = on_getxattr;
    ops.setxattr = on_setxattr;
    ops.chmod = on_chmod;
    ops.utimens = on_utimens;
    ops.statfs = on_statfs;
    ops.init = on_init;
    // fuse_main takes: program, mount point, the options after the delay.
    std::vector<char*> args{argv[0], argv[2]};
    for (int i = 4; i < argc; ++i)
        args.push_back(argv[i]);
    return fuse_main(int(args.size()), args.data(), &ops, nullptr);
}
