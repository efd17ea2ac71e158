// Linux only: where the word is kept (user.DOSATTRIB and the mode bits), and what happens to a
// process that may not write.
#include "platform/dosattrib.h"
#include "platform/fileservices.h"

#include "platform/scratch.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
namespace dos = platform::dosattrib;

constexpr uid_t Nobody = 65534;

std::string storedValue(const fs::path& p) {
    char buf[512];
    const ssize_t n = ::getxattr(p.c_str(), "user.DOSATTRIB", buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

std::optional<dos::Info> stored(const fs::path& p) {
    const std::string v = storedValue(p);
    return dos::decode(v.data(), v.size());
}

void store(const fs::path& p, const std::string& value) {
    ASSERT_EQ(::setxattr(p.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0), 0)
        << std::strerror(errno);
}

mode_t modeOf(const fs::path& p) {
    struct stat st;
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

std::uint32_t wordOf(const fs::path& p) {
    std::uint32_t word = 0xdeadbeef;
    const std::error_code ec = readAttributes(p, word);
    EXPECT_FALSE(ec) << ec.message();
    return word;
}

mode_t currentUmask() {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

// Runs \p body in a forked child and gives its exit status; a failing check in the child prints
// why and exits with its line number.
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#define CHILD_CHECK(cond)                                                                          \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "child: %s failed\n", #cond);                                     \
            return __LINE__ % 200 + 1;                                                             \
        }                                                                                          \
    } while (0)

bool asRoot() {
    return ::geteuid() == 0;
}

TEST(UnixReadOnly, ModeBitsAndStoredWordMoveTogether) {
    scratch::Folder dir;
    const fs::path f = dir.file("r.txt");
    ::chmod(f.c_str(), 0664);

    ASSERT_FALSE(writeAttributes(f, attr::ReadOnly | attr::Archive));
    EXPECT_EQ(modeOf(f), 0444u);
    ASSERT_TRUE(stored(f));
    EXPECT_EQ(stored(f)->attributes, attr::ReadOnly | attr::Archive) << "Samba reads R here";

    // Cleared the way Wine gives write bits back: owner always, group and others where they
    // may read, less the umask.
    ASSERT_FALSE(writeAttributes(f, attr::Archive));
    EXPECT_EQ(modeOf(f), (0444 | ((0600 | 0022) & ~currentUmask())));
    EXPECT_EQ(stored(f)->attributes, attr::Archive);
}

TEST(UnixReadOnly, AFileWithoutWriteBitsReadsReadOnly) {
    scratch::Folder dir;
    const fs::path f = dir.file("r.txt");
    ::chmod(f.c_str(), 0400);
    EXPECT_EQ(wordOf(f), attr::ReadOnly) << "no stored value: R from the mode alone";
    ASSERT_FALSE(writeAttributes(f, 0));
    EXPECT_EQ(modeOf(f), (0400 | (0600 & ~currentUmask())));
    EXPECT_EQ(wordOf(f), 0u);
}

TEST(UnixReadOnly, AFoldersModeIsNeverChanged) {
    scratch::Folder dir;
    const fs::path sub = dir.folder("o");
    ::chmod(sub.c_str(), 0750);
    ASSERT_FALSE(writeAttributes(sub, attr::ReadOnly));
    EXPECT_EQ(modeOf(sub), 0750u);
    EXPECT_EQ(stored(sub)->attributes, attr::Directory | attr::ReadOnly);
    ::chmod(sub.c_str(), 0550);
    EXPECT_EQ(wordOf(sub), attr::Directory | attr::ReadOnly) << "R of a folder: stored only";
    ASSERT_FALSE(writeAttributes(sub, 0));
    EXPECT_EQ(modeOf(sub), 0550u);
    EXPECT_EQ(wordOf(sub), attr::Directory);
}

TEST(UnixDosAttrib, OurWriteIsVersion3AndKeepsSambasCreateTime) {
    scratch::Folder dir;
    const fs::path f = dir.file("s.txt");
    const std::string sambaV5("\0\0\5\0\5\0\0\0\x11\0\0\0\x20\0\0\0\3\xe6\x90\x98\xc2\x85\xdd\1",
                              24);
    store(f, sambaV5);
    EXPECT_EQ(wordOf(f), attr::Archive);

    ASSERT_FALSE(writeAttributes(f, attr::Archive | attr::Hidden));
    EXPECT_EQ(storedValue(f), dos::encode({0x22, true, 0x01dd85c29890e603}));
    EXPECT_EQ(storedValue(f).substr(0, 5), std::string("0x22\0", 5)) << "the text Wine reads";
}

TEST(UnixDosAttrib, AFirstValueStoresTheCreateTimeSambaShowedBefore) {
    scratch::Folder dir;
    const fs::path f = dir.file("neu.txt");
    scratch::setOtherTimes(f); // the access time is now the earliest of the three
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    ASSERT_FALSE(writeAttributes(f, attr::System));
    const auto info = stored(f);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasCreateTime);
    EXPECT_EQ(info->createTime, dos::ntTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec));
}

