// What every system does the same way; where the systems differ, the case says so.
#include "platform/fileservices.h"
#include "platform/scratch.h"

#include <map>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using scratch::OnWindows;
using scratch::wordOf;

constexpr std::uint32_t Rhsa = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;

// R, H, S, A and Directory; not A under Wine, which reports A for every file.
std::uint32_t shown(std::uint32_t word) {
    return word & (Rhsa | attr::Directory) & ~(scratch::underWine() ? attr::Archive : 0u);
}

TEST(Attributes, EachBitSetsAndClearsOnAFileAndAFolder) {
    scratch::Folder dir;
    const fs::path f = dir.file("datei.txt"), sub = dir.folder("Ordner");
    for (const std::uint32_t bits :
         {attr::ReadOnly, attr::Hidden, attr::System, attr::Archive, Rhsa}) {
        for (const fs::path& p : {f, sub}) {
            const std::uint32_t d = p == sub ? attr::Directory : 0;
            // Wine keeps neither R nor A on folders: the read-back says so, nothing changes.
            if (d && scratch::underWine() && (bits & (attr::ReadOnly | attr::Archive))) {
                EXPECT_EQ(writeAttributes(p, bits), make_error_code(Refusal::NotKept)) << bits;
                EXPECT_EQ(shown(wordOf(p)), d) << bits;
                continue;
            }
            ASSERT_FALSE(writeAttributes(p, bits)) << p << " " << bits;
            EXPECT_EQ(shown(wordOf(p)), shown(bits | d)) << p << " " << bits;
            ASSERT_FALSE(writeAttributes(p, 0)) << p;
            EXPECT_EQ(shown(wordOf(p)), d) << p << " " << bits;
        }
    }
    EXPECT_EQ(fs::file_size(f), 6u) << "contents kept";
}

// A row's entry may have changed since it was listed: gone, or swapped for a link.
TEST(Failures, AVanishedPathIsReportedByEveryCallALinkNeverWrittenThrough) {
    scratch::Folder dir;
    const fs::path gone = dir.path() / "weg.txt";
    std::uint32_t word = 0;
    EntryState state;
    std::string text;
    for (const auto& ec :
         {readAttributes(gone, word), writeAttributes(gone, 0), queryEntry(gone, state),
          readLastWriteText(gone, text), setLastWriteTime(gone, {12, 0, 0, 1, 1, 2020})}) {
        EXPECT_EQ(ec, std::errc::no_such_file_or_directory) << ec.message();
        EXPECT_FALSE(reasonText(ec).empty());
        EXPECT_EQ(reasonCode(ec), 2) << "ENOENT and ERROR_FILE_NOT_FOUND are both 2";
    }
    EXPECT_FALSE(fs::exists(gone));

    const fs::path target = dir.file("ziel.txt"), listed = dir.path() / "liste.txt";
    ASSERT_FALSE(writeAttributes(target, 0));
    if (!scratch::makeLink(listed, target))
        return; // Wine makes no symbolic links for us
    const std::int64_t targetTime = scratch::rawTimes(target).write;
    EXPECT_TRUE(isLink(listed) && !isLink(target));
    for (const auto& ec : {writeAttributes(listed, attr::Hidden | attr::ReadOnly),
                           setLastWriteTime(listed, {12, 0, 0, 1, 1, 2001})})
        EXPECT_TRUE(OnWindows ? bool(ec) : ec == std::errc::too_many_symbolic_link_levels) << ec;
    EXPECT_EQ(shown(wordOf(target)), 0u);
    EXPECT_EQ(scratch::rawTimes(target).write, targetTime);
}

