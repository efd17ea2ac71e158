// On an NTFS volume (ntfs-3g) our layer changes the real attribute word, system.ntfs_attrib.
#include "platform/fileservices.h"

#include "interop/interop.h"
#include "platform/scratch.h"

#include <fstream>

#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using interop::quoted;

constexpr std::uint32_t Normal = 0x80;

// The word as ntfs-3g keeps it, read without our layer.
std::uint32_t ntfsWord(const fs::path& p) {
    unsigned char raw[4] = {};
    EXPECT_EQ(::getxattr(p.c_str(), "system.ntfs_attrib", raw, sizeof raw), 4);
    return raw[0] | (raw[1] << 8) | (raw[2] << 16) | (static_cast<std::uint32_t>(raw[3]) << 24);
}

std::uint32_t ourWord(const fs::path& p) {
    std::uint32_t word = 0;
    const std::error_code ec = readAttributes(p, word);
    EXPECT_FALSE(ec) << p << ": " << ec.message();
    return word;
}

class Ntfs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interop::asRoot())
            GTEST_SKIP() << "mounting through FUSE needs root";
        if (!fs::exists("/dev/fuse"))
            GTEST_SKIP() << "no /dev/fuse";
        if (!interop::have("mkntfs") || !interop::have("ntfs-3g"))
            GTEST_SKIP() << "mkntfs or ntfs-3g missing (package ntfs-3g)";
        const fs::path image = dir.path() / "ntfs.img";
        mountPoint = dir.folder("mnt");
        fs::resize_file(dir.file("ntfs.img", ""), 16 << 20);
        const auto made =
            interop::run("PATH=$PATH:/usr/sbin mkntfs -F -Q -q " + quoted(image.native()));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        const auto mounted =
            interop::run("ntfs-3g " + quoted(image.native()) + " " + quoted(mountPoint.native()));
        if (mounted.exitCode != 0)
            GTEST_SKIP() << "ntfs-3g could not mount here: " << mounted.output;
        isMounted = true;
    }

    void TearDown() override {
        if (isMounted) {
            const auto out = interop::run("umount " + quoted(mountPoint.native()));
            EXPECT_EQ(out.exitCode, 0) << out.output;
        }
    }

    void setAndClear(std::uint32_t bit);

    scratch::Folder dir;
    fs::path mountPoint;
    bool isMounted = false;
};

// Sets and clears \p bit on a file and a folder, and checks the word ntfs-3g keeps.
void Ntfs::setAndClear(std::uint32_t bit) {
    const fs::path f = mountPoint / "datei.txt";
    // Not a one-byte file: ntfs-3g takes a tiny S file for an Interix special file (EIO).
    std::ofstream(f) << "Inhalt einer Datei auf NTFS\n";
    const fs::path sub = mountPoint / "ordner";
    fs::create_directory(sub);

    for (const fs::path& p : {f, sub}) {
        // NTFS shows a word without any bit as NORMAL (0x80), as Windows does.
        const std::uint32_t before = ntfsWord(p) & ~Normal;
        ASSERT_FALSE(writeAttributes(p, (ourWord(p) & ~attr::Directory) | bit)) << p;
        EXPECT_EQ(ntfsWord(p) & ~Normal, before | bit) << p;
        EXPECT_EQ(ourWord(p) & bit, bit) << p;
        ASSERT_FALSE(writeAttributes(p, ourWord(p) & ~(attr::Directory | bit))) << p;
        EXPECT_EQ(ntfsWord(p) & ~Normal, before & ~bit) << p;
        EXPECT_EQ(ourWord(p) & bit, 0u) << p;
        EXPECT_EQ(ourWord(p) & attr::Directory, p == sub ? attr::Directory : 0u);
    }
    char value[8];
    EXPECT_LT(::getxattr(f.c_str(), "user.DOSATTRIB", value, sizeof value), 0)
        << "NTFS keeps the word itself, not in Samba's attribute";
}

TEST_F(Ntfs, ReadOnly) {
    setAndClear(attr::ReadOnly);
}
TEST_F(Ntfs, Hidden) {
    setAndClear(attr::Hidden);
}
TEST_F(Ntfs, System) {
    setAndClear(attr::System);
}
TEST_F(Ntfs, Archive) {
    setAndClear(attr::Archive);
}

} // namespace
