// Our Linux layer and a live Samba server on 127.0.0.1 agree on the attribute word.
#include "platform/fileservices.h"

#include "apply/attributeword.h"
#include "interop/interop.h"

#include <fcntl.h>
#include <optional>
#include <regex>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using scratch::wordOf;

// A port that nobody listens on right now.
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

// A private smbd for each case, with folders of its own and one guest share, on a free port.
class Samba : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the private smbd needs root";
        if (!interop::have("smbd") || !interop::have("smbclient"))
            GTEST_SKIP() << "smbd or smbclient missing (packages samba, smbclient)";
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(share.c_str(), 0777);
        smbd.emplace(dir,
                     "smb ports = " + std::to_string(port) +
                         "\nmap to guest = Bad User\nguest account = nobody\n[share]\npath = " +
                         share.native() + "\nread only = no\nguest ok = yes\nguest only = yes\n");
        smbd->start();
        for (int i = 0; i < 100 && client("ls").exitCode != 0; ++i)
            ::usleep(200'000);
        ASSERT_EQ(client("ls").exitCode, 0) << "smbd did not start";
    }

    interop::Outcome client(const std::string& command) const {
        return interop::run("smbclient //127.0.0.1/share -p " + std::to_string(port) +
                            " -N -m SMB3 -c " + interop::quoted(command));
    }
    // What allinfo's line \p field says of \p name: "attributes: HA (22)", "create_time: …".
    std::string allinfo(const std::string& name, const std::string& field) const {
        const std::string out = client("allinfo \"" + name + "\"").output;
        std::smatch m;
        return std::regex_search(out, m, std::regex(field + R"(:\s*(.*))")) ? m[1].str() : "";
    }
    int attributes(const std::string& name) const {
        return interop::allinfoWord(allinfo(name, "attributes"));
    }
    // A file made on the Linux side, owned by the guest account as if a user had put it there.
    fs::path localFile(const std::string& name) {
        const fs::path f = dir.file("share/" + name, "lokal");
        EXPECT_EQ(::chown(f.c_str(), 65534, 65534), 0);
        ::chmod(f.c_str(), 0644);
        return f;
    }
    // A file put on the share through SMB.
    fs::path putFile(const std::string& name) {
        const auto put = client("put \"" + dir.file("quelle.txt").native() + "\" " + name);
        EXPECT_EQ(put.exitCode, 0) << put.output;
        return share / name;
    }

    scratch::Folder dir;
    const fs::path share = dir.folder("share");
    const int port = freePort();
    std::optional<interop::Smbd> smbd;
};

TEST_F(Samba, WhatWeWriteSmbclientReportsWhatSetmodeSetsWeRead) {
    const fs::path f = localFile("ours.txt"), sub = dir.folder("share/ordner");
    const std::pair<std::uint32_t, int> cases[] = {
        {attr::Hidden | attr::System | attr::Archive, 0x26},
        {attr::ReadOnly | attr::Archive, 0x21},
        {0, 0}};
    for (const auto& [word, seen] : cases) {
        ASSERT_FALSE(writeAttributes(f, word));
        EXPECT_EQ(attributes("ours.txt") & 0x37, seen) << word; // R, H, S, D, A
    }
    ASSERT_FALSE(writeAttributes(sub, attr::Hidden));
    EXPECT_EQ(attributes("ordner"), 0x12) << "a folder stays a folder";

    const fs::path viaSmb = putFile("smb.txt");
    constexpr std::uint32_t Rhs = attr::ReadOnly | attr::Hidden | attr::System;
    ASSERT_EQ(client("setmode smb.txt +hs").exitCode, 0);
    EXPECT_EQ(wordOf(viaSmb) & Rhs, attr::Hidden | attr::System);
    ASSERT_EQ(client("setmode smb.txt -h+r").exitCode, 0);
    EXPECT_EQ(wordOf(viaSmb) & Rhs, attr::ReadOnly | attr::System);
}

// A touched row as the apply run writes it: the time, then the word. The local file has no
// stored value, so Samba shows the earliest of its times, and the touch moves that time before
// all others: the creation time stored by the word must be the one shown before the touch.
TEST_F(Samba, ItsCreateTimeSurvivesATouchedRow) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    const fs::path viaSmb = putFile("alt.txt"), viaLinux = localFile("neu.txt");
    const struct timespec years2010[2] = {{1262347200, 0}, {1262347200, 0}};
    ::utimensat(AT_FDCWD, viaLinux.c_str(), years2010, 0);
    const platform::LocalTime moment{12, 0, 0, 15, 1, 2001};
    for (const fs::path& f : {viaSmb, viaLinux}) {
        const std::string name = f.filename(), before = allinfo(name, "create_time");
        ASSERT_FALSE(before.empty()) << name;
        apply::RowFailure failure;
        using apply::Tri::Checked, apply::Tri::Unchecked;
        ASSERT_TRUE(apply::ApplyRow(
            f, {Unchecked, Unchecked, Unchecked, Checked}, &moment, [] {}, failure))
            << apply::ReasonLine(failure);
        EXPECT_EQ(allinfo(name, "create_time"), before) << name;
        EXPECT_EQ(attributes(name), 0x02) << name;
    }
}

} // namespace
