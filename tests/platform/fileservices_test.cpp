// The behaviour every system gives the same way; the cases where the systems differ say so.
#include "platform/fileservices.h"

#include "platform/scratch.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using scratch::OnWindows;

constexpr std::uint32_t Rhsa = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;

std::uint32_t wordOf(const fs::path& p) {
    std::uint32_t word = 0xdeadbeef;
    EXPECT_FALSE(readAttributes(p, word)) << p;
    return word;
}

// Wine reports A for every file whatever is stored; elsewhere A is what we wrote.
std::uint32_t comparable(std::uint32_t word) {
    return scratch::underWine() ? word & ~attr::Archive : word;
}

std::int64_t lastWriteOf(const fs::path& p) {
    EntryState state;
    EXPECT_FALSE(queryEntry(p, state)) << p;
    return state.lastWrite;
}

std::string contentsOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Attributes, EachBitSetsAndClearsOnAFile) {
    scratch::Folder dir;
    const fs::path f = dir.file("datei.txt");
    for (std::uint32_t bits : {attr::ReadOnly, attr::Hidden, attr::System, attr::Archive, Rhsa,
                               attr::Hidden | attr::System}) {
        ASSERT_FALSE(writeAttributes(f, bits)) << bits;
        EXPECT_EQ(comparable(wordOf(f) & Rhsa), comparable(bits));
        ASSERT_FALSE(writeAttributes(f, 0)) << bits;
        EXPECT_EQ(comparable(wordOf(f) & Rhsa), 0u);
    }
    EXPECT_EQ(wordOf(f) & attr::Directory, 0u);
    EXPECT_EQ(contentsOf(f), "Inhalt");
}

TEST(Attributes, FolderKeepsItsDirectoryBitAndStaysUsable) {
    scratch::Folder dir;
    const fs::path sub = dir.folder("Ordner");
    ASSERT_FALSE(writeAttributes(sub, attr::ReadOnly | attr::Hidden | attr::System));
    // Wine keeps no R on folders.
    const std::uint32_t r = scratch::underWine() ? 0 : attr::ReadOnly;
    EXPECT_EQ(wordOf(sub) & (Rhsa | attr::Directory),
              attr::Directory | r | attr::Hidden | attr::System);
    // On Windows R does not forbid new files in a folder; on Linux it must not either.
    std::ofstream(sub / "neu.txt") << "x";
    EXPECT_TRUE(fs::exists(sub / "neu.txt"));
    ASSERT_FALSE(writeAttributes(sub, 0));
    EXPECT_EQ(comparable(wordOf(sub) & (Rhsa | attr::Directory)), attr::Directory);
}

TEST(Attributes, QueryEntryAgreesWithTheSingleReads) {
    scratch::Folder dir;
    const fs::path f = dir.file("a.txt");
    const fs::path sub = dir.folder("b");
    ASSERT_FALSE(writeAttributes(f, attr::Hidden | attr::ReadOnly));
    for (const fs::path& p : {f, sub}) {
        EntryState state;
        ASSERT_FALSE(queryEntry(p, state));
        EXPECT_EQ(state.attributes, wordOf(p));
        std::string viaQuery = formatLastWrite(state.lastWrite), viaRead;
        ASSERT_FALSE(readLastWriteText(p, viaRead));
        EXPECT_EQ(viaRead, viaQuery);
        EXPECT_LE(std::abs(state.lastWrite - static_cast<std::int64_t>(std::time(nullptr))), 60);
    }
}

TEST(Failures, AVanishedPathIsReportedByEveryCall) {
    scratch::Folder dir;
    const fs::path gone = dir.path() / "weg.txt";
    std::uint32_t word = 0;
    EntryState state;
    std::string text;
    const std::error_code errors[] = {readAttributes(gone, word), writeAttributes(gone, 0),
                                      queryEntry(gone, state), readLastWriteText(gone, text),
                                      setLastWriteTime(gone, {12, 0, 0, 1, 1, 2020})};
    for (const auto& ec : errors) {
        EXPECT_EQ(ec, std::errc::no_such_file_or_directory) << ec.message();
        EXPECT_FALSE(reasonText(ec).empty());
        EXPECT_EQ(reasonCode(ec), 2) << "ENOENT and ERROR_FILE_NOT_FOUND are both 2";
    }
    EXPECT_FALSE(fs::exists(gone));
}

