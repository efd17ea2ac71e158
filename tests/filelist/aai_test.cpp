#include "filelist/aai.h"

#include "platform/fileservices.h"
#include "platform/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using AAI::PathString;

namespace {

// The folder's own listing order, which the expansion must follow.
std::vector<PathString> listingOrder(const fs::path& folder) {
    std::vector<PathString> names;
    platform::FolderEnumerator listing(folder);
    platform::FolderEntry entry;
    while (listing.next(entry))
        if (entry.name.front() != PathString::value_type('.'))
            names.push_back(entry.name);
    return names;
}

PathString join(const fs::path& folder, const PathString& name) {
    return AAI::WithSeparator(folder.native()) + name;
}

} // namespace

TEST(CollectFolder, WholeFolderFirstThenSubfoldersLastFoundFirst) {
    scratch::Folder tmp;
    const fs::path x = tmp.folder("X");
    tmp.file("X/a");
    tmp.folder("X/P");
    tmp.file("X/P/p1");
    tmp.file("X/b");
    tmp.folder("X/Q");
    tmp.file("X/Q/q1");

    // Expected from the listing order the system gives: files and folders of X in that order,
    // then the subfolders' contents, the last-found subfolder first.
    std::vector<PathString> files, folders, subfolders;
    for (const PathString& name : listingOrder(x)) {
        if (fs::is_directory(x / name)) {
            folders.push_back(join(x, name));
            subfolders.push_back(join(x, name));
        } else {
            files.push_back(join(x, name));
        }
    }
    std::reverse(subfolders.begin(), subfolders.end());
    for (const PathString& sub : subfolders)
        for (const PathString& name : listingOrder(sub))
            files.push_back(join(sub, name));

    int yields = 0;
    AAI::CollectHooks hooks;
    hooks.yield = [&] { ++yields; };
    AAI::CollectFolder(x.native(), true, hooks);
    ASSERT_EQ(AAI::FoundFiles.size(), 5u);
    EXPECT_TRUE(AAI::FoundFiles[0].empty());
    EXPECT_EQ(std::vector<PathString>(AAI::FoundFiles.begin() + 1, AAI::FoundFiles.end()), files);
    EXPECT_EQ(std::vector<PathString>(AAI::FoundFolders.begin() + 1, AAI::FoundFolders.end()),
              folders);
    EXPECT_EQ(yields, 3); // X, P and Q, one yield each
}

TEST(CollectFolder, ResetStartsAfreshAndTrailingSeparatorIsKept) {
    scratch::Folder tmp;
    tmp.folder("A");
    tmp.folder("B");
    tmp.file("A/one");
    tmp.file("B/two");
    AAI::CollectFolder((tmp.path() / "A").native(), true);
    AAI::CollectFolder(AAI::WithSeparator((tmp.path() / "B").native()), false);
    ASSERT_EQ(AAI::FoundFiles.size(), 3u);
    EXPECT_EQ(AAI::FoundFiles[2], join(tmp.path() / "B", fs::path("two").native()));
    AAI::CollectFolder((tmp.path() / "B").native(), true);
    EXPECT_EQ(AAI::FoundFiles.size(), 2u);
    EXPECT_EQ(AAI::FoundFolders.size(), 1u);
}

TEST(CollectFolder, DotNamesInsideAreLeftOutHiddenFilesAreNot) {
    scratch::Folder tmp;
    tmp.folder("X/.git");
    tmp.file("X/.profile");
    tmp.file("X/.git/config");
    const fs::path hidden = tmp.file("X/versteckt");
    ASSERT_FALSE(
        platform::writeAttributes(hidden, platform::attr::Hidden | platform::attr::System));
    AAI::CollectFolder((tmp.path() / "X").native(), true);
    ASSERT_EQ(AAI::FoundFiles.size(), 2u);
    EXPECT_EQ(AAI::FoundFiles[1], hidden.native());
    EXPECT_EQ(AAI::FoundFolders.size(), 1u);
}

TEST(CollectFolder, UnlistableFolderIsReportedAndSkipped) {
    scratch::Folder tmp;
    std::vector<PathString> skipped;
    AAI::CollectHooks hooks;
    hooks.skipped = [&](const PathString& path, std::error_code ec) {
        skipped.push_back(path);
        EXPECT_TRUE(ec);
    };
    const PathString gone = (tmp.path() / "gibt-es-nicht").native();
    AAI::CollectFolder(gone, true, hooks);
    EXPECT_EQ(skipped, std::vector<PathString>{gone});
    EXPECT_EQ(AAI::FoundFiles.size(), 1u);
}

#ifndef _WIN32
TEST(CollectFolder, LinksAreNeitherEnteredNorListed) {
    scratch::Folder tmp;
    tmp.folder("X");
    tmp.file("X/real");
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/loop", tmp.path() / "X"));
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/out", "/"));
    ASSERT_TRUE(scratch::makeLink(tmp.path() / "X/filelink", tmp.path() / "X/real"));
    AAI::CollectFolder((tmp.path() / "X").native(), true);
    EXPECT_EQ(AAI::FoundFiles.size(), 2u);
    EXPECT_EQ(AAI::FoundFolders.size(), 1u);
}
#endif

TEST(CollectFolder, DeepTreesDoNotExhaustTheStack) {
    scratch::Folder tmp;
    fs::path deep = tmp.path();
    // Deep enough to matter, short enough for Windows' path limits without the long prefix.
    for (int i = 0; i < 60; ++i)
        deep /= "d";
    fs::create_directories(deep);
    AAI::CollectFolder(tmp.path().native(), true);
    EXPECT_EQ(AAI::FoundFolders.size(), 61u);
}

TEST(CollectFolder, WhichDroppedFoldersGetARowOfTheirOwn) {
#ifdef _WIN32
    EXPECT_FALSE(AAI::DroppedFolderGetsOwnRow(L"C:\\Data"));
    EXPECT_FALSE(AAI::DroppedFolderGetsOwnRow(L"D:\\"));
    EXPECT_TRUE(AAI::DroppedFolderGetsOwnRow(L"\\\\server\\share\\Data"));
#else
    EXPECT_FALSE(AAI::DroppedFolderGetsOwnRow("/"));
    EXPECT_FALSE(AAI::DroppedFolderGetsOwnRow("//"));
    EXPECT_TRUE(AAI::DroppedFolderGetsOwnRow("/home/anna/Daten"));
    EXPECT_TRUE(AAI::DroppedFolderGetsOwnRow("/mnt/c/"));
#endif
}