TEST(UnixDosAttrib, DirectoryBitOnlyForFoldersOtherStoredBitsKept) {
    scratch::Folder dir;
    const fs::path f = dir.file("f.txt");
    const fs::path sub = dir.folder("d");
    // A file once stored as a folder, with the compressed bit and bits beyond 16 (a word once
    // held in 16 signed bits lost these).
    constexpr std::uint32_t High = 0x48000;
    store(f, dos::encode({High | attr::Compressed | attr::Directory | attr::Archive, false, 0}));
    const std::uint32_t read = wordOf(f);
    EXPECT_EQ(read, High | attr::Compressed | attr::Archive);

    // What the apply run writes back: the word less Directory and Compressed, H added.
    ASSERT_FALSE(writeAttributes(f, (read & ~attr::Compressed) | attr::Hidden));
    EXPECT_EQ(stored(f)->attributes, High | attr::Compressed | attr::Archive | attr::Hidden);
    EXPECT_EQ(wordOf(f), High | attr::Compressed | attr::Archive | attr::Hidden);

    ASSERT_FALSE(writeAttributes(sub, attr::Hidden));
    EXPECT_EQ(stored(sub)->attributes, attr::Directory | attr::Hidden);
}

TEST(UnixDosAttrib, AValueThatDoesNotParseCountsAsNone) {
    scratch::Folder dir;
    const fs::path f = dir.file("kaputt.txt");
    for (const std::string& junk :
         {std::string("zz"), std::string(300, '2'), std::string("\0\0\x09\0\x09\0\0\0", 8)}) {
        store(f, junk);
        EXPECT_EQ(wordOf(f), 0u) << junk.size();
    }
    ASSERT_FALSE(writeAttributes(f, attr::Hidden));
    EXPECT_EQ(wordOf(f), attr::Hidden);
}

TEST(UnixNames, AnyBytesWork) {
    scratch::BerlinTime berlin;
    SKIP_UNLESS_PINNED(berlin);
    scratch::Folder dir;
    const fs::path f = dir.file(std::string("lat\xe9in1-\xff.txt")); // not UTF-8
    ASSERT_FALSE(writeAttributes(f, attr::Hidden));
    EXPECT_EQ(wordOf(f), attr::Hidden);
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    EntryState state;
    ASSERT_FALSE(queryEntry(f, state));
    EXPECT_EQ(state.lastWrite, 1610708400);
    EXPECT_EQ(displayText(f), f.native()) << "bytes kept for whoever shows them";
    EXPECT_FALSE(samePath(f.native(), dir.path() / "lat\xc3\xa9in1-\xff.txt"));
}

