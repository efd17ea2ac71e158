// Linux only: where the word is kept (user.DOSATTRIB and the mode bits), and what happens to a
// process that may not write.
#include "apply/attributeword.h"
#include "platform/dosattrib.h"
#include "platform/fileservices.h"

#include "platform/scratch.h"
#include "support/syscallfaults.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {
void forceComponentWalk(bool on); // the walk kernels before openat2 (5.6) take
} // namespace platform

namespace {

namespace fs = std::filesystem;
using namespace platform;
namespace dos = platform::dosattrib;
using scratch::wordOf;

constexpr uid_t Nobody = 65534;
constexpr std::uint32_t R = attr::ReadOnly, H = attr::Hidden, A = attr::Archive;

std::string storedValue(const fs::path& p) {
    char buf[512];
    const ssize_t n = ::getxattr(p.c_str(), "user.DOSATTRIB", buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

std::uint32_t storedWord(const fs::path& p) {
    const std::string v = storedValue(p);
    const auto info = dos::decode(v.data(), v.size());
    return info ? info->attributes : 0xdeadbeef;
}

void store(const fs::path& p, const std::string& value) {
    ASSERT_EQ(::setxattr(p.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0), 0)
        << std::strerror(errno);
}

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Runs \p body in a forked child as \p user, and gives what it returns; 1 if a check failed
// there (the failure is printed by the child).
int inChild(uid_t user, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (user != ::geteuid() && (::setresgid(user, user, user) || ::setresuid(user, user, user)))
            ::_exit(99);
        const int status = body();
        std::fflush(nullptr);
        ::_exit(testing::Test::HasFailure() ? 1 : status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(UnixReadOnly, AFilesRIsItsWriteBitsAFoldersModeNeverChanges) {
    scratch::Folder dir;
    const fs::path f = dir.file("r.txt");
    ::chmod(f.c_str(), 0400);
    EXPECT_EQ(wordOf(f), R) << "no stored value: R from the mode alone";
    // Write bits come back as Wine gives them: the owner's always, group's and others' where
    // they may read; less the umask.
    ASSERT_FALSE(writeAttributes(f, 0));
    EXPECT_EQ(modeOf(f), 0400 | (0600 & ~currentUmask()));
    ::chmod(f.c_str(), 0664);
    ASSERT_FALSE(writeAttributes(f, R | A));
    EXPECT_EQ(modeOf(f), 0444u);
    EXPECT_EQ(storedWord(f), R | A) << "Samba reads R here";
    ASSERT_FALSE(writeAttributes(f, A));
    EXPECT_EQ(modeOf(f), 0444 | (0622 & ~currentUmask()));
    EXPECT_EQ(storedWord(f), A);

    const fs::path sub = dir.folder("o");
    ::chmod(sub.c_str(), 0750);
    ASSERT_FALSE(writeAttributes(sub, R));
    EXPECT_EQ(modeOf(sub), 0750u);
    EXPECT_EQ(storedWord(sub), attr::Directory | R);
    ASSERT_FALSE(writeAttributes(sub, 0));
    EXPECT_EQ(modeOf(sub), 0750u);
    ::chmod(sub.c_str(), 0550);
    EXPECT_EQ(wordOf(sub), attr::Directory) << "a folder without write bits is not R";
}

TEST(UnixDosAttrib, ARewriteKeepsEveryStoredBitAndTheCreateTime) {
    scratch::Folder dir;
    const fs::path f = dir.file("f.txt"), sub = dir.folder("d");
    // A file once stored as a folder, with Samba's create time, the compressed bit and bits
    // beyond 16 (a word once held in 16 signed bits lost these).
    constexpr std::uint32_t Kept = 0x48000 | attr::Compressed | A;
    constexpr std::uint64_t CreateTime = 0x01dd85c29890e603;
    store(f, dos::encode({Kept | attr::Directory, true, CreateTime}));
    EXPECT_EQ(wordOf(f), Kept);
    // What the apply run writes back: the word less Directory and Compressed, H added.
    ASSERT_FALSE(writeAttributes(f, (Kept & ~attr::Compressed) | H));
    EXPECT_EQ(storedValue(f), dos::encode({Kept | H, true, CreateTime}));
    ASSERT_FALSE(writeAttributes(sub, H));
    EXPECT_EQ(storedWord(sub), attr::Directory | H);

    // With none stored, Samba shows the earliest of the times; the first value keeps it.
    const fs::path fresh = dir.file("neu.txt");
    const struct timespec accessed[2] = {{1015200000, 123456789}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, fresh.c_str(), accessed, 0), 0);
    ASSERT_FALSE(writeAttributes(fresh, H));
    EXPECT_EQ(storedValue(fresh),
              dos::encode({H, true, dos::ntTimeFromUnix(1015200000, 123456789)}));

    // The store keeps every bit but R, H, S and A itself, whatever its caller passes.
    store(f, dos::encode({0x2022, true, CreateTime}));
    ASSERT_FALSE(writeAttributes(f, 0));
    EXPECT_EQ(storedWord(f), 0x2000u);

    // A value that does not parse, or is longer than Samba reads, counts as none, and the
    // next write replaces it, also with word 0.
    for (const std::string& junk : {std::string("zz"), std::string(300, '2')}) {
        store(f, junk);
        EXPECT_EQ(wordOf(f), 0u) << junk.size();
        ASSERT_FALSE(writeAttributes(f, 0));
        EXPECT_EQ(storedWord(f), 0u) << junk.size();
    }
}

// Rows hold paths without links; a link put in the place of a parent folder afterwards must
// not redirect a write out of the tree, with openat2 or with the walk before it.
TEST(UnixLinks, APathThatNowLeadsThroughALinkIsRefusedUnchanged) {
    scratch::Folder dir;
    const fs::path outside = dir.folder("aussen"), target = dir.file("aussen/f.txt");
    dir.folder("aussen/unter");
    ::chmod(target.c_str(), 0644);
    store(target, dos::encode({A, true, 1}));
    const std::string valueBefore = storedValue(target);
    const auto timeBefore = scratch::rawTimes(target).write;
    dir.folder("baum/teil");
    fs::remove_all(dir.path() / "baum/teil");
    ASSERT_TRUE(scratch::makeLink(dir.path() / "baum/teil", outside));
    for (const bool walk : {false, true}) {
        forceComponentWalk(walk);
        for (const fs::path& listed :
             {dir.path() / "baum/teil/f.txt", dir.path() / "baum/teil/unter"}) {
            for (const auto& ec : {writeAttributes(listed, R | H),
                                   setLastWriteTime(listed, {12, 0, 0, 1, 1, 2001})}) {
                EXPECT_EQ(ec, make_error_code(Refusal::LinkInPath)) << listed << walk << ec.message();
                EXPECT_EQ(reasonText(ec), "ein Teil des Pfades ist jetzt eine Verknüpfung");
            }
        }
        EXPECT_EQ(writeAttributes(dir.path() / "baum/fehlt/f.txt", 0),
                  std::errc::no_such_file_or_directory)
            << walk;
        EXPECT_FALSE(writeAttributes(dir.path() / "baum", H)) << walk;
    }
    forceComponentWalk(false);
    EXPECT_EQ(storedValue(target), valueBefore);
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_EQ(scratch::rawTimes(target).write, timeBefore);
    EXPECT_EQ(storedValue(outside / "unter"), "");
}

// ramfs keeps no user extended attributes; mounted in a child's own mount namespace so that
// nothing outlives the test.
TEST(UnixNoUserXattrs, ReadOnlyStillWorksTheOthersFailWithoutHalfWrites) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting ramfs needs root";
    scratch::Folder dir;
    const fs::path mnt = dir.folder("ramfs"), f = mnt / "f.txt";
    const int status = inChild(::geteuid(), [&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", mnt.c_str(), "ramfs", 0, nullptr) != 0)
            return 77;
        std::ofstream(f) << "x";
        ::chmod(f.c_str(), 0644);
        EXPECT_EQ(wordOf(f), 0u);
        EXPECT_FALSE(writeAttributes(f, R));
        EXPECT_EQ(modeOf(f), 0444u);
        EXPECT_EQ(wordOf(f), R);
        const std::error_code ec = writeAttributes(f, H);
        EXPECT_EQ(ec, std::errc::not_supported);
        EXPECT_FALSE(reasonText(ec).empty());
        EXPECT_EQ(modeOf(f), 0444u) << "R was not cleared on the way to the failure";
        EXPECT_EQ(writeAttributes(mnt, R), std::errc::not_supported);
        EXPECT_FALSE(writeAttributes(f, 0));
        EXPECT_NE(modeOf(f), 0444u);
        // The time of a touched row is set before its word fails: the reason says so.
        apply::RowFailure failure;
        const LocalTime moment{12, 0, 0, 15, 1, 2021};
        EXPECT_FALSE(apply::ApplyRow(
            f, {apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Checked}, &moment, [] {},
            failure));
        EXPECT_EQ(failure.ec, std::errc::not_supported);
        EXPECT_EQ(apply::ReasonLine(failure).rfind("Datum und Zeit wurden gesetzt", 0), 0u) << apply::ReasonLine(failure);
        // Without /proc the writes say why they cannot work.
        if (::umount2("/proc", MNT_DETACH) == 0) {
            EXPECT_EQ(writeAttributes(f, 0), make_error_code(Refusal::NoProc));
        }
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "ramfs could not be mounted here";
    EXPECT_EQ(status, 0);
}

// A row goes to one pinned entry and never strips a file on the way: wherever it is killed or a
// call fails, the file keeps its old attributes or gets the new ones; a failure that cannot be
// put back, a bit or a time the file system does not keep, are reported, never taken for done.
TEST(UnixRowFaults, AFailedOrInterruptedRowLeavesTheOldStateOrTheNewOne) {
    using syscallfaults::Act;
    using syscallfaults::Call;
    constexpr std::uint32_t S = attr::System, Classic = R | H | S | A;
    constexpr apply::BoxValues AllTicked{apply::Tri::Checked, apply::Tri::Checked, apply::Tri::Checked,
                                         apply::Tri::Checked};
    constexpr apply::BoxValues OnlyR{apply::Tri::Checked, apply::Tri::Unchecked, apply::Tri::Unchecked,
                                     apply::Tri::Unchecked};
    const LocalTime moment{12, 0, 1, 1, 1, 2001};
    struct Case {
        const char* what;
        std::uint32_t before; // stored, with R also as mode 0444
        apply::BoxValues boxes;
        std::vector<std::tuple<Call, int, Act>> faults;
        bool killed;
        std::uint32_t after;    // what the file holds afterwards
        const char* reasonPart; // in the question; empty: the row succeeds
        bool timeSet;
    };
    const std::vector<Case> cases = {
        {"killed at the time",
         R | S | H,
         AllTicked,
         {{Call::Utimensat, 1, Act::Kill}},
         true,
         R | S | H,
         "",
         false},
        {"killed at the word",
         R | S | H,
         AllTicked,
         {{Call::Setxattr, 1, Act::Kill}},
         true,
         R | S | H,
         "",
         true},
        {"mode fails, put back",
         A,
         OnlyR,
         {{Call::Chmod, 1, Act::Fail}},
         false,
         A,
         "Datum und Zeit wurden gesetzt, die Attribute nicht: ",
         true},
        {"mode and its undo fail",
         A,
         OnlyR,
         {{Call::Chmod, 1, Act::Fail}, {Call::Setxattr, 2, Act::Fail}},
         false,
         R,
         "nicht mehr wie vorher, gesetzt sind jetzt: R",
         true},
        {"the driver keeps no mode",
         A,
         OnlyR,
         {{Call::Chmod, 1, Act::Pretend}},
         false,
         A,
         "behält dieses Attribut",
         true},
        {"the driver keeps no value",
         0,
         AllTicked,
         {{Call::Setxattr, 1, Act::Pretend}},
         false,
         0,
         "behält dieses Attribut",
         true},
        {"the time is not kept",
         H,
         AllTicked,
         {{Call::Utimensat, 1, Act::Pretend}},
         false,
         Classic,
         "Diesen Zeitpunkt kann das Dateisystem nicht speichern",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scratch::Folder dir;
        const fs::path f = dir.file("f.txt");
        store(f, dos::encode({c.before, true, 1}));
        ::chmod(f.c_str(), c.before & R ? 0444 : 0644);
        const auto timeBefore = scratch::rawTimes(f).write;
        const int status = inChild(::geteuid(), [&] {
            for (const auto& [call, nth, act] : c.faults)
                syscallfaults::arm(call, nth, act);
            apply::RowFailure failure;
            const bool done = apply::ApplyRow(
                dir.path() / "f.txt", c.boxes, &moment, [] {}, failure);
            syscallfaults::disarm();
            EXPECT_EQ(done, *c.reasonPart == 0) << apply::ReasonLine(failure);
            EXPECT_NE(apply::ReasonLine(failure).find(c.reasonPart), std::string::npos) << apply::ReasonLine(failure);
            return 0;
        });
        EXPECT_EQ(status, c.killed ? 128 + SIGKILL : 0);
        if (c.killed) {
            const std::uint32_t now = wordOf(f) & Classic;
            EXPECT_TRUE(now == c.after || now == Classic) << now;
        } else {
            EXPECT_EQ(wordOf(f) & Classic, c.after);
        }
        EXPECT_EQ((modeOf(f) & 0222) == 0, (storedWord(f) & R) != 0) << "value and mode agree";
        EXPECT_EQ(scratch::rawTimes(f).write != timeBefore, c.timeSet);
    }
}

// The entry is pinned once: a rename in the middle of a row cannot split its steps between
// two files, and a name swapped for a link or a FIFO is never opened for reading either.
TEST(UnixRowFaults, ReadsAndWritesStayWithThePinnedEntry) {
    scratch::Folder dir;
    const fs::path f = dir.file("f.txt"), other = dir.file("anders.txt");
    PinnedEntry entry(f);
    ASSERT_FALSE(entry.error());
    fs::rename(f, dir.path() / "weg.txt");
    fs::rename(other, f);
    EXPECT_FALSE(entry.setLastWriteTime({12, 0, 0, 1, 1, 2001}));
    EXPECT_FALSE(entry.writeAttributes(H));
    EXPECT_EQ(wordOf(dir.path() / "weg.txt"), H);
    EXPECT_EQ(wordOf(f), 0u) << "the file now under the name is untouched";

    const fs::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::remove(f);
    ASSERT_TRUE(scratch::makeLink(f, fifo));
    EntryState state;
    EXPECT_EQ(queryEntry(f, state), make_error_code(Refusal::LinkInPath));
    EXPECT_EQ(queryEntry(fifo, state), make_error_code(Refusal::NotFileOrFolder));
}

// The kernel's own file systems, dropped directly or met in a walk, are neither listed nor
// changed; and a mount that replaces another at the same device number is asked afresh.
TEST(UnixKernelViews, AreRefusedWhereverTheyAreMet) {
    for (const char* view : {"/proc", "/sys", "/sys/fs/cgroup/cpu", "/sys/fs/cgroup/unified",
                             "/proc/sys/fs/binfmt_misc"}) {
        if (!fs::is_directory(view))
            continue;
        const FolderEnumerator listing{fs::path(view)};
        EXPECT_EQ(listing.error(), make_error_code(Refusal::KernelView)) << view;
    }
    for (const char* file : {"/proc/cpuinfo", "/sys/fs/cgroup/cgroup.procs"}) {
        if (!fs::exists(file))
            continue;
        EXPECT_EQ(writeAttributes(file, R), make_error_code(Refusal::KernelView)) << file;
        EntryState state;
        EXPECT_EQ(queryEntry(file, state), make_error_code(Refusal::KernelView)) << file;
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    scratch::Folder dir;
    const fs::path mnt = dir.folder("mnt");
    const int status = inChild(::geteuid(), [&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", mnt.c_str(), "tmpfs", 0, nullptr) != 0)
            return 77;
        EXPECT_FALSE(FolderEnumerator{mnt}.error());
        std::ofstream(mnt / "f.txt") << "x";
        EXPECT_FALSE(writeAttributes(mnt / "f.txt", H));
        if (::umount(mnt.c_str()) != 0 || ::mount("proc", mnt.c_str(), "proc", 0, nullptr) != 0)
            return 77;
        const FolderEnumerator second{mnt};
        EXPECT_EQ(second.error(), make_error_code(Refusal::KernelView));
        EXPECT_EQ(writeAttributes(mnt / "cpuinfo", R), make_error_code(Refusal::KernelView));
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "tmpfs and proc could not be mounted here";
    EXPECT_EQ(status, 0);
}

class UnixOtherUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "acting as another user needs root";
        ::chmod(dir.path().c_str(), 0755);
    }
    scratch::Folder dir;
};

TEST_F(UnixOtherUser, SomeoneElsesFileIsRefusedUnchanged) {
    const fs::path f = dir.file("fremd.txt");
    ASSERT_FALSE(writeAttributes(f, R | A));
    const std::string valueBefore = storedValue(f);
    const auto timeBefore = scratch::rawTimes(f).write;
    const int status = inChild(Nobody, [&] {
        const std::error_code write = writeAttributes(f, A);
        EXPECT_TRUE(write == std::errc::permission_denied ||
                    write == std::errc::operation_not_permitted)
            << write.message();
        EXPECT_EQ(writeAttributes(f, R | H), std::errc::permission_denied);
        EXPECT_EQ(setLastWriteTime(f, {12, 0, 0, 1, 1, 2001}), std::errc::operation_not_permitted);
        return 0;
    });
    EXPECT_EQ(status, 0) << "a check failed as nobody";
    EXPECT_EQ(storedValue(f), valueBefore);
    EXPECT_EQ(modeOf(f), 0444u);
    EXPECT_EQ(scratch::rawTimes(f).write, timeBefore);
}

// user.* needs read permission: the row still shows what the mode and the type say, and a
// write that fails halfway puts back a stored value of any length.
TEST_F(UnixOtherUser, AnUnreadableValueStillShowsRAndAFailedWriteRestoresAnyValue) {
    const fs::path locked = dir.file("gesperrt.txt"), open = dir.file("offen.txt");
    ::chmod(locked.c_str(), 0400);
    store(locked, dos::encode({H, true, 1}));
    ::chmod(open.c_str(), 0666);
    const std::string longValue(300, 'x');
    store(open, longValue);
    const int status = inChild(Nobody, [&] {
        EXPECT_EQ(wordOf(locked), R);
        EXPECT_EQ(writeAttributes(locked, R | H), std::errc::permission_denied);
        EXPECT_EQ(writeAttributes(open, R), std::errc::operation_not_permitted) << "chmod";
        return 0;
    });
    EXPECT_EQ(status, 0) << "a check failed as nobody";
    EXPECT_EQ(storedValue(open), longValue);
}

TEST_F(UnixOtherUser, TheOwnerOfAFileWithoutWriteBitsChangesItsWord) {
    const fs::path f = dir.file("eigen.txt");
    ::chmod(f.c_str(), 0444);
    ASSERT_EQ(::chown(f.c_str(), Nobody, Nobody), 0);
    const int status = inChild(Nobody, [&] {
        EXPECT_FALSE(writeAttributes(f, R | H));
        EXPECT_EQ(modeOf(f), 0444u) << "the lent u+w is taken back";
        EXPECT_FALSE(setLastWriteTime(f, {12, 0, 0, 1, 1, 2001}));
        EXPECT_FALSE(writeAttributes(f, H));
        EXPECT_TRUE(modeOf(f) & S_IWUSR);
        return 0;
    });
    EXPECT_EQ(status, 0) << "a check failed as nobody";
    EXPECT_EQ(storedWord(f), H);
}

} // namespace
