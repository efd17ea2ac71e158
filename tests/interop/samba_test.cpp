// Our Linux layer and a live Samba server on 127.0.0.1 agree on the attribute word.
#include "platform/fileservices.h"

#include "interop/interop.h"
#include "platform/scratch.h"

#include <csignal>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using interop::quoted;

constexpr uid_t Nobody = 65534;

// smbclient's commands quote with double quotes.
std::string inSmbclient(const std::string& name) {
    return '"' + name + '"';
}

// A private smbd with one guest share in a temporary folder, on a free port.
class SambaServer {
public:
    explicit SambaServer(const fs::path& base) : base_(base), share_(base / "share") {
        port_ = interop::freePort();
        for (const char* sub : {"share", "lock", "state", "cache", "private", "pid", "ncalrpc"})
            fs::create_directories(base_ / sub);
        ::chmod(base_.c_str(), 0755);
        ::chmod(share_.c_str(), 0777);
        const fs::path conf = base_ / "smb.conf";
        std::ofstream(conf) << "[global]\n"
                            << "server role = standalone server\n"
                            << "interfaces = 127.0.0.1\n"
                            << "bind interfaces only = yes\n"
                            << "smb ports = " << port_ << "\n"
                            << "disable netbios = yes\n"
                            << "lock directory = " << (base_ / "lock").native() << "\n"
                            << "state directory = " << (base_ / "state").native() << "\n"
                            << "cache directory = " << (base_ / "cache").native() << "\n"
                            << "private dir = " << (base_ / "private").native() << "\n"
                            << "pid directory = " << (base_ / "pid").native() << "\n"
                            << "ncalrpc dir = " << (base_ / "ncalrpc").native() << "\n"
                            << "log file = " << (base_ / "log.smbd").native() << "\n"
                            << "map to guest = Bad User\n"
                            << "guest account = nobody\n"
                            << "load printers = no\n"
                            << "disable spoolss = yes\n"
                            << "[share]\n"
                            << "path = " << share_.native() << "\n"
                            << "read only = no\n"
                            << "guest ok = yes\n"
                            << "guest only = yes\n";
        const std::string log = (base_ / "smbd.out").native();
        pid_ = ::fork();
        if (pid_ == 0) {
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "a", stderr);
            ::execlp("smbd", "smbd", "--foreground", "--debug-stdout", "-d", "0",
                     ("--configfile=" + conf.native()).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        running_ = pid_ > 0 && interop::waitForPort(port_, 20);
    }

    // smbd leads a process group of its own, with its helpers in it: end them all, and wait
    // so that none still holds the temporary folder.
    ~SambaServer() {
        if (pid_ <= 0)
            return;
        ::kill(-pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        for (int i = 0; i < 100 && ::kill(-pid_, 0) == 0; ++i)
            ::usleep(100'000);
    }

    SambaServer(const SambaServer&) = delete;
    SambaServer& operator=(const SambaServer&) = delete;

    bool running() const { return running_; }
    const fs::path& share() const { return share_; }

    /// Runs one smbclient command on the share as guest.
    interop::Outcome client(const std::string& command) const {
        return interop::run("smbclient //127.0.0.1/share -p " + std::to_string(port_) +
                            " -N -m SMB3 -c " + quoted(command));
    }

    /// The line "attributes: HA (22)" of allinfo, as the number in brackets (-1: none).
    int attributes(const std::string& name) const {
        const std::string out = client("allinfo " + inSmbclient(name)).output;
        std::smatch m;
        if (!std::regex_search(out, m, std::regex(R"(attributes: \S* \(([0-9a-f]+)\))")))
            return -1;
        return std::stoi(m[1], nullptr, 16);
    }

    /// The create_time line of allinfo.
    std::string createTime(const std::string& name) const {
        const std::string out = client("allinfo " + inSmbclient(name)).output;
        std::smatch m;
        return std::regex_search(out, m, std::regex(R"(create_time:\s*(.*))")) ? m[1].str()
                                                                               : std::string();
    }

private:
    fs::path base_, share_;
    int port_ = -1;
    pid_t pid_ = -1;
    bool running_ = false;
};

class Samba : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interop::asRoot())
            GTEST_SKIP() << "the private smbd needs root";
        if (!interop::have("smbd") || !interop::have("smbclient"))
            GTEST_SKIP() << "smbd or smbclient missing (packages samba, smbclient)";
        server = std::make_unique<SambaServer>(dir.path());
        if (!server->running())
            GTEST_FAIL() << "smbd did not start; see " << dir.path() / "smbd.out";
    }

