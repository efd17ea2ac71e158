// Linux only: where the word is kept, rows that fail halfway, processes that may not write.
#include "apply/attributeword.h"
#include "platform/dosattrib.h"
#include "platform/scratch.h"
#include "support/slowmount.h"
#include "support/syscallfaults.h"

#include <fstream>

#include <fcntl.h>
#include <map>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>

namespace platform {
void forceComponentWalk(bool on); // the walk kernels before openat2 (5.6) take
} // namespace platform

namespace {

namespace fs = std::filesystem;
using namespace platform;
namespace dos = platform::dosattrib;
using apply::Tri;
using scratch::inChild;
using scratch::withMount;
using scratch::wordOf;

constexpr uid_t Nobody = 65534;
constexpr std::uint32_t R = attr::ReadOnly, H = attr::Hidden, S = attr::System, A = attr::Archive;
const LocalTime Moment{12, 0, 0, 1, 1, 2001};

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
    ASSERT_EQ(::setxattr(p.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0), 0) << p;
}

mode_t modeOf(const fs::path& p) {
    return mode_t(fs::status(p).permissions());
}

TEST(UnixReadOnly, AFilesRIsItsWriteBitsAFoldersModeNeverChanges) {
    const mode_t umask = ::umask(022);
    ::umask(umask);
    scratch::Folder dir;
    const fs::path f = dir.file("r.txt"), sub = dir.folder("o");
    ::chmod(f.c_str(), 0400);
    EXPECT_EQ(wordOf(f), R) << "no stored value: R from the mode alone";
    // Write bits come back as Wine gives them: the owner's always, group's and others' where
    // they may read; less the umask.
    ASSERT_FALSE(writeAttributes(f, 0));
    EXPECT_EQ(modeOf(f), 0400 | (0600 & ~umask));
    ::chmod(f.c_str(), 0664);
    ASSERT_FALSE(writeAttributes(f, R | A));
    EXPECT_EQ(modeOf(f), 0444u);
    EXPECT_EQ(storedWord(f), R | A) << "Samba reads R here";
    ASSERT_FALSE(writeAttributes(f, A));
    EXPECT_EQ(modeOf(f), 0444 | (0622 & ~umask));
    EXPECT_EQ(storedWord(f), A);

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
    const fs::path f = dir.file("f.txt"), sub = dir.folder("d"), fresh = dir.file("neu.txt");
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
    const fs::path outside = dir.folder("aussen/unter").parent_path(),
                   target = dir.file("aussen/f.txt"), baum = dir.folder("baum");
    ::chmod(target.c_str(), 0644);
    store(target, dos::encode({A, true, 1}));
    const std::string valueBefore = storedValue(target);
    const auto timeBefore = scratch::rawTimes(target).write;
    ASSERT_TRUE(scratch::makeLink(baum / "teil", outside));
    for (const bool walk : {false, true}) {
        forceComponentWalk(walk);
        for (const fs::path& listed : {baum / "teil/f.txt", baum / "teil/unter"}) {
            for (const auto& ec :
                 {writeAttributes(listed, R | H), setLastWriteTime(listed, Moment)})
                EXPECT_EQ(ec, make_error_code(Refusal::LinkInPath)) << listed << walk << ec;
        }
        EXPECT_EQ(writeAttributes(baum / "fehlt/f.txt", 0), std::errc::no_such_file_or_directory)
            << walk;
        EXPECT_FALSE(writeAttributes(baum, H)) << walk;
    }
    forceComponentWalk(false);
    // The check reads a folder's rows through the folder pinned once: refused there as well.
    ASSERT_TRUE(scratch::makeLink(baum / "verweis", target));
    ASSERT_EQ(::mkfifo((baum / "fifo").c_str(), 0644), 0);
    const std::vector<fs::path> rows{baum / "teil/f.txt", baum / "teil/unter", baum / "verweis",
                                     baum / "fifo"};
    queryEntries(
        rows.size(), [&](std::size_t i) { return rows[i]; },
        [&](std::size_t i, std::error_code ec, const EntryState&) {
            EXPECT_EQ(ec, make_error_code(i == 3 ? Refusal::NotFileOrFolder : Refusal::LinkInPath))
                << rows[i];
        });
    EXPECT_FALSE(reasonText(make_error_code(Refusal::LinkInPath)).empty());
    EXPECT_EQ(storedValue(target), valueBefore);
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_EQ(scratch::rawTimes(target).write, timeBefore);
    EXPECT_EQ(storedValue(outside / "unter"), "");
}

