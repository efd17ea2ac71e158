// The window's logic on what only Linux offers here: a file system without extended
// attributes, and lists and words beyond sixteen bits (too slow to make under Wine).
#include "app/form1.h"
#include "platform/dosattrib.h"
#include "platform/fileservices.h"
#include "platform/scratch.h"
#include "support/formfixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using app::Ctl;
namespace attr = platform::attr;

using Form1UnixTest = FormFixture;

TEST_F(Form1UnixTest, ARowThatFailsAfterItsWordWasClearedGetsItBack) {
    // ramfs keeps no extended attributes: R (the mode bits) can be set there, H cannot.
    const fs::path at = dir.folder("ramfs");
    if (::geteuid() != 0 ||
        std::system(("mount -t ramfs none '" + at.string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "needs root to mount a file system without extended attributes";
    const std::shared_ptr<void> unmount(
        nullptr, [&](void*) { std::system(("umount '" + at.string() + "'").c_str()); });
    const fs::path file = at / "ro.txt";
    std::ofstream(file) << "x";
    ASSERT_FALSE(platform::writeAttributes(file, attr::ReadOnly));
    drop({file});
    form.TouchChk_Click(true);
    setBoxes("1001"); // R as the check presets it
    form.Btn_Click(8);
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_NE(toolkit.messages[0].text.find("(Code " + std::to_string(EOPNOTSUPP) + ")"),
              std::string::npos);
    // Still read-only, not stripped by the clearing for the time stamp.
    EXPECT_EQ(scratch::wordOf(file) & ~attr::Directory, attr::ReadOnly);
}

TEST_F(Form1UnixTest, DroppedKernelViewsAreSkippedAndCounted) {
    drop({"/proc", "/proc/self/status"});
    EXPECT_EQ(form.rows().size(), 0u);
    EXPECT_EQ(panel(2), "Eintragung beendet (2 Einträge übersprungen)");
}

TEST_F(Form1UnixTest, WordsAndListsBeyondSixteenBits) {
    const fs::path folder = dir.folder("viele");
    for (int i = 0; i < 33000; ++i)
        std::ofstream(folder / std::to_string(i));
    const fs::path big = file("gross.txt");
    // An attribute word above 32767 (INTEGRITY_STREAM, as Samba may store it) passes through.
    const std::string stored = platform::dosattrib::encode({0x8000 | attr::Archive, true, 1});
    ASSERT_EQ(::setxattr(big.c_str(), "user.DOSATTRIB", stored.data(), stored.size(), 0), 0);
    drop({folder, big});
    setBoxes("0210"); // A grayed, as the check presets it
    form.Btn_Click(8);
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_EQ(panel(2), "Fertig");
    EXPECT_EQ(scratch::wordOf(big) & ~attr::Directory, 0x8000u | attr::Archive | attr::System);
    EXPECT_EQ(panel(1), "33002 Dateien, davon 33002 ausgewählt");
}

} // namespace
