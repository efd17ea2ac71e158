#include "filelist/folderexpansion.h"

#include "platform/fileservices.h"
#include "platform/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#ifndef _WIN32
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using expansion::PathString;

namespace {

// The folder's own listing order, which the expansion must follow.
std::vector<PathString> listingOrder(const fs::path& folder) {
    std::vector<PathString> names;
    platform::FolderEnumerator listing(folder);
    platform::FolderEntry entry;
    while (listing.next(entry))
        if (entry.name.front() != PathString::value_type('.'))
            names.push_back(entry.name);
    return names;
}

PathString join(const fs::path& folder, const PathString& name) {
    return expansion::WithSeparator(folder.native()) + name;
}

} // namespace

TEST(CollectFolder, WholeFolderFirstThenSubfoldersLastFoundFirst) {
    scratch::Folder tmp;
    const fs::path x = tmp.folder("X");
    tmp.file("X/a");
    tmp.folder("X/P");
    tmp.file("X/P/p1");
    tmp.file("X/b");
    tmp.folder("X/Q");
    tmp.file("X/Q/q1");

    // Expected from the listing order the system gives: files and folders of X in that order,
    // then the subfolders' contents, the last-found subfolder first.
    std::vector<PathString> files, folders, subfolders;
    for (const PathString& name : listingOrder(x)) {
        if (fs::is_directory(x / name)) {
            folders.push_back(join(x, name));
            subfolders.push_back(join(x, name));
        } else {
            files.push_back(join(x, name));
        }
    }
    std::reverse(subfolders.begin(), subfolders.end());
    for (const PathString& sub : subfolders)
        for (const PathString& name : listingOrder(sub))
            files.push_back(join(sub, name));

    int yields = 0;
    expansion::CollectHooks hooks;
    hooks.yield = [&] { ++yields; };
    const expansion::Found found = expansion::CollectFolder(x.native(), hooks);
    EXPECT_EQ(found.files, files);
    EXPECT_EQ(found.folders, folders);
    EXPECT_EQ(yields, 3); // X, P and Q, one yield each
}

TEST(DroppedFolder, OnlyARootGetsNoRowOfItsOwn) {
    const std::pair<const char*, bool> cases[] = {
#ifdef _WIN32
        {"C:\\", false}, {"C:", false}, {"C:\\Daten", true}, {"\\\\server\\freigabe", true},
#else
        {"/", false}, {"//", false}, {"/tmp", true}, {"/tmp/", true},
#endif
    };
    for (const auto& [folder, ownRow] : cases)
        EXPECT_EQ(expansion::DroppedFolderGetsOwnRow(fs::path(folder).native()), ownRow) << folder;
}

TEST(CollectFolder, ATrailingSeparatorIsKept) {
    scratch::Folder tmp;
    tmp.folder("B");
    tmp.file("B/two");
    const auto found = expansion::CollectFolder(expansion::WithSeparator((tmp.path() / "B").native()));
    EXPECT_EQ(found.files, std::vector{join(tmp.path() / "B", fs::path("two").native())});
}

TEST(CollectFolder, DotNamesInsideAreLeftOutHiddenFilesAreNot) {
    scratch::Folder tmp;
    tmp.folder("X/.git");
    tmp.file("X/.profile");
    tmp.file("X/.git/config");
    const fs::path hidden = tmp.file("X/versteckt");
    ASSERT_FALSE(
        platform::writeAttributes(hidden, platform::attr::Hidden | platform::attr::System));
    const auto found = expansion::CollectFolder((tmp.path() / "X").native());
    ASSERT_EQ(found.files.size(), 1u);
    EXPECT_EQ(found.files[0], hidden.native());
    EXPECT_EQ(found.folders.size(), 0u);
}

