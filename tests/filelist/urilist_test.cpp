#include "filelist/urilist.h"

#include "platform/scratch.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using filelist::parseUriList;
using filelist::PathString;

#ifndef _WIN32
// File URIs become their bytes, escapes decoded; only an absolute path of this machine is taken,
// nothing the system calls would see otherwise than the row (a NUL, a relative path).
TEST(UriList, FileUrisOfThisMachineBecomeTheirBytes) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::pair<std::string, std::vector<PathString>> cases[] = {
        {"http://example.org/a\nfile://server/share/x\nHallo Welt\n", {}},
        {"file:///tmp/a%00b\nfile:relativ\nfile://localhostx/tmp\n", {}},
        {"# Kommentar\r\nfile:///tmp/a%20b.txt\r\nfile://localhost/tmp/%C3%A4\r\nfile:/tmp/x\r\n",
         {"/tmp/a b.txt", "/tmp/\xC3\xA4", "/tmp/x"}},
        {"file:///tmp/caf%E9%FF%3F\n", {"/tmp/caf\xE9\xFF?"}},
        {"FILE:///tmp/\n", {"/tmp"}},
        {"file://" + std::string(host) + "/tmp/x/\n", {"/tmp/x"}},
        {"file:///tmp/100%\nfile:///tmp/%zz\n", {"/tmp/100%", "/tmp/%zz"}},
        // A share, as pcmanfm and as GNOME Files (through GVFS) hand it over: the same row.
        {"smb://nas/daten/a%20b.txt\nsmb://nas/\n", {"smb://nas/daten/a b.txt"}},
        {"file:///run/user/1000/gvfs/smb-share:server=nas,share=daten/a%20b.txt\n",
         {"smb://nas/daten/a b.txt"}},
    };
    for (const auto& [list, paths] : cases)
        EXPECT_EQ(parseUriList(list), paths) << list;
}

// A name that means a share but names no file there is reported, not dropped unseen; other
// names are left out as before.
TEST(UriList, AddressesOfSharesThatNameNoFileAreReported) {
    const std::vector<std::string> refused = {
        "smb://nas/",
        "smb://nas",
        "smb://srv/sh%2Fare/x",
        "file:///run/user/0/gvfs/smb-share:/a",
        "file:///run/user/0/gvfs/smb-share:server=x,share=y%25zz/f",
        "file:///run/user/0/gvfs/smb-share:server=x,port=0,share=y/f",
    };
    std::string list = "http://x/a\nsmb://nas/d/a\n"
                       "file:///run/user/0/../../../tmp/gvfs/smb-share:server=x,share=y/f\n";
    for (const auto& line : refused)
        list += line + "\r\n";
    std::vector<std::string> reported;
    EXPECT_EQ(parseUriList(list, &reported),
              (std::vector<PathString>{"smb://nas/d/a", "/tmp/gvfs/smb-share:server=x,share=y/f"}));
    EXPECT_EQ(reported, refused);
}

TEST(UriList, DroppedPathsAreCanonical) {
    scratch::Folder dir;
    dir.folder("echt");
    dir.file("echt/f");
    ASSERT_TRUE(scratch::makeLink(dir.path() / "verweis", dir.path() / "echt"));
    const auto paths = parseUriList("file://" + (dir.path() / "verweis/./f").native() + "\n");
    EXPECT_EQ(paths, std::vector<PathString>{(dir.path() / "echt/f").native()});
}
#else
TEST(UriList, DriveAndShareUrisBecomeWindowsPaths) {
    using Paths = std::vector<PathString>;
    EXPECT_EQ(parseUriList(
                  "file:///C:/Daten/a%20b.txt\r\nfile://server/share/x\r\nfile:///D:/%C3%A4\r\n"),
              (Paths{L"C:\\Daten\\a b.txt", L"\\\\server\\share\\x", L"D:\\\u00e4"}));
    // The system reaches a share itself, by its UNC path.
    EXPECT_EQ(parseUriList("smb://nas/daten/a%20b.txt\r\n"), Paths{L"\\\\nas\\daten\\a b.txt"});
    // Only the host "localhost" itself is this machine; a path without a drive is none.
    EXPECT_EQ(parseUriList("file://localhostx/s/x\nfile:///ohne\nfile:///C:/a%00b\n"),
              Paths{L"\\\\localhostx\\s\\x"});
    // An IPv6 literal in the form Windows takes; addresses that name no file are reported.
    std::vector<std::string> refused;
    EXPECT_EQ(parseUriList("smb://[fe80::1%25eth0]/d/a\nsmb://nas/\nsmb://s/d/x%5C..\n", &refused),
              Paths{L"\\\\fe80--1seth0.ipv6-literal.net\\d\\a"});
    EXPECT_EQ(refused, (std::vector<std::string>{"smb://nas/", "smb://s/d/x%5C.."}));
    // Hosts "." and "?" would name the device namespace, not a share.
    EXPECT_TRUE(parseUriList("file://./PhysicalDrive0\nfile://?/GLOBALROOT/Device/x\n").empty());
}
#endif
