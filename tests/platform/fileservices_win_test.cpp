// Windows only: long paths, names beyond the code page, the case-insensitive hash, and what
// Wine makes of a file marked by the Linux build.
#include "platform/fileservices.h"

#include "platform/scratch.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(WindowsPaths, LongPathsAndNamesOutsideTheCodePageWork) {
    scratch::BerlinTime berlin;
    SKIP_UNLESS_PINNED(berlin);
    scratch::Folder dir;
    // Deeper than MAX_PATH, and a name with a character outside the BMP and one outside
    // every 8-bit code page.
    fs::path deep = dir.path();
    for (int i = 0; deep.native().size() < 300; ++i)
        deep /= L"Verzeichnis-mit-langem-Namen-" + std::to_wstring(i);
    const std::wstring longForm = LR"(\\?\)" + deep.native();
    ASSERT_TRUE(CreateDirectoryW(longForm.c_str(), nullptr) ||
                fs::create_directories(fs::path(longForm)));
    const fs::path f = deep / L"\u0416\u2603-\U0001F600.txt";
    HANDLE h = CreateFileW((LR"(\\?\)" + f.native()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    ASSERT_FALSE(writeAttributes(f, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    std::uint32_t word = 0;
    ASSERT_FALSE(readAttributes(f, word));
    EXPECT_EQ(word & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    EntryState state;
    ASSERT_FALSE(queryEntry(f, state));
    EXPECT_EQ(state.lastWrite, 1610708400);

    bool listed = false;
    FolderEnumerator listing(deep);
    ASSERT_FALSE(listing.error());
    for (FolderEntry e; listing.next(e);)
        listed = listed || e.name == f.filename().native();
    EXPECT_TRUE(listed);
    EXPECT_EQ(displayText(f.filename()), "\xd0\x96\xe2\x98\x83-\xf0\x9f\x98\x80.txt");
    ASSERT_FALSE(writeAttributes(f, 0));
}

TEST(WindowsPaths, TheHashFoldsCaseAsCompareStringOrdinalDoes) {
    // Every UTF-16 unit hashes with its uppercase, and its lowercase with it, exactly where the
    // comparison calls them equal: so equal paths never land in different buckets.
    int mismatches = 0;
    for (unsigned c = 1; c < 0x10000; ++c) {
        const std::wstring one(1, static_cast<wchar_t>(c));
        std::wstring lower = one, upper = one;
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, one.data(), 1, lower.data(), 1,
                      nullptr, nullptr, 0);
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, one.data(), 1, upper.data(), 1,
                      nullptr, nullptr, 0);
        for (const std::wstring& other : {lower, upper}) {
            if (samePath(one, other) != (pathHash(one) == pathHash(other)))
                ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(samePath(LR"(C:\Daten\Straße.txt)", LR"(c:\daten\STRAßE.TXT)"));
    EXPECT_EQ(pathHash(LR"(C:\Daten\Straße.txt)"), pathHash(LR"(c:\daten\STRAßE.TXT)"));
}

// The Linux half of this case (tests/interop) marks a file H+S through the Linux build and
// runs this test under Wine with the file's Z: path; run on its own, it skips.
TEST(WineView, AFileMarkedOnLinuxIsHiddenAndSystemForWindows) {
    const char* path = std::getenv("DATEIMARK_WINE_VIEW_FILE");
    if (!path || !*path)
        GTEST_SKIP() << "DATEIMARK_WINE_VIEW_FILE not set: run by the interop test";
    const fs::path f = fs::path(std::string(path)).make_preferred();
    const DWORD a = GetFileAttributesW(f.c_str());
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    EXPECT_EQ(a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(a & FILE_ATTRIBUTE_READONLY);
}

} // namespace
