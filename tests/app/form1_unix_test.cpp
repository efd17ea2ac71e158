// The window's logic on Linux alone: kernel views, and sizes too slow to make under Wine.
#include "app/commandline.h"
#include "platform/dosattrib.h"
#include "support/formfixture.h"
#include "support/slowmount.h"

#include <fstream>
#include <map>
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

// A file manager's hand-over: each kind of name read as its drop would be, options apart.
TEST_F(Form1UnixTest, TheCommandLineIsADropOfItsNames) {
    using Action = app::CommandLine::Action;
    const fs::path a = file("a b.txt");
    dir.folder("ordner");
    ASSERT_TRUE(scratch::makeLink(dir.path() / "verweis", a));
    const fs::path here = fs::current_path();
    fs::current_path(dir.path());
    const struct {
        std::vector<std::string> args;
        Action action;
        std::vector<std::string> names; // relative to the folder
        std::size_t refused = 0;
    } cases[] = {
        {{"a b.txt", "./ordner/", "verweis"}, Action::Open, {"a b.txt", "ordner", "a b.txt"}},
        {{"file://" + dir.path().native() + "/a%20b.txt"}, Action::Open, {"a b.txt"}},
        // not there, or another host's: counted as skipped
        {{"weg/", "--", "-x", "file://anderer/x"}, Action::Open, {"weg", "-x", "file:/anderer/x"}},
        {{"smb://server/", "smb://server/freigabe/d.txt"}, Action::Open, {}, 1},
        {{"--version"}, Action::Version, {}},
        {{"a b.txt", "--help"}, Action::Help, {"a b.txt"}},
        {{"-q", "a b.txt"}, Action::Refuse, {}},
    };
    for (const auto& c : cases) {
        const auto line = app::ReadCommandLine(c.args);
        EXPECT_EQ(line.action, c.action) << c.args[0];
        std::vector<std::string> expected;
        for (const std::string& n : c.names)
            expected.push_back((dir.path() / n).native());
        if (c.refused) // the share's file is a share row
            expected.push_back("smb://server/freigabe/d.txt");
        EXPECT_EQ(line.names, expected) << c.args[0];
        EXPECT_EQ(line.refusedShares.size(), c.refused) << c.args[0];
    }
    // Through the window's logic: listed as a drop lists them, the missing one counted.
    EXPECT_TRUE(form.HandOver(app::ReadCommandLine({"a b.txt", "ordner", "weg"}).names));
    toolkit.runLater();
    fs::current_path(here);
    EXPECT_EQ(form.rows().size(), 2u);
    EXPECT_EQ(panel(2), "Eintragung beendet (1 Eintrag übersprungen)");
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

// "&Start" on rows of a network mount: written many at a time ahead of the run, which asks at a
// vanished row as ever; after "Nein" the rows above it are as they were, their times too.
TEST_F(Form1UnixTest, ARunOnANetworkMountKeepsItsMeaning) {
    if (!scratch::canMountSlowly())
        GTEST_SKIP() << "no /dev/fuse or fusermount3 here";
    const fs::path backing = dir.folder("daten"), at = dir.folder("netz");
    for (int k = 0; k < 80; ++k)
        std::ofstream(backing / ("f" + std::to_string(k)));
    const scratch::SlowMount mount(backing, at);
    ASSERT_TRUE(mount.mounted());
    drop({at});
    ASSERT_EQ(rows(), 81u);
    const std::size_t gone = 30; // its entry vanishes before the run reaches it
    const fs::path vanished = backing / fs::path(form.rows().at(gone).path).filename();
    std::map<fs::path, scratch::RawTimes> before;
    for (std::size_t i = 0; i < rows(); ++i)
        before[form.rows().at(i).path] = scratch::rawTimes(form.rows().at(i).path);
    fs::remove(vanished);
    toolkit.answers = {app::MessageAnswer::No};
    setBoxes("0001"); // H
    form.Btn_Click(8);
    EXPECT_EQ(panel(2), "Abgebrochen");
    ASSERT_EQ(toolkit.messages.size(), 1u);
    for (std::size_t i = 0; i < rows(); ++i) {
        const fs::path p = form.rows().at(i).path;
        if (i == gone || p == at)
            continue;
        EXPECT_EQ(scratch::wordOf(backing / p.filename()) & attr::Hidden,
                  i > gone ? attr::Hidden : 0)
            << i;
        EXPECT_EQ(scratch::rawTimes(backing / p.filename()).write, before[p].write) << i;
    }
}

} // namespace
