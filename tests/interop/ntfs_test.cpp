// On an NTFS volume (ntfs-3g) our layer changes the real attribute word, system.ntfs_attrib.
#include "platform/fileservices.h"

#include "interop/interop.h"

#include <fstream>
#include <memory>

#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using scratch::wordOf;

// The word as ntfs-3g keeps it, read without our layer; NTFS shows a word without any bit as
// NORMAL (0x80), as Windows does.
std::uint32_t ntfsWord(const fs::path& p) {
    std::uint32_t word = 0; // little-endian, as the machines ntfs-3g runs on
    EXPECT_EQ(::getxattr(p.c_str(), "system.ntfs_attrib", &word, sizeof word), 4) << p;
    return word & ~0x80u;
}

TEST(Ntfs, EachBitSetsAndClearsOnAFileAndAFolder) {
    if (::geteuid() != 0 || !fs::exists("/dev/fuse"))
        GTEST_SKIP() << "mounting through FUSE needs root and /dev/fuse";
    if (!interop::have("mkntfs") || !interop::have("ntfs-3g"))
        GTEST_SKIP() << "mkntfs or ntfs-3g missing (package ntfs-3g)";
    scratch::Folder dir;
    const fs::path image = dir.file("ntfs.img", ""), mnt = dir.folder("mnt");
    fs::resize_file(image, 16 << 20);
    const auto made =
        interop::run("PATH=$PATH:/usr/sbin mkntfs -F -Q -q " + interop::quoted(image));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const auto mounted =
        interop::run("ntfs-3g " + interop::quoted(image) + " " + interop::quoted(mnt));
    if (mounted.exitCode != 0)
        GTEST_SKIP() << "ntfs-3g could not mount here: " << mounted.output;
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        const auto out = interop::run("umount " + interop::quoted(mnt));
        EXPECT_EQ(out.exitCode, 0) << out.output;
    });
    // Not a one-byte file: ntfs-3g takes a tiny S file for an Interix special file (EIO).
    const fs::path f = mnt / "datei.txt", sub = mnt / "ordner";
    std::ofstream(f) << "Inhalt einer Datei auf NTFS\n";
    fs::create_directory(sub);
    for (const std::uint32_t bit : {attr::ReadOnly, attr::Hidden, attr::System, attr::Archive}) {
        for (const fs::path& p : {f, sub}) {
            const std::uint32_t before = ntfsWord(p), d = p == sub ? attr::Directory : 0;
            ASSERT_FALSE(writeAttributes(p, (wordOf(p) & ~attr::Directory) | bit)) << p << bit;
            EXPECT_EQ(ntfsWord(p), before | bit) << p << " " << bit;
            EXPECT_EQ(wordOf(p) & (bit | attr::Directory), bit | d) << p << " " << bit;
            ASSERT_FALSE(writeAttributes(p, wordOf(p) & ~(attr::Directory | bit))) << p << bit;
            EXPECT_EQ(ntfsWord(p), before & ~bit) << p << " " << bit;
            EXPECT_EQ(wordOf(p) & (bit | attr::Directory), d) << p << " " << bit;
        }
    }
    char value[8];
    EXPECT_LT(::getxattr(f.c_str(), "user.DOSATTRIB", value, sizeof value), 0)
        << "NTFS keeps the word itself, not in Samba's attribute";
}

} // namespace