#ifndef _WIN32
namespace {
struct Collected {
    std::vector<PathString> skipped;
    expansion::CollectHooks hooks;
    explicit Collected(std::function<void()> yield = {}) {
        hooks.yield = std::move(yield);
        hooks.skipped = [this](const PathString& path, std::error_code) {
            skipped.push_back(path);
        };
    }
};
} // namespace

TEST(CollectFolder, LinksAndSpecialFilesAreNeitherEnteredNorListed) {
    scratch::Folder tmp;
    tmp.folder("X");
    tmp.file("X/real");
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/loop", tmp.path() / "X"));
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/out", "/"));
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/filelink", tmp.path() / "X/real"));
    const fs::path fifo = tmp.path() / "X/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    Collected c;
    const auto found = expansion::CollectFolder((tmp.path() / "X").native(), c.hooks);
    EXPECT_EQ(found.files.size(), 1u);
    EXPECT_EQ(found.folders.size(), 0u);
    EXPECT_EQ(c.skipped, std::vector<PathString>{fifo.native()}) << "counted as skipped";
    std::uint32_t word = 0;
    EXPECT_EQ(platform::readAttributes(fifo, word),
              platform::make_error_code(platform::Refusal::NotFileOrFolder));
    EXPECT_EQ(platform::writeAttributes(fifo, platform::attr::ReadOnly),
              platform::make_error_code(platform::Refusal::NotFileOrFolder));
}

// A subfolder swapped after its parent was listed: for a link (to outside the tree) or for
// another folder, it is not entered.
TEST(CollectFolder, EntersOnlyTheFolderItListed) {
    for (const bool toLink : {true, false}) {
        scratch::Folder tmp;
        tmp.folder("X/P");
        tmp.file("X/P/p1");
        const fs::path outside = tmp.folder("O"), p = tmp.path() / "X/P";
        tmp.file("O/geheim");
        Collected c([&] {
            if (!fs::exists(p / "p1"))
                return;
            fs::rename(p, tmp.path() / "alt");
            if (toLink)
                fs::create_directory_symlink(outside, p);
            else
                fs::rename(outside, p);
        });
        const auto found = expansion::CollectFolder((tmp.path() / "X").native(), c.hooks);
        EXPECT_EQ(found.files.size(), 0u) << toLink;
        EXPECT_EQ(c.skipped, std::vector<PathString>{p.native()}) << toLink;
    }
}

// Mounts in a child's own mount namespace, so that nothing outlives the test: the kernel's
// views are left out, other file systems are entered; a listing that breaks off is skipped.
TEST(CollectFolder, KernelViewsAreLeftOutOtherMountsEnteredBrokenListingsSkipped) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    scratch::Folder tmp;
    const fs::path x = tmp.folder("X"), proc = tmp.folder("X/proc"), other = tmp.folder("X/tmpfs");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("proc", proc.c_str(), "proc", 0, nullptr) != 0 ||
            ::mount("none", other.c_str(), "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        std::ofstream(other / "f") << "x";
        const auto found = expansion::CollectFolder(x.native());
        const bool expected = found.files.size() == 1 && found.folders.size() == 1 &&
                              found.files[0] == (other / "f").native();
        // Every read of a folder fails from here on.
        struct sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getdents64, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        struct sock_fprog program = {4, filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            ::_exit(77);
        Collected c;
        expansion::CollectFolder(x.native(), c.hooks);
        ::_exit(expected && c.skipped == std::vector<PathString>{x.native()} ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace or seccomp here";
    EXPECT_EQ(status, 0);
}
#endif

TEST(CollectFolder, DeepTreesDoNotExhaustTheStack) {
    scratch::Folder tmp;
    fs::path deep = tmp.path();
    // Deep enough to matter, short enough for Windows' path limits without the long prefix.
    for (int i = 0; i < 60; ++i)
        deep /= "d";
    fs::create_directories(deep);
    const auto found = expansion::CollectFolder(tmp.path().native());
    EXPECT_EQ(found.folders.size(), 60u);
}