class LastWriteTime : public ::testing::Test {
protected:
    scratch::BerlinTime berlin;
    scratch::Folder dir;
};

TEST_F(LastWriteTime, WinterAndSummerDatesKeepTheirWallClock) {
    SKIP_UNLESS_PINNED(berlin);
    const fs::path f = dir.file("t.txt");
    // Whatever today's offset, each date gets its own: +1 h in January, +2 h in July.
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    EXPECT_EQ(lastWriteOf(f), 1610708400) << "11:00 UTC";
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 7, 2021}));
    EXPECT_EQ(lastWriteOf(f), 1626343200) << "10:00 UTC";
}

TEST_F(LastWriteTime, AMomentInTheSpringForwardGapMovesForward) {
    SKIP_UNLESS_PINNED(berlin);
    const fs::path f = dir.file("t.txt");
    ASSERT_FALSE(setLastWriteTime(f, {2, 30, 0, 31, 3, 2024}));
    EXPECT_EQ(lastWriteOf(f), 1711848600) << "03:30 CEST";
}

TEST_F(LastWriteTime, OnlyTheWholeSecondWriteTimeChanges) {
    SKIP_UNLESS_PINNED(berlin);
    const fs::path f = dir.file("t.txt", "bleibt");
    scratch::setOtherTimes(f);
    const scratch::RawTimes before = scratch::rawTimes(f);
    ASSERT_FALSE(setLastWriteTime(f, {14, 5, 9, 6, 12, 1999}));
    const scratch::RawTimes after = scratch::rawTimes(f);
    EXPECT_EQ(after.write % after.unitsPerSecond, 0) << "no sub-seconds";
    EXPECT_EQ(lastWriteOf(f), 944485509);
    EXPECT_EQ(after.access, before.access);
    if (!scratch::underWine()) { // Wine makes the creation time up from the Linux times
        EXPECT_EQ(after.creation, before.creation);
    }
    EXPECT_EQ(contentsOf(f), "bleibt");
}

TEST_F(LastWriteTime, ADateThatDoesNotExistIsAnErrorAndChangesNothing) {
    const fs::path f = dir.file("t.txt");
    const std::int64_t before = scratch::rawTimes(f).write;
    const LocalTime impossible[] = {
        {12, 0, 0, 29, 2, 2100}, // the fields count 2100 as a leap year, the calendar does not
        {12, 0, 0, 31, 4, 2021}, {24, 0, 0, 1, 1, 2021}, {12, 60, 0, 1, 1, 2021},
        {12, 0, 0, 0, 1, 2021},  {12, 0, 0, 1, 13, 2021}};
    for (const LocalTime& t : impossible) {
        EXPECT_EQ(setLastWriteTime(f, t), std::errc::invalid_argument)
            << t.day << "." << t.month << "." << t.year << " " << t.hour << ":" << t.minute;
    }
    EXPECT_EQ(scratch::rawTimes(f).write, before);
    EXPECT_FALSE(setLastWriteTime(f, {12, 0, 0, 29, 2, 2096})) << "a real leap day";
}

TEST_F(LastWriteTime, AReadOnlyFileIsTouchedAsItIs) {
    SKIP_UNLESS_PINNED(berlin);
    const fs::path f = dir.file("r.txt");
    ASSERT_FALSE(writeAttributes(f, attr::ReadOnly));
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    EXPECT_EQ(lastWriteOf(f), 1610708400);
    EXPECT_EQ(wordOf(f) & attr::ReadOnly, attr::ReadOnly);
}

TEST(DateText, LocalDateAndTimeOnlyDateAtMidnight) {
    scratch::BerlinTime berlin;
    scratch::GermanDates german;
    SKIP_UNLESS_PINNED(berlin);
    SKIP_UNLESS_PINNED(german);
    EXPECT_EQ(formatLastWrite(944485509), german.shortDate("06.12.1999") + " 14:05:09");
    EXPECT_EQ(formatLastWrite(946681200), german.shortDate("01.01.2000"));
    EXPECT_EQ(formatLastWrite(946681201), german.shortDate("01.01.2000") + " 00:00:01");
}

