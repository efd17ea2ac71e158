#include "filelist/folderexpansion.h"
#include "platform/fileservices.h"
#include "platform/scratch.h"

#include <fstream>

#ifndef _WIN32
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using expansion::PathString;

namespace {

// The folder's own listing, which the expansion must follow, as full paths.
std::vector<PathString> listed(const fs::path& folder) {
    std::vector<PathString> paths;
    platform::FolderEnumerator listing{folder};
    for (platform::FolderEntry entry; listing.next(entry);)
        if (entry.name.front() != PathString::value_type('.'))
            paths.push_back(expansion::WithSeparator(folder.native()) + entry.name);
    return paths;
}

// The expansion, with its yields counted and the paths it skipped.
struct Collected {
    int yields = 0;
    std::vector<PathString> skipped;
    expansion::Found found;
    explicit Collected(const fs::path& folder, const std::function<void()>& onYield = {}) {
        expansion::CollectHooks hooks;
        hooks.yield = [&] {
            ++yields;
            if (onYield)
                onYield();
        };
        hooks.skipped = [&](const PathString& path, std::error_code) { skipped.push_back(path); };
        found = expansion::CollectFolder(folder.native(), hooks);
    }
};

} // namespace

TEST(CollectFolder, WholeFolderFirstThenSubfoldersLastFoundFirst) {
    scratch::Folder tmp;
    for (const char* name : {"X/a", "X/P/p1", "X/b", "X/Q/q1"})
        tmp.file(tmp.folder(fs::path(name).parent_path()) / fs::path(name).filename());
    // Expected from the listing order the system gives: files and folders of X in that order,
    // then the subfolders' contents, the last-found subfolder first.
    const fs::path x = tmp.path() / "X";
    std::vector<PathString> files, folders;
    for (const PathString& path : listed(x))
        (fs::is_directory(path) ? folders : files).push_back(path);
    for (auto sub = folders.rbegin(); sub != folders.rend(); ++sub)
        for (const PathString& path : listed(*sub))
            files.push_back(path);
    const Collected c(x);
    EXPECT_EQ(c.found.files, files);
    EXPECT_EQ(c.found.folders, folders);
    EXPECT_EQ(c.yields, 3); // X, P and Q, one yield each
}

TEST(DroppedFolder, OnlyARootGetsNoRowOfItsOwn) {
    const std::pair<const char*, bool> cases[] = {
#ifdef _WIN32
        {"C:\\", false},
        {"C:", false},
        {"C:\\Daten", true},
        {"\\\\server\\freigabe", true},
#else
        {"/", false},
        {"//", false},
        {"/tmp", true},
        {"/tmp/", true},
#endif
    };
    for (const auto& [folder, ownRow] : cases)
        EXPECT_EQ(expansion::DroppedFolderGetsOwnRow(fs::path(folder).native()), ownRow) << folder;
}

// Dot names and links are left out, special files skipped and counted, hidden files listed; a
// trailing separator is kept once, and a deep tree does not exhaust the stack.
TEST(CollectFolder, WhatIsListedAndWhatIsNot) {
    scratch::Folder tmp;
    tmp.file(tmp.folder("X/.git") / "config");
    tmp.file("X/.profile");
    const fs::path x = tmp.path() / "X", hidden = tmp.file("X/versteckt");
    ASSERT_FALSE(
        platform::writeAttributes(hidden, platform::attr::Hidden | platform::attr::System));
    // Deep enough to matter, short enough for Windows' path limits without the long prefix.
    fs::path deep = x;
    for (int i = 0; i < 60; ++i)
        deep /= "d";
    fs::create_directories(deep);
    std::vector<PathString> skipped;
#ifndef _WIN32
    ASSERT_TRUE(scratch::makeLink(x / "loop", x));
    ASSERT_TRUE(scratch::makeLink(x / "out", "/"));
    ASSERT_TRUE(scratch::makeLink(x / "filelink", hidden));
    ASSERT_EQ(::mkfifo((x / "fifo").c_str(), 0644), 0);
    skipped.push_back((x / "fifo").native());
#endif
    const Collected c(expansion::WithSeparator(x.native()));
    EXPECT_EQ(c.found.files, std::vector{hidden.native()});
    EXPECT_EQ(c.found.folders.size(), 60u);
    EXPECT_EQ(c.skipped, skipped);
}

#ifndef _WIN32
// A subfolder swapped, after its parent was listed, for a link or another folder is not entered.
TEST(CollectFolder, EntersOnlyTheFolderItListed) {
    for (const bool toLink : {true, false}) {
        scratch::Folder tmp;
        tmp.file(tmp.folder("X/P") / "p1");
        const fs::path outside = tmp.folder("O"), p = tmp.path() / "X/P";
        tmp.file("O/geheim");
        const Collected c(tmp.path() / "X", [&] {
            if (!fs::exists(p / "p1"))
                return;
            fs::rename(p, tmp.path() / "alt");
            if (toLink)
                fs::create_directory_symlink(outside, p);
            else
                fs::rename(outside, p);
        });
        EXPECT_EQ(c.found.files.size(), 0u) << toLink;
        EXPECT_EQ(c.skipped, std::vector<PathString>{p.native()}) << toLink;
    }
}

// Kernel views are left out, other mounts entered; a listing that breaks off is skipped.
TEST(CollectFolder, KernelViewsAreLeftOutOtherMountsEnteredBrokenListingsSkipped) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    scratch::Folder tmp;
    const fs::path x = tmp.folder("X"), proc = tmp.folder("X/proc"), other = tmp.folder("X/tmpfs");
    const int status = scratch::withMount(proc, "proc", [&] {
        if (::mount("none", other.c_str(), "tmpfs", 0, nullptr) != 0)
            return 77;
        std::ofstream(other / "f") << "x";
        const auto found = expansion::CollectFolder(x.native());
        EXPECT_EQ(found.files, std::vector{(other / "f").native()});
        EXPECT_EQ(found.folders, std::vector{other.native()});
        // Every read of a folder fails from here on.
        struct sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getdents64, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        struct sock_fprog program = {4, filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            return 77;
        EXPECT_EQ(Collected(x).skipped, std::vector{x.native()});
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace or seccomp here";
    EXPECT_EQ(status, 0);
}
#endif
