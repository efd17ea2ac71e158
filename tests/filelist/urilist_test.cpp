#include "filelist/urilist.h"

#include <gtest/gtest.h>

using filelist::parseUriList;
using filelist::PathString;

namespace {
PathString P(const char* text) {
    return std::filesystem::path(text).native();
}
} // namespace

#ifndef _WIN32
TEST(UriList, FileUrisBecomeTheirBytes) {
    const auto paths = parseUriList("# a comment\r\nfile:///tmp/a%20b.txt\r\n"
                                    "file://localhost/tmp/%C3%A4\r\nfile:/tmp/x\r\n");
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/tmp/a b.txt");
    EXPECT_EQ(paths[1], "/tmp/\xC3\xA4");
    EXPECT_EQ(paths[2], "/tmp/x");
}

TEST(UriList, NamesThatAreNotUtf8ArriveUnchanged) {
    const auto paths = parseUriList("file:///tmp/caf%E9%FF%3F\n");
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], "/tmp/caf\xE9\xFF?");
}

TEST(UriList, OtherHostsAndSchemesAreNoFileNames) {
    EXPECT_TRUE(parseUriList("http://example.org/a\nfile://server/share/x\n").empty());
    EXPECT_TRUE(parseUriList("").empty());
    EXPECT_TRUE(parseUriList("Hallo Welt").empty());
    EXPECT_EQ(parseUriList("FILE:///a\n").size(), 1u);
}

TEST(UriList, BrokenEscapesStayAsTheyAre) {
    const auto paths = parseUriList("file:///tmp/100%\nfile:///tmp/%zz\n");
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], "/tmp/100%");
    EXPECT_EQ(paths[1], "/tmp/%zz");
}
#else
TEST(UriList, DriveAndShareUrisBecomeWindowsPaths) {
    const auto paths = parseUriList(
        "file:///C:/Daten/a%20b.txt\r\nfile://server/share/x\r\nfile:///D:/%C3%A4\r\n");
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], P("C:\\Daten\\a b.txt"));
    EXPECT_EQ(paths[1], P("\\\\server\\share\\x"));
    EXPECT_EQ(paths[2], std::wstring(L"D:\\\u00e4"));
}
#endif