// A file system without user extended attributes: ramfs, mounted in a mount namespace of a
// child so that nothing outlives the test.
TEST(UnixNoUserXattrs, ReadOnlyStillWorksTheOthersFailWithoutHalfWrites) {
    if (!asRoot())
        GTEST_SKIP() << "mounting ramfs needs root";
    scratch::Folder dir;
    const fs::path mnt = dir.folder("ramfs");
    const int status = inChild([&]() -> int {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", mnt.c_str(), "ramfs", 0, nullptr) != 0)
            return 77;
        const fs::path f = mnt / "f.txt";
        std::ofstream(f) << "x";
        ::chmod(f.c_str(), 0644);
        std::uint32_t word = 1;
        CHILD_CHECK(!readAttributes(f, word) && word == 0);
        CHILD_CHECK(!writeAttributes(f, attr::ReadOnly));
        CHILD_CHECK(modeOf(f) == 0444);
        CHILD_CHECK(!readAttributes(f, word) && word == attr::ReadOnly);
        const std::error_code ec = writeAttributes(f, attr::Hidden);
        CHILD_CHECK(ec == std::errc::not_supported);
        CHILD_CHECK(modeOf(f) == 0444); // R was not cleared on the way to the failure
        CHILD_CHECK(reasonCode(ec) == EOPNOTSUPP && !reasonText(ec).empty());
        CHILD_CHECK(writeAttributes(mnt, attr::ReadOnly) == std::errc::not_supported);
        CHILD_CHECK(!writeAttributes(f, 0));
        CHILD_CHECK(modeOf(f) != 0444);
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "ramfs could not be mounted here";
    EXPECT_EQ(status, 0);
}

class UnixOtherUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!asRoot())
            GTEST_SKIP() << "dropping to another user needs root";
        ::chmod(dir.path().c_str(), 0755);
    }
    // Runs \p body as nobody.
    int asNobody(const std::function<int()>& body) {
        return inChild([&]() -> int {
            if (::setresgid(Nobody, Nobody, Nobody) != 0 ||
                ::setresuid(Nobody, Nobody, Nobody) != 0)
                return 99;
            return body();
        });
    }
    scratch::Folder dir;
};

TEST_F(UnixOtherUser, SomeoneElsesReadOnlyFileIsRefusedUnchanged) {
    const fs::path f = dir.file("fremd.txt");
    ASSERT_FALSE(writeAttributes(f, attr::ReadOnly | attr::Archive));
    const std::string valueBefore = storedValue(f);
    const auto timeBefore = scratch::rawTimes(f).write;

    EXPECT_EQ(asNobody([&]() -> int {
                  const std::error_code write = writeAttributes(f, attr::Archive);
                  CHILD_CHECK(write == std::errc::permission_denied ||
                              write == std::errc::operation_not_permitted);
                  const std::error_code hide = writeAttributes(f, attr::ReadOnly | attr::Hidden);
                  CHILD_CHECK(hide == std::errc::permission_denied);
                  CHILD_CHECK(setLastWriteTime(f, {12, 0, 0, 1, 1, 2001}) ==
                              std::errc::operation_not_permitted);
                  std::uint32_t word = 0;
                  CHILD_CHECK(!readAttributes(f, word) && word == (attr::ReadOnly | attr::Archive));
                  return 0;
              }),
              0);
    EXPECT_EQ(storedValue(f), valueBefore);
    EXPECT_EQ(modeOf(f), 0444u);
    EXPECT_EQ(scratch::rawTimes(f).write, timeBefore);
}

TEST_F(UnixOtherUser, TheOwnerChangesHiddenOfHisReadOnlyFile) {
    const fs::path f = dir.file("eigen.txt");
    ::chmod(f.c_str(), 0444);
    ASSERT_EQ(::chown(f.c_str(), Nobody, Nobody), 0);
    EXPECT_EQ(asNobody([&]() -> int {
                  CHILD_CHECK(!writeAttributes(f, attr::ReadOnly | attr::Hidden));
                  CHILD_CHECK(modeOf(f) == 0444); // the lent u+w is taken back
                  CHILD_CHECK(!setLastWriteTime(f, {12, 0, 0, 1, 1, 2001}));
                  CHILD_CHECK(!writeAttributes(f, attr::Hidden));
                  CHILD_CHECK(modeOf(f) & S_IWUSR);
                  return 0;
              }),
              0);
    EXPECT_EQ(stored(f)->attributes, attr::Hidden);
}

TEST_F(UnixOtherUser, AnEntryBehindAClosedFolderIsAnError) {
    const fs::path closed = dir.folder("zu");
    const fs::path f = dir.file("zu/f.txt");
    ::chmod(closed.c_str(), 0700);
    EXPECT_EQ(asNobody([&]() -> int {
                  std::uint32_t word = 0;
                  EntryState state;
                  CHILD_CHECK(readAttributes(f, word) == std::errc::permission_denied);
                  CHILD_CHECK(queryEntry(f, state) == std::errc::permission_denied);
                  CHILD_CHECK(writeAttributes(f, 0) == std::errc::permission_denied);
                  FolderEnumerator listing(closed);
                  CHILD_CHECK(listing.error() == std::errc::permission_denied);
                  return 0;
              }),
              0);
}

} // namespace