TEST(Folders, ListsEveryEntryWithDotsHiddenAndKinds) {
    scratch::Folder dir;
    dir.file("datei.txt");
    dir.folder("unter");
    const fs::path hidden = dir.file(OnWindows ? "versteckt.txt" : ".versteckt");
    ASSERT_FALSE(writeAttributes(hidden, attr::Hidden | attr::System));
    const bool withLink = scratch::makeLink(dir.path() / "verweis", dir.path() / "datei.txt");

    std::map<fs::path::string_type, EntryKind> seen;
    FolderEnumerator listing(dir.path() / "");
    ASSERT_FALSE(listing.error());
    for (FolderEntry e; listing.next(e);)
        seen[e.name] = e.kind;

    const fs::path names[] = {".", "..", "datei.txt", "unter", hidden.filename()};
    for (const fs::path& name : names)
        EXPECT_TRUE(seen.count(name.native())) << name;
    EXPECT_EQ(seen[fs::path("datei.txt").native()], EntryKind::File);
    EXPECT_EQ(seen[fs::path("unter").native()], EntryKind::Directory);
    EXPECT_EQ(seen[fs::path(".").native()], EntryKind::Directory);
    if (withLink) {
        EXPECT_EQ(seen[fs::path("verweis").native()], EntryKind::Link);
    }
    EXPECT_EQ(seen.size(), std::size(names) + (withLink ? 1 : 0));
}

TEST(Folders, AMissingFolderSaysWhy) {
    scratch::Folder dir;
    FolderEnumerator listing(dir.path() / "fehlt");
    EXPECT_EQ(listing.error(), std::errc::no_such_file_or_directory);
    FolderEntry e;
    EXPECT_FALSE(listing.next(e));
}

TEST(Links, AFileSwappedForALinkIsNeverWrittenThrough) {
    scratch::Folder dir;
    const fs::path target = dir.file("ziel.txt");
    const fs::path listed = dir.file("liste.txt");
    ASSERT_FALSE(writeAttributes(target, 0));
    fs::remove(listed);
    if (!scratch::makeLink(listed, target))
        GTEST_SKIP() << "this system makes no symbolic links for us";
    const std::int64_t targetTime = scratch::rawTimes(target).write;

    EXPECT_TRUE(isLink(listed));
    EXPECT_FALSE(isLink(target));
    const std::error_code write = writeAttributes(listed, attr::Hidden | attr::ReadOnly);
    const std::error_code touch = setLastWriteTime(listed, {12, 0, 0, 1, 1, 2001});
    for (const auto& ec : {write, touch}) {
        ASSERT_TRUE(ec);
        if (!OnWindows) {
            EXPECT_EQ(ec, std::errc::too_many_symbolic_link_levels);
        }
        EXPECT_FALSE(reasonText(ec).empty());
    }
    EXPECT_EQ(comparable(wordOf(target) & Rhsa), 0u);
    EXPECT_EQ(scratch::rawTimes(target).write, targetTime);
}

TEST(Paths, SamePathIsExactOnLinuxAndIgnoresCaseOnWindows) {
    const fs::path upper = u8"C:/Ordner/ÄRGER.TXT", lower = u8"C:/Ordner/ärger.txt";
    EXPECT_EQ(samePath(upper.native(), lower.native()), OnWindows);
    if (OnWindows) {
        EXPECT_EQ(pathHash(upper.native()), pathHash(lower.native()));
    }
    EXPECT_TRUE(samePath(upper.native(), upper.native()));
    EXPECT_FALSE(samePath(upper.native(), fs::path(u8"C:/Ordner/ÄRGER.TX").native()));
    EXPECT_NE(pathHash(upper.native()), pathHash(fs::path("C:/anderes").native()));
}

TEST(Paths, ProgramFolderSeparatorAndDisplayText) {
    const fs::path exe = OnWindows ? "core_tests.exe" : "core_tests";
    const fs::path folder = executableFolder();
    EXPECT_TRUE(fs::exists(folder / exe)) << folder;
    EXPECT_EQ(separator(), OnWindows ? "\\" : "/");
    EXPECT_EQ(displayText(fs::path(u8"Grüße") / u8"ärger.txt"),
              "Grüße" + separator() + "ärger.txt");
}

} // namespace