    // A file made on the Linux side, owned by the guest account as if a user had put it there.
    fs::path localFile(const std::string& name) {
        const fs::path f = server->share() / name;
        std::ofstream(f) << "lokal";
        EXPECT_EQ(::chown(f.c_str(), Nobody, Nobody), 0);
        ::chmod(f.c_str(), 0644);
        return f;
    }

    std::uint32_t ourWord(const fs::path& p) {
        std::uint32_t word = 0;
        EXPECT_FALSE(readAttributes(p, word));
        return word;
    }

    scratch::Folder dir;
    std::unique_ptr<SambaServer> server;
};

TEST_F(Samba, WhatWeWriteSmbclientReports) {
    const fs::path f = localFile("ours.txt");
    ASSERT_FALSE(writeAttributes(f, attr::Hidden | attr::System | attr::Archive));
    EXPECT_EQ(server->attributes("ours.txt"), 0x26);
    ASSERT_FALSE(writeAttributes(f, attr::ReadOnly | attr::Archive));
    EXPECT_EQ(server->attributes("ours.txt"), 0x21);
    ASSERT_FALSE(writeAttributes(f, 0));
    EXPECT_EQ(server->attributes("ours.txt") & 0x27, 0) << "nothing of R, H, S, A left";

    const fs::path sub = server->share() / "ordner";
    fs::create_directory(sub);
    ASSERT_FALSE(writeAttributes(sub, attr::Hidden));
    EXPECT_EQ(server->attributes("ordner"), 0x12) << "a folder stays a folder";
}

TEST_F(Samba, WhatSetmodeSetsWeRead) {
    const fs::path local = dir.file("quelle.txt", "über SMB");
    const auto put = server->client("put " + inSmbclient(local.native()) + " smb.txt");
    ASSERT_EQ(put.exitCode, 0) << put.output;
    const fs::path f = server->share() / "smb.txt";
    ASSERT_EQ(server->client("setmode smb.txt +hs").exitCode, 0);
    EXPECT_EQ(ourWord(f) & (attr::Hidden | attr::System), attr::Hidden | attr::System);
    ASSERT_EQ(server->client("setmode smb.txt -h+r").exitCode, 0);
    EXPECT_EQ(ourWord(f) & (attr::ReadOnly | attr::Hidden | attr::System),
              attr::ReadOnly | attr::System);
}

TEST_F(Samba, ItsCreateTimeSurvivesOurWrites) {
    const fs::path local = dir.file("quelle.txt");
    ASSERT_EQ(server->client("put " + inSmbclient(local.native()) + " alt.txt").exitCode, 0);
    const fs::path viaSmb = server->share() / "alt.txt";
    const fs::path viaLinux = localFile("neu.txt");
    // Apart in time from the stamps our writes give, so that a changed one shows.
    ::sleep(1);
    for (const fs::path& f : {viaSmb, viaLinux}) {
        const std::string name = f.filename();
        const std::string before = server->createTime(name);
        ASSERT_FALSE(before.empty()) << name;
        ASSERT_FALSE(writeAttributes(f, attr::Hidden | attr::Archive));
        ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
        ASSERT_FALSE(writeAttributes(f, attr::Hidden));
        EXPECT_EQ(server->createTime(name), before) << name;
        EXPECT_EQ(server->attributes(name), 0x02) << name;
    }
}

} // namespace
