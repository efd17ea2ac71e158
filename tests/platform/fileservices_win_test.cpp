// Windows only: long and odd names, device paths, the hash, the ways rows are read, and a file
// marked on Linux.
#include "platform/fileservices.h"
#include "platform/folderreads_win.h"

#include "platform/scratch.h"

#include <cstdlib>

#include <windows.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(WindowsPaths, LongPathsAndNamesOutsideTheCodePageWork) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    scratch::Folder dir;
    // Deeper than MAX_PATH; a character outside the BMP and one outside every 8-bit code page.
    fs::path deep = dir.path();
    while (deep.native().size() < 300)
        deep /= L"Verzeichnis-mit-langem-Namen";
    const fs::path f = deep / L"\u0416\u2603-\U0001F600.txt";
    fs::create_directories(LR"(\\?\)" + deep.native());
    CloseHandle(CreateFileW((LR"(\\?\)" + f.native()).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, 0, nullptr));

    ASSERT_FALSE(writeAttributes(f, attr::Hidden | attr::ReadOnly));
    EXPECT_EQ(scratch::wordOf(f) & (attr::Hidden | attr::ReadOnly), attr::Hidden | attr::ReadOnly);
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    EXPECT_EQ(scratch::lastWriteOf(f), 1610708400);
    FolderEnumerator listing(deep);
    FolderEntry e;
    while (listing.next(e) && e.name != f.filename().native()) {
    }
    EXPECT_EQ(e.name, f.filename().native()) << "listed";
    EXPECT_EQ(displayText(f.filename()), "\xd0\x96\xe2\x98\x83-\xf0\x9f\x98\x80.txt");
    ASSERT_FALSE(writeAttributes(f, 0));
}

// Names Windows would trim or take for devices are reached as they are; bits other than R, H,
// S and A (a cloud file's "always keep on this device") survive a write.
TEST(WindowsPaths, OddNamesAreReachedAndForeignBitsKept) {
    scratch::Folder dir;
    for (const wchar_t* name : {L"punkt.", L"blank ", L"NUL"}) {
        const fs::path f = dir.path() / name;
        CloseHandle(CreateFileW((LR"(\\?\)" + f.native()).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, 0, nullptr));
        const std::error_code ec = writeAttributes(f, attr::Hidden);
        ASSERT_FALSE(ec) << f << " " << ec.message();
        EXPECT_EQ(scratch::wordOf(f) & attr::Hidden, attr::Hidden) << f;
        ASSERT_FALSE(writeAttributes(f, 0));
        DeleteFileW((LR"(\\?\)" + f.native()).c_str()); // the folder's clean-up would not reach it
    }
    const fs::path f = dir.file("wolke.txt");
    constexpr DWORD Pinned = 0x80000;
    SetFileAttributesW(f.c_str(), Pinned);
    if (!(GetFileAttributesW(f.c_str()) & Pinned))
        GTEST_SKIP() << "this file system keeps no PINNED bit";
    ASSERT_FALSE(writeAttributes(f, attr::Hidden));
    EXPECT_EQ(GetFileAttributesW(f.c_str()) & (Pinned | attr::Hidden), Pinned | attr::Hidden);
}

TEST(WindowsPaths, DeviceNamesAreNoFilesOrFolders) {
    EntryState state;
    for (const wchar_t* device : {L"\\\\.\\C:", L"\\\\.\\PhysicalDrive0", L"//./NUL",
                                  L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\x"}) {
        EXPECT_EQ(queryEntry(device, state), make_error_code(Refusal::DevicePath));
        EXPECT_EQ(writeAttributes(device, 0), make_error_code(Refusal::DevicePath));
    }
}

TEST(WindowsPaths, TheHashFoldsCaseAsCompareStringOrdinalDoes) {
    // Every UTF-16 unit hashes with its upper and lower case exactly where the comparison calls
    // them equal: so equal paths never land in different buckets.
    int mismatches = 0;
    for (wchar_t c = 1; c != 0; ++c) {
        std::wstring lower(1, c), upper(1, c);
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &c, 1, lower.data(), 1, nullptr,
                      nullptr, 0);
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, upper.data(), 1, nullptr,
                      nullptr, 0);
        for (const std::wstring& other : {lower, upper})
            mismatches += samePath({c}, other) != (pathHash({c}) == pathHash(other));
    }
    EXPECT_EQ(mismatches, 0);
}

// Every way of reading a folder's rows gives what reading each alone gives: read-only, hidden and
// system files, a folder, a name in other case, a file gone, a folder that never was.
TEST(WindowsReads, PooledAndListedRowsReadAsEachAlone) {
    scratch::Folder dir;
    std::vector<fs::path> rows{dir.file("weg.txt"), dir.path() / "nie" / "datei.txt"};
    fs::remove(rows.front());
    for (const DWORD word :
         {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
          FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY,
          FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_ARCHIVE}) {
        rows.push_back(dir.file("datei" + std::to_string(word) + ".txt"));
        SetFileAttributesW(rows.back().c_str(), word);
    }
    rows.push_back(dir.folder("ordner"));
    rows.push_back(dir.path() / "DATEI1.TXT");
    const auto read = [&](FolderRead how) {
        std::vector<std::pair<std::error_code, EntryState>> got(rows.size());
        std::vector<std::size_t> order;
        queryEntriesAs(
            how, rows.size(), [&](std::size_t i) { return rows[i]; },
            [&](std::size_t i, std::error_code ec, const EntryState& state) {
                got[i] = {ec, state};
                order.push_back(i);
            });
        return std::pair{got, order};
    };
    const auto alone = read(FolderRead::Alone).first;
    EXPECT_EQ(alone[5].second.attributes & attr::Classic & ~attr::Archive,
              attr::Hidden | attr::System | attr::ReadOnly);
    EXPECT_EQ(alone[0].first, std::errc::no_such_file_or_directory);
    for (const FolderRead how : {FolderRead::Pooled, FolderRead::Listed}) {
        const auto [got, order] = read(how);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(got[i].first, alone[i].first) << rows[i];
            EXPECT_EQ(got[i].second.attributes, alone[i].second.attributes) << rows[i];
            EXPECT_EQ(got[i].second.lastWrite, alone[i].second.lastWrite) << rows[i];
        }
        if (how == FolderRead::Listed) { // the listing answered the rows it holds, before the rest
            EXPECT_EQ(order.front(), 2u);
        }
    }
}

TEST(WindowsReads, SharesAreRemoteLocalDrivesNot) {
    scratch::Folder dir;
    EXPECT_TRUE(PinnedEntry(L"\\\\server\\share\\datei.txt").remote());
    EXPECT_FALSE(PinnedEntry(dir.file("datei.txt")).remote());
}

// tests/interop marks a file H+S through the Linux build and runs this case under Wine with the
// file's Z: path; run on its own, it skips.
TEST(WineView, AFileMarkedOnLinuxIsHiddenAndSystemForWindows) {
    const char* path = std::getenv("DATEIMARK_WINE_VIEW_FILE");
    if (!path || !*path)
        GTEST_SKIP() << "DATEIMARK_WINE_VIEW_FILE not set: run by the interop test";
    const DWORD a = GetFileAttributesW(fs::path(std::string(path)).c_str());
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    EXPECT_EQ(a & (attr::Hidden | attr::System | attr::ReadOnly), attr::Hidden | attr::System);
}

} // namespace