// ramfs keeps no user extended attributes.
TEST(UnixNoUserXattrs, ReadOnlyStillWorksTheOthersFailWithoutHalfWrites) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting ramfs needs root";
    scratch::Folder dir;
    const fs::path mnt = dir.folder("ramfs"), f = mnt / "f.txt";
    const int status = withMount(mnt, "ramfs", [&] {
        std::ofstream(f) << "x";
        ::chmod(f.c_str(), 0644);
        EXPECT_EQ(wordOf(f), 0u);
        EXPECT_FALSE(writeAttributes(f, R));
        EXPECT_EQ(wordOf(f), R);
        EXPECT_EQ(writeAttributes(f, H), std::errc::not_supported);
        EXPECT_EQ(modeOf(f), 0444u) << "R was not cleared on the way to the failure";
        EXPECT_EQ(writeAttributes(mnt, R), std::errc::not_supported);
        // A touched row sets its time (R lent away for it) before its word fails: the failure
        // says so, with the system's code, and R is back.
        apply::RowFailure failure;
        EXPECT_FALSE(apply::ApplyRow(
            f, {Tri::Checked, Tri::Unchecked, Tri::Unchecked, Tri::Checked}, &Moment, [] {},
            failure));
        EXPECT_EQ(failure.ec, std::errc::not_supported);
        EXPECT_TRUE(failure.timeSet);
        EXPECT_NE(apply::ReasonLine(failure).find("(Code " + std::to_string(EOPNOTSUPP) + ")"),
                  std::string::npos);
        EXPECT_EQ(wordOf(f), R);
        EXPECT_FALSE(writeAttributes(f, 0));
        EXPECT_NE(modeOf(f), 0444u);
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

// Wherever a row is killed or a call fails, the file has its old attributes or the new ones; what
// cannot be put back, or a bit or time the file system does not keep, is reported, not done.
TEST(UnixRowFaults, AFailedOrInterruptedRowLeavesTheOldStateOrTheNewOne) {
    using enum syscallfaults::Call;
    using enum syscallfaults::Act;
    constexpr std::uint32_t Classic = R | H | S | A;
    constexpr apply::BoxValues All{Tri::Checked, Tri::Checked, Tri::Checked, Tri::Checked};
    constexpr apply::BoxValues OnlyR{Tri::Checked, Tri::Unchecked, Tri::Unchecked, Tri::Unchecked};
    const struct {
        const char* what;
        std::uint32_t before; // stored, with R also as mode 0444
        apply::BoxValues boxes;
        std::vector<std::tuple<syscallfaults::Call, int, syscallfaults::Act>> faults;
        std::uint32_t after; // what the file holds afterwards; killed: this or the new word
        const char* reason;  // part of the question; empty: the row succeeds
        bool timeSet;
    } cases[] = {
        // clang-format off
        {"killed at the time", R | S | H, All, {{Utimensat, 1, Kill}}, R | S | H, "", false},
        {"killed at the word", R | S | H, All, {{Setxattr, 1, Kill}}, R | S | H, "", true},
        {"mode fails, put back", A, OnlyR, {{Chmod, 1, Fail}}, A,
         "Datum und Zeit wurden gesetzt, die Attribute nicht: ", true},
        {"mode and its undo fail", A, OnlyR, {{Chmod, 1, Fail}, {Setxattr, 2, Fail}}, R,
         "nicht mehr wie vorher, gesetzt sind jetzt: R", true},
        {"the driver keeps no mode", A, OnlyR, {{Chmod, 1, Pretend}}, A, "behält dieses Attribut", true},
        {"the driver keeps no value", 0, All, {{Setxattr, 1, Pretend}}, 0, "behält dieses Attribut", true},
        {"the time is not kept", H, All, {{Utimensat, 1, Pretend}}, Classic,
         "Diesen Zeitpunkt kann das Dateisystem nicht speichern", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scratch::Folder dir;
        const fs::path f = dir.file("f.txt");
        store(f, dos::encode({c.before, true, 1}));
        ::chmod(f.c_str(), c.before & R ? 0444 : 0644);
        const auto timeBefore = scratch::rawTimes(f).write;
        const bool killed = std::get<2>(c.faults[0]) == Kill;
        const int status = inChild(::geteuid(), [&] {
            for (const auto& [call, nth, act] : c.faults)
                syscallfaults::arm(call, nth, act);
            apply::RowFailure failure;
            const bool done = apply::ApplyRow(
                f, c.boxes, &Moment, [] {}, failure);
            syscallfaults::disarm();
            const std::string reason = apply::ReasonLine(failure);
            EXPECT_EQ(done, !*c.reason) << reason;
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
            return 0;
        });
        EXPECT_EQ(status, killed ? 128 + SIGKILL : 0);
        const std::uint32_t now = wordOf(f) & Classic;
        EXPECT_TRUE(now == c.after || (killed && now == Classic)) << now;
        EXPECT_EQ((modeOf(f) & 0222) == 0, (storedWord(f) & R) != 0) << "value and mode agree";
        EXPECT_EQ(scratch::rawTimes(f).write != timeBefore, c.timeSet);
    }
}

// A rename in a row cannot split its steps; a name swapped for a link or FIFO is never opened.
TEST(UnixRowFaults, ReadsAndWritesStayWithThePinnedEntry) {
    scratch::Folder dir;
    const fs::path f = dir.file("f.txt"), other = dir.file("anders.txt");
    PinnedEntry entry(f);
    ASSERT_FALSE(entry.error());
    fs::rename(f, dir.path() / "weg.txt");
    fs::rename(other, f);
    EXPECT_FALSE(entry.setLastWriteTime(Moment));
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
    for (const char* view :
         {"/proc", "/sys", "/sys/fs/cgroup/cpu", "/sys/fs/cgroup/unified",
          "/proc/sys/fs/binfmt_misc", "/proc/cpuinfo", "/sys/fs/cgroup/cgroup.procs"}) {
        if (fs::is_directory(view)) {
            EXPECT_EQ(FolderEnumerator{view}.error(), make_error_code(Refusal::KernelView)) << view;
        } else if (fs::exists(view)) {
            EXPECT_EQ(writeAttributes(view, R), make_error_code(Refusal::KernelView)) << view;
        }
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    scratch::Folder dir;
    const fs::path mnt = dir.folder("mnt");
    const int status = withMount(mnt, "tmpfs", [&] {
        EXPECT_FALSE(FolderEnumerator{mnt}.error());
        std::ofstream(mnt / "f.txt") << "x";
        EXPECT_FALSE(writeAttributes(mnt / "f.txt", H));
        if (::umount(mnt.c_str()) != 0 || ::mount("proc", mnt.c_str(), "proc", 0, nullptr) != 0)
            return 77;
        EXPECT_EQ(FolderEnumerator{mnt}.error(), make_error_code(Refusal::KernelView));
        EXPECT_EQ(writeAttributes(mnt / "cpuinfo", R), make_error_code(Refusal::KernelView));
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "tmpfs and proc could not be mounted here";
    EXPECT_EQ(status, 0);
}

// Someone else's file is refused unchanged; a value nobody may read leaves R from the mode, a
// half-failed write puts back a value of any length; the owner without write bits may write.
TEST(UnixOtherUser, RefusedUnchangedUnlessTheOwner) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    scratch::Folder dir;
    ::chmod(dir.path().c_str(), 0755);
    const fs::path foreign = dir.file("fremd.txt"), locked = dir.file("gesperrt.txt"),
                   open = dir.file("offen.txt"), own = dir.file("eigen.txt");
    ASSERT_FALSE(writeAttributes(foreign, R | A));
    const std::string foreignValue = storedValue(foreign), longValue(300, 'x');
    const auto foreignTime = scratch::rawTimes(foreign).write;
    ::chmod(locked.c_str(), 0400);
    store(locked, dos::encode({H, true, 1}));
    ::chmod(open.c_str(), 0666);
    store(open, longValue);
    ::chmod(own.c_str(), 0444);
    ASSERT_EQ(::chown(own.c_str(), Nobody, Nobody), 0);
    const int status = inChild(Nobody, [&] {
        const std::error_code write = writeAttributes(foreign, A);
        EXPECT_TRUE(write == std::errc::permission_denied ||
                    write == std::errc::operation_not_permitted)
            << write.message();
        EXPECT_EQ(writeAttributes(foreign, R | H), std::errc::permission_denied);
        EXPECT_EQ(setLastWriteTime(foreign, Moment), std::errc::operation_not_permitted);
        EXPECT_EQ(wordOf(locked), R);
        EXPECT_EQ(writeAttributes(locked, R | H), std::errc::permission_denied);
        EXPECT_EQ(writeAttributes(open, R), std::errc::operation_not_permitted) << "chmod";
        EXPECT_FALSE(writeAttributes(own, R | H));
        EXPECT_EQ(modeOf(own), 0444u) << "the lent u+w is taken back";
        EXPECT_FALSE(setLastWriteTime(own, Moment));
        EXPECT_FALSE(writeAttributes(own, H));
        EXPECT_TRUE(modeOf(own) & S_IWUSR);
        return 0;
    });
    EXPECT_EQ(status, 0) << "a check failed as nobody";
    EXPECT_EQ(storedValue(foreign), foreignValue);
    EXPECT_EQ(modeOf(foreign), 0444u);
    EXPECT_EQ(scratch::rawTimes(foreign).write, foreignTime);
    EXPECT_EQ(storedValue(open), longValue);
    EXPECT_EQ(storedWord(own), H);
}

} // namespace

namespace {

// A check over rows on a network mount reads them with many calls in flight, and reads what one
// by one would: every row's word and time, also of rows that are gone.
TEST(NetworkMount, RowsAreReadManyAtOnceAsOneByOneWould) {
    if (!scratch::canMountSlowly())
        GTEST_SKIP() << "no /dev/fuse or fusermount3 here";
    scratch::Folder dir;
    const fs::path backing = dir.folder("daten"), at = dir.folder("netz");
    std::vector<fs::path> names;
    for (int k = 0; k < 120; ++k) {
        const std::string name = "o" + std::to_string(k % 4) + "/f" + std::to_string(k);
        dir.folder("daten/o" + std::to_string(k % 4));
        ASSERT_FALSE(writeAttributes(dir.file("daten/" + name), k % 3 ? H : S | A));
        names.push_back(name);
    }
    names.push_back("o1/weg");
    const scratch::SlowMount mount(backing, at);
    ASSERT_TRUE(mount.mounted());
    mount.calls();
    std::vector<std::pair<std::error_code, EntryState>> read(names.size());
    queryEntries(
        names.size(), [&](std::size_t i) { return at / names[i]; },
        [&](std::size_t i, std::error_code ec, const EntryState& s) {
            read[i] = {ec, s};
        });
    const auto calls = mount.calls();
    for (std::size_t i = 0; i < names.size(); ++i) {
        EntryState direct;
        const auto ec = queryEntry(backing / names[i], direct);
        EXPECT_EQ(read[i].first, ec) << names[i];
        EXPECT_EQ(read[i].second.attributes, ec ? 0 : direct.attributes) << names[i];
        EXPECT_EQ(read[i].second.lastWrite, ec ? 0 : direct.lastWrite) << names[i];
    }
    EXPECT_GE(calls.at("most"), 8) << "the calls wait for each other";
    const auto total = [](const std::map<std::string, long>& counts) {
        long all = 0;
        for (const auto& [kind, n] : counts)
            all += kind == "most" ? 0 : n;
        return all;
    };
    // A row costs its name's lookups, its attributes and its stored word, nothing twice; a
    // folder its listing, which a mount that keeps what it is told answers the rows from.
    EXPECT_LE(total(calls), 4 * long(names.size()) + 4 * 4);
    EXPECT_EQ(calls.at("getxattr"), long(names.size())) << "a mount is learnt once, not by each";

    // A written row: looked up, read, written and read back once; what it read back is what
    // the server has.
    apply::RowFailure failure;
    std::optional<EntryState> after;
    ASSERT_TRUE(apply::ApplyRow(
        at / names[0], {Tri::Unchecked, Tri::Checked, Tri::Unchecked, Tri::Checked}, &Moment, [] {},
        failure, nullptr, &after));
    const auto written = mount.calls();
    EXPECT_EQ(written.at("getxattr"), 2) << "the word is read before and after, not between";
    EXPECT_LE(total(written), 9);
    EntryState direct;
    ASSERT_FALSE(queryEntry(backing / names[0], direct));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->attributes, direct.attributes);
    EXPECT_EQ(after->lastWrite, direct.lastWrite);
}

} // namespace
