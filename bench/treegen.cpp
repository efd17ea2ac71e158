#include "treegen.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

// Sparse enough that the listing stays dominated by ordinary entries, dense enough that every
// tree of benchmark size has some of them.
constexpr std::size_t hiddenFolderEvery = 200;
constexpr std::size_t hiddenFileEvery = 1000;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// The smallest branching for which the deepest level alone could hold all folders: as bushy as
// needed to stay within the depth, and no bushier, so that many folders reach that depth.
std::size_t branchingFor(std::size_t folders, int depth) {
    std::size_t branching = 1;
    for (;;) {
        std::size_t capacity = 1;
        for (int level = 0; level < depth && capacity < folders; ++level)
            capacity *= branching;
        if (capacity >= folders)
            return branching;
        ++branching;
    }
}

std::string childPath(const std::string& parent, char kind, std::size_t index,
                      std::size_t hiddenEvery, const char* suffix) {
    char name[48];
    const bool hidden = index % hiddenEvery == hiddenEvery - 1;
    std::snprintf(name, sizeof name, "/%s%c%07zu%s", hidden ? "." : "", kind, index, suffix);
    return parent + name;
}

// Empties the folder open as \p fd and closes it. Works on names relative to open folders with
// the entry type from the listing: a fraction of the calls std::filesystem::remove_all makes.
std::error_code emptyFolder(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const std::error_code ec = lastError();
        ::close(fd);
        return ec;
    }
    std::error_code ec;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder =
                ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (folder) {
            const int child =
                ::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ec = child < 0 ? lastError() : emptyFolder(child);
        }
        if (!ec && ::unlinkat(fd, entry->d_name, folder ? AT_REMOVEDIR : 0) != 0)
            ec = lastError();
        if (ec)
            break;
    }
    ::closedir(dir);
    return ec;
}

} // namespace

std::error_code makeTree(const std::filesystem::path& root, std::size_t files, std::size_t folders,
                         int depth) {
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    if (ec)
        return ec;
    if (depth < 1)
        folders = 0;

    // Heap order: folder i hangs below entry i / branching, where entry 0 is the root and entry
    // j + 1 is folder j; that fills the tree level by level.
    std::vector<std::string> entries;
    entries.reserve(folders + 1);
    entries.push_back(root.string());
    const std::size_t branching = folders > 0 ? branchingFor(folders, depth) : 1;
    for (std::size_t i = 0; i < folders; ++i) {
        entries.push_back(childPath(entries[i / branching], 'd', i, hiddenFolderEvery, ""));
        if (::mkdir(entries.back().c_str(), 0755) != 0 && errno != EEXIST)
            return lastError();
    }

    // One folder after the other, which keeps each directory hot while it fills.
    const std::size_t holders = folders > 0 ? folders : 1;
    const std::size_t first = folders > 0 ? 1 : 0;
    std::size_t index = 0;
    for (std::size_t h = 0; h < holders; ++h) {
        const std::size_t count = files / holders + (h < files % holders ? 1 : 0);
        for (std::size_t k = 0; k < count; ++k, ++index) {
            const std::string path =
                childPath(entries[first + h], 'f', index, hiddenFileEvery, ".dat");
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return lastError();
            ::close(fd);
        }
    }
    return {};
}

std::error_code removeTree(const std::filesystem::path& root) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        // A file or a link in place of the folder goes as it is.
        std::error_code ec;
        std::filesystem::remove(root, ec);
        return ec;
    }
    if (const std::error_code ec = emptyFolder(fd))
        return ec;
    return ::rmdir(root.c_str()) == 0 ? std::error_code{} : lastError();
}

} // namespace bench
