// Signing in with a Kerberos ticket: a Samba AD DC provisioned into a temporary folder, in a
// network and mount namespace of the case's own (its own loopback, its own /etc/hosts), a ticket
// from kinit, and a row written on one of its shares without a password asked for.
#include "platform/fileservices.h"

#include "interop/interop.h"
#include "platform/dosattrib.h"
#include "share/client.h"
#include "share/signin.h"

#include <fstream>

#include <fcntl.h>

#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;

TEST(Kerberos, ATicketSignsInWithoutAPassword) {
    if (::geteuid() != 0 || !std::getenv("DATEIMARK_OWN_NETWORK"))
        GTEST_SKIP() << "needs root and a network namespace of its own (unshare)";
    for (const char* tool : {"samba", "samba-tool", "kinit", "ip"})
        if (!interop::have(tool))
            GTEST_SKIP() << tool << " missing (packages samba-ad-dc, krb5-user, iproute2)";
    scratch::Folder dir;
    ASSERT_EQ(interop::run("ip link set lo up").exitCode, 0);
    const fs::path hosts =
        dir.file("hosts", "127.0.0.1 localhost\n127.0.0.1 dc.dateimark.test dc\n");
    ASSERT_EQ(interop::run("mount --bind " + hosts.native() + " /etc/hosts").exitCode, 0);
    // Samba's own folders of this machine, empty and the case's own in its mount namespace.
    for (const char* own : {"/run/samba", "/var/lib/samba", "/var/cache/samba", "/var/log/samba"})
        ASSERT_EQ(
            interop::run(std::string("mkdir -p ") + own + " && mount -t tmpfs dm " + own).exitCode,
            0)
            << own;
    const fs::path dc = dir.folder("dc"), data = dir.folder("daten");
    const auto provision =
        interop::run("samba-tool domain provision --realm=DATEIMARK.TEST --domain=DATEIMARK "
                     "--server-role=dc --dns-backend=NONE --adminpass='Kennw0rt!Dm' --host-name=dc "
                     "--option='interfaces=lo' --option='bind interfaces only=yes' --targetdir=" +
                     dc.native());
    ASSERT_EQ(provision.exitCode, 0) << provision.output;
    std::ofstream(dc / "etc/smb.conf", std::ios::app)
        << "[daten]\npath = " << data.native() << "\nread only = no\n";
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(data.c_str(), 0777);
    const fs::path file = dir.file("daten/a.txt", "a");
    ::chmod(file.c_str(), 0666);

    const fs::path log = dir.path() / "samba.log";
    const pid_t samba = ::fork();
    if (samba == 0) {
        ::setpgid(0, 0);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        const std::string conf = (dc / "etc/smb.conf").native();
        ::execlp("samba", "samba", "--foreground", "--debug-stdout", "-s", conf.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::shared_ptr<void> stop(nullptr, [&](void*) {
        ::kill(-samba, SIGTERM);
        ::waitpid(samba, nullptr, 0);
    });
    for (int i = 0; i < 300 && !(interop::listening(88) && interop::listening(445)); ++i)
        ::usleep(100'000);
    ASSERT_TRUE(interop::listening(88) && interop::listening(445))
        << "the DC did not start:\n"
        << interop::run("tail -30 " + log.native()).output;

    const fs::path krb5 =
        dir.file("krb5.conf", "[libdefaults]\n default_realm = DATEIMARK.TEST\n"
                              " dns_lookup_kdc = false\n dns_lookup_realm = false\n"
                              " dns_canonicalize_hostname = false\n rdns = false\n"
                              "[realms]\n DATEIMARK.TEST = {\n  kdc = 127.0.0.1\n }\n"
                              "[domain_realm]\n .dateimark.test = DATEIMARK.TEST\n");
    ::setenv("KRB5_CONFIG", krb5.c_str(), 1);
    ::setenv("KRB5CCNAME", ("FILE:" + (dir.path() / "ccache").native()).c_str(), 1);
    const auto kinit = interop::run("echo 'Kennw0rt!Dm' | kinit administrator@DATEIMARK.TEST");
    ASSERT_EQ(kinit.exitCode, 0) << kinit.output;

    share::signin::setAsker([](const share::signin::Question&) {
        ADD_FAILURE() << "asked for a password although a ticket is there";
        return std::optional<share::signin::Answer>();
    });
    const std::string row = "smb://dc.dateimark.test/daten/a.txt";
    const auto ec =
        platform::writeAttributes(row, platform::attr::Hidden | platform::attr::Archive);
    EXPECT_FALSE(ec) << ec.message() << "\n" << interop::run("tail -40 " + log.native()).output;
    std::string value(256, '\0');
    const ssize_t n = ::getxattr(file.c_str(), "user.DOSATTRIB", value.data(), value.size());
    const auto stored = platform::dosattrib::decode(value.data(), n < 0 ? 0 : std::size_t(n));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->attributes & 0x22, 0x22u);
    share::reset();
}

} // namespace
