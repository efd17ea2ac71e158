// The window's logic on Linux alone: kernel views, and sizes too slow to make under Wine.
#include "platform/dosattrib.h"
#include "support/formfixture.h"

#include <fstream>
#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;

using Form1UnixTest = FormFixture;

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