// Each date gets its own offset; the skipped hour moves forward also where summer time is the
// standard (Dublin: the C library moves it back), and is known to be off the clock before any
// write; no date, no change; R and the rest are kept.
TEST(LastWriteTime, KeepsTheWallClockOfEachDateAndChangesNothingElse) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    scratch::Folder dir;
    const fs::path f = dir.file("t.txt", "bleibt");
    ASSERT_FALSE(writeAttributes(f, attr::ReadOnly));
    const scratch::RawTimes before = scratch::rawTimes(f);
    constexpr std::int64_t Invalid = 0;
    const std::tuple<const char*, LocalTime, std::int64_t> cases[] = {
        {"Europe/Berlin", {12, 0, 0, 15, 1, 2021}, 1610708400}, // 11:00 UTC
        {"Europe/Berlin", {12, 0, 0, 15, 7, 2021}, 1626343200}, // 10:00 UTC
        {"Europe/Berlin", {14, 5, 9, 6, 12, 1999}, 944485509},
        {"Europe/Berlin", {12, 0, 0, 29, 2, 2096}, 3981351600},
        {"Europe/Berlin", {2, 30, 0, 31, 3, 2024}, 1711848600}, // 03:30 CEST
        {"Europe/Dublin", {1, 30, 0, 31, 3, 2024}, 1711848600}, // 02:30 IST
        // The fields count 2100 as a leap year, the calendar does not.
        {"Europe/Berlin", {12, 0, 0, 29, 2, 2100}, Invalid},
        {"Europe/Berlin", {12, 0, 0, 31, 4, 2021}, Invalid},
        {"Europe/Berlin", {24, 0, 0, 1, 1, 2021}, Invalid},
    };
    for (const auto& [zone, local, utc] : cases) {
        if (!scratch::pinZone(zone).empty())
            continue;
        const std::int64_t last = scratch::lastWriteOf(f);
        std::int64_t instead = 0;
        const bool skipped = local.day == 31 && local.month == 3;
        EXPECT_EQ(onLocalClock(local, instead), !skipped) << zone << " " << utc;
        if (skipped) {
            EXPECT_EQ(instead, utc);
        }
        const std::error_code ec = setLastWriteTime(f, local);
        EXPECT_TRUE(utc == Invalid ? ec == std::errc::invalid_argument : !ec) << zone << ec;
        EXPECT_EQ(scratch::lastWriteOf(f), utc == Invalid ? last : utc) << zone << " " << utc;
        const scratch::RawTimes after = scratch::rawTimes(f);
        EXPECT_EQ(after.write % after.unitsPerSecond, 0) << "no sub-seconds";
        EXPECT_EQ(after.access, before.access);
        if (!scratch::underWine()) { // Wine makes the creation time up from the Linux times
            EXPECT_EQ(after.creation, before.creation);
        }
    }
    scratch::pinBerlin();
    EXPECT_EQ(wordOf(f) & attr::ReadOnly, attr::ReadOnly);
    EXPECT_EQ(fs::file_size(f), 6u) << "contents kept";
}

TEST(DateText, OnlyTheDateAtLocalMidnight) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    SKIP_UNLESS_PINNED(scratch::pinGermanDates());
    EXPECT_EQ(formatLastWrite(946594800), "31.12.1999");
    EXPECT_EQ(formatLastWrite(946594801), "31.12.1999 00:00:01");
}

TEST(Folders, ListsEveryEntryWithDotsHiddenAndKinds) {
    scratch::Folder dir;
    dir.file("datei.txt");
    dir.folder("unter");
    const fs::path hidden = dir.file(OnWindows ? "versteckt.txt" : ".versteckt");
    ASSERT_FALSE(writeAttributes(hidden, attr::Hidden | attr::System));
    using enum EntryKind;
    std::map<fs::path, EntryKind> expected = {{".", Directory},
                                              {"..", Directory},
                                              {"unter", Directory},
                                              {"datei.txt", File},
                                              {hidden.filename(), File}};
    if (scratch::makeLink(dir.path() / "verweis", dir.path() / "datei.txt"))
        expected["verweis"] = EntryKind::Link;
    std::map<fs::path, EntryKind> seen;
    FolderEnumerator listing(dir.path() / "");
    for (FolderEntry e; listing.next(e);)
        seen[e.name] = e.kind;
    EXPECT_FALSE(listing.error());
    EXPECT_EQ(seen, expected);
    FolderEnumerator missing(dir.path() / "fehlt");
    FolderEntry e;
    EXPECT_TRUE(missing.error() == std::errc::no_such_file_or_directory && !missing.next(e));
}

TEST(Paths, SamePathIsExactOnLinuxAndIgnoresCaseOnWindows) {
    for (const auto& [a, b] :
         {std::pair{fs::path(u8"C:/Ordner/ÄRGER.TXT"), fs::path(u8"C:/Ordner/ärger.txt")},
          std::pair{fs::path("C:/ORDNER/A.TXT"), fs::path("c:/ordner/a.txt")},
          std::pair{fs::path(u8"C:/Daten/Straße.txt"), fs::path(u8"c:/daten/STRAßE.TXT")}}) {
        EXPECT_EQ(samePath(a.native(), b.native()), OnWindows) << a;
        EXPECT_EQ(pathHash(a.native()) == pathHash(b.native()), OnWindows) << a;
        EXPECT_TRUE(samePath(a.native(), a.native()));
        EXPECT_FALSE(samePath(a.native(), a.native() + a.native())) << "only a prefix";
    }
}

} // namespace
