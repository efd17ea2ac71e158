// Our Linux layer and a live Samba server on 127.0.0.1 agree on the attribute word.
#include "platform/fileservices.h"

#include "apply/attributeword.h"
#include "apply/rowbatch.h"
#include "filelist/folderexpansion.h"
#include "filelist/urilist.h"
#include "interop/interop.h"
#include "interop/proxy.h"
#include "platform/dosattrib.h"
#include "share/client.h"
#include "share/signin.h"

#include <fcntl.h>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/xattr.h>

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
        share::reset(); // no connection or sign-in of an earlier case's server
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(share.c_str(), 0777);
        ::chmod(secret.c_str(), 0777);
        smbd.emplace(dir,
                     globals() + "smb ports = " + std::to_string(port) +
                         "\nmap to guest = Bad User\nguest account = nobody\n[share]\npath = " +
                         share.native() + "\nread only = no\nguest ok = yes\nguest only = yes\n" +
                         "[geheim]\npath = " + secret.native() +
                         "\nread only = no\nvalid users = root\n" + secretOptions() +
                         "[dfs]\npath = " + dfs.native() +
                         "\nmsdfs root = yes\nguest ok = yes\nguest only = yes\n");
        // The password share's one account, in this server's own passdb.
        const auto account = interop::run(
            "printf 'pw\\npw\\n' | PATH=$PATH:/usr/sbin pdbedit -t -a -u root --configfile=" +
            smbd->conf.native());
        ASSERT_EQ(account.exitCode, 0) << account.output;
        smbd->start();
        for (int i = 0; i < 100 && !interop::listening(port); ++i)
            ::usleep(200'000);
        ASSERT_TRUE(interop::listening(port)) << "smbd did not start";
    }

    // What a case adds to the server's options, and to the password share's.
    virtual std::string globals() const { return {}; }
    virtual std::string secretOptions() const { return {}; }

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

    // A session bus of the case's own, with home and runtime folders in its folder: nothing of
    // the user's is read or written. What is started on it ends with it.
    void startBus() {
        if (!interop::have("dbus-daemon"))
            GTEST_SKIP() << "dbus missing";
        const fs::path home = dir.folder("heim");
        ::chmod(runtime.c_str(), 0700);
        const auto bus = interop::run("(env -u DBUS_SESSION_BUS_ADDRESS dbus-daemon --session "
                                      "--fork --print-address=1 --print-pid=1 2>/dev/null)");
        std::istringstream lines(bus.output);
        std::string address;
        lines >> address >> busPid;
        ASSERT_EQ(bus.exitCode, 0) << bus.output;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void startKeyring() {
        if (!interop::have("gnome-keyring-daemon") || !interop::have("secret-tool"))
            GTEST_SKIP() << "gnome-keyring or libsecret-tools missing";
        startBus();
        const auto keyring = interop::run(
            "echo -n k | gnome-keyring-daemon --unlock --components=secrets --daemonize");
        ASSERT_EQ(keyring.exitCode, 0) << keyring.output;
    }
    void TearDown() override {
        if (fusePid > 0) { // before the folder goes: its removal must not walk into the share
            interop::run("fusermount -u -z " + (runtime / "gvfs").native());
            ::kill(fusePid, SIGTERM);
        }
        if (busPid > 0)
            ::kill(busPid, SIGTERM);
    }
    // The password GVFS keeps for root on this server, as its attributes say.
    interop::Outcome keyringPassword(const std::string& verb) const {
        return interop::run((verb == "store" ? "echo -n pw | secret-tool store --label=smb "
                                             : "secret-tool lookup ") +
                            std::string("xdg:schema org.gnome.keyring.NetworkPassword user root "
                                        "server 127.0.0.1 protocol smb port ") +
                            std::to_string(port));
    }

    // The row of \p name on the guest share, or on the password share.
    fs::path row(const std::string& name, const std::string& on = "share") const {
        return "smb://127.0.0.1:" + std::to_string(port) + "/" + on + "/" + name;
    }

    scratch::Folder dir;
    const fs::path share = dir.folder("share");
    const fs::path secret = dir.folder("geheim");
    const fs::path dfs = dir.folder("dfs");
    const fs::path runtime = dir.folder("heim/run");
    const int port = freePort();
    std::optional<interop::Smbd> smbd;
    pid_t busPid = 0, fusePid = 0;
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
    // The same through the share, the time alone: Samba would show the new, earlier write time
    // as the creation time of a file that has none stored, unless the write names it.
    localFile("einzeln.txt");
    localFile("im-lauf.txt");
    using apply::Tri::Grayed, apply::Tri::Checked;
    const std::string single = allinfo("einzeln.txt", "create_time");
    apply::RowFailure failure;
    ASSERT_TRUE(apply::ApplyRow(
        row("einzeln.txt"), {Grayed, Grayed, Grayed, Grayed}, &moment, [] {}, failure))
        << apply::ReasonLine(failure);
    EXPECT_EQ(allinfo("einzeln.txt", "create_time"), single);
    localFile("mit-h.txt");
    const std::string inRun = allinfo("im-lauf.txt", "create_time"),
                      withH = allinfo("mit-h.txt", "create_time");
    for (const auto boxes : {apply::BoxValues{Grayed, Grayed, Grayed, Grayed},
                             apply::BoxValues{Grayed, Grayed, Grayed, Checked}}) {
        const auto batch = apply::RowBatch::onShares(
            {{2, row(boxes[3] == Grayed ? "im-lauf.txt" : "mit-h.txt")}}, boxes, &moment);
        EXPECT_TRUE(batch->take(2, {}).done);
    }
    EXPECT_EQ(allinfo("im-lauf.txt", "create_time"), inRun);
    EXPECT_EQ(allinfo("mit-h.txt", "create_time"), withH) << "the word stores it";
}

// A share row as the apply run writes it: the server keeps the new word and time, and of the
// other bits what it keeps for smbclient's setmode too (Samba drops "offline" on any write).
TEST_F(Samba, AShareRowIsWrittenAndReadBackThroughTheServer) {
    const std::string stored = platform::dosattrib::encode({0x1020, false, 0});
    for (const char* name : {"ours.txt", "theirs.txt"}) {
        localFile(name);
        ASSERT_EQ(
            ::setxattr((share / name).c_str(), "user.DOSATTRIB", stored.data(), stored.size(), 0),
            0);
    }
    ::chmod(dir.folder("share/ordner").c_str(), 0777);
    ASSERT_EQ(client("setmode theirs.txt +h").exitCode, 0);
    const platform::LocalTime moment{12, 0, 0, 15, 1, 2001};
    apply::RowFailure failure;
    using apply::Tri::Checked, apply::Tri::Unchecked, apply::Tri::Grayed;
    for (const char* name : {"ours.txt", "ordner"})
        ASSERT_TRUE(apply::ApplyRow(
            row(name), {Unchecked, Grayed, Unchecked, Checked}, &moment, [] {}, failure))
            << apply::ReasonLine(failure);
    EXPECT_EQ(attributes("ours.txt"), attributes("theirs.txt"));
    EXPECT_EQ(attributes("ours.txt") & 0x27, 0x22);
    EXPECT_EQ(attributes("ordner"), 0x12) << "a folder stays a folder";
    EntryState state, overIpv6;
    ASSERT_FALSE(queryEntry(row("ours.txt"), state));
    EXPECT_EQ(state.attributes, attr::Hidden | attr::Archive);
    ASSERT_FALSE(queryEntry("smb://[::1]:" + std::to_string(port) + "/share/ours.txt", overIpv6));
    EXPECT_EQ(overIpv6.attributes, state.attributes);
    struct stat st {};
    ASSERT_EQ(::stat((share / "ours.txt").c_str(), &st), 0);
    EXPECT_EQ(state.lastWrite, st.st_mtime);
    EXPECT_EQ(allinfo("ours.txt", "write_time").substr(0, 10), "Mon Jan 15"); // 2001
    // No bit left: the server gets FILE_ATTRIBUTE_NORMAL, not 0 ("no change").
    ASSERT_TRUE(apply::ApplyRow(
        row("ours.txt"), {Unchecked, Unchecked, Unchecked, Unchecked}, nullptr, [] {}, failure))
        << apply::ReasonLine(failure);
    EXPECT_EQ(attributes("ours.txt"), 0x80);
}

// The expansion lists the subfolders it will enter next side by side, and so does a check:
// the same entries and states as one by one.
TEST_F(Samba, AShareFolderIsListedByTheServerWithoutDotNamesOrLinksOut) {
    localFile("a.txt");
    localFile(".versteckt");
    ASSERT_EQ(::symlink("/etc", (share / "hinaus").c_str()), 0);
    std::vector<std::string> expected{row("a.txt")};
    std::vector<fs::path> rows{row("a.txt"), row("weg/x.txt")}; // the second: gone meanwhile
    for (int d = 0; d < 9; ++d) {
        const std::string sub = "d" + std::to_string(d);
        ::chmod(dir.folder("share/" + sub).c_str(), 0777);
        localFile(sub + "/f.txt");
        ASSERT_FALSE(writeAttributes(share / sub / "f.txt", d % 2 ? attr::Hidden : attr::System));
        expected.insert(expected.end(), {row(sub).native() + "/", row(sub + "/f.txt")});
        rows.push_back(row(sub + "/f.txt"));
    }
    std::vector<std::string> seen;
    const auto found = expansion::CollectFolder(row("").native());
    for (const auto& f : found.files)
        seen.push_back(f);
    for (const auto& f : found.folders)
        seen.push_back(f + "/");
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);

    // A folder whose listing does not fit two answers is listed to its end all the same.
    const fs::path many = dir.folder("share/viele");
    for (int k = 0; k < 12000; ++k)
        std::ofstream(many / ("eine-datei-mit-einem-recht-langen-namen-" + std::to_string(k)));
    EXPECT_EQ(expansion::CollectFolder(row("viele").native()).files.size(), 12000u);

    std::size_t answered = 0;
    queryEntries(
        rows.size(), [&](std::size_t i) { return rows[i]; },
        [&](std::size_t i, std::error_code ec, const EntryState& batch) {
            ++answered;
            EntryState single;
            EXPECT_EQ(ec, queryEntry(rows[i], single)) << rows[i];
            EXPECT_EQ(batch.attributes & 0x37, ec ? 0 : single.attributes & 0x37) << rows[i];
            EXPECT_EQ(batch.lastWrite, ec ? 0 : single.lastWrite) << rows[i];
        });
    EXPECT_EQ(answered, rows.size());
}

// A check over rows of both shares, in folders listed side by side: the password share is asked
// for once (again after a wrong answer), and every row is read.
TEST_F(Samba, APasswordShareAsksTheWindowOnceAndAgainAfterAWrongAnswer) {
    localFile("a.txt");
    std::vector<fs::path> rows{row("a.txt")};
    for (int d = 0; d < 6; ++d) {
        const std::string name = "g" + std::to_string(d) + "/a.txt";
        dir.folder("geheim/g" + std::to_string(d));
        dir.file("geheim/" + name, "a");
        rows.push_back(row(name, "geheim"));
    }
    std::vector<share::signin::Question> asked;
    std::vector<std::string> answers{"falsch", "pw"};
    share::signin::setAsker([&](const share::signin::Question& q) {
        asked.push_back(q);
        return std::optional<share::signin::Answer>(
            {"root", "", answers[std::min(asked.size(), answers.size()) - 1], false});
    });
    std::size_t read = 0;
    queryEntries(
        rows.size(), [&](std::size_t i) { return rows[i]; },
        [&](std::size_t i, std::error_code ec, const EntryState&) {
            EXPECT_FALSE(ec) << rows[i] << ": " << ec.message();
            read += !ec;
        });
    EXPECT_EQ(read, rows.size());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].share, "geheim");
    EXPECT_FALSE(asked[0].again);
    EXPECT_TRUE(asked[1].again);
    EXPECT_EQ(asked[1].user, "root");

    // The same server at another port (a tunnel, say) is another server: its password is
    // asked for, never sent the one typed for this port.
    interop::LossyProxy other(port);
    EntryState state;
    EXPECT_FALSE(
        queryEntry("smb://127.0.0.1:" + std::to_string(other.port) + "/geheim/g0/a.txt", state));
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2].port, other.port);
}

TEST_F(Samba, ACancelledSignInSkipsTheSharesRowsWithoutAskingAgain) {
    localFile("a.txt");
    dir.file("geheim/a.txt", "a");
    dir.file("geheim/b.txt", "b");
    int asked = 0;
    share::signin::setAsker([&](const share::signin::Question&) {
        ++asked;
        return std::optional<share::signin::Answer>();
    });
    EntryState state;
    for (const char* name : {"a.txt", "b.txt"})
        EXPECT_EQ(queryEntry(row(name, "geheim"), state),
                  make_error_code(Refusal::SignInCancelled));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(queryEntry(row("a.txt"), state)) << "the guest share is another share";
    share::signin::forgetCancelled(); // the next drop or run asks again
    EXPECT_EQ(queryEntry(row("a.txt", "geheim"), state), make_error_code(Refusal::SignInCancelled));
    EXPECT_EQ(asked, 2);

    // A run after the user signs in writes the share's rows.
    share::signin::forgetCancelled();
    share::signin::setAsker([](const share::signin::Question&) {
        return std::optional<share::signin::Answer>({"root", "", "pw", false});
    });
    const auto batch = apply::RowBatch::onShares(
        {{2, row("a.txt", "geheim")}, {1, row("b.txt", "geheim")}},
        {apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Checked}, nullptr);
    for (const std::size_t k : {2, 1}) {
        const auto result = batch->take(k, {});
        EXPECT_TRUE(result.done) << k << ": " << apply::ReasonLine(result.failure);
    }
}

// A password the user asks us to remember is found by the file manager, and one saved by the
// file manager signs in without a question. (One bus for both: the library keeps its first.)
TEST_F(Samba, TheKeyringHoldsThePasswordsTheFileManagerKeeps) {
    startKeyring();
    dir.file("geheim/a.txt", "a");
    share::signin::setAsker([](const share::signin::Question&) {
        return std::optional<share::signin::Answer>({"root", "", "pw", true});
    });
    EntryState state;
    ASSERT_FALSE(queryEntry(row("a.txt", "geheim"), state));
    EXPECT_EQ(keyringPassword("lookup").output, "pw");

    share::reset();
    share::signin::setAsker([](const share::signin::Question&) {
        ADD_FAILURE() << "asked although the keyring knows the password";
        return std::optional<share::signin::Answer>();
    });
    EXPECT_FALSE(queryEntry(row("a.txt", "geheim"), state));
}

// The run writes the rows with many in flight; it takes their results from the bottom up, and
// after "Nein" at a failed row no row above it stays changed.
TEST_F(Samba, AfterNoAtAShareRowNoRowAboveItStaysChanged) {
    std::vector<std::pair<std::size_t, fs::path>> rows; // from the bottom of the list up
    for (std::size_t k = 20; k >= 1; --k) {
        const std::string name = "f" + std::to_string(k) + ".txt";
        localFile(name);
        rows.emplace_back(k, row(name));
    }
    ASSERT_EQ(::chown((share / "f10.txt").c_str(), 0, 0), 0); // not the guest's: refused
    using apply::Tri::Grayed, apply::Tri::Checked;
    const LocalTime moment{12, 0, 0, 15, 1, 2021};
    const auto batch = apply::RowBatch::onShares(rows, {Grayed, Grayed, Grayed, Checked}, &moment);
    ASSERT_TRUE(batch);
    for (const auto& [k, path] : rows) {
        const auto result = batch->take(k, {});
        EXPECT_EQ(result.done, k != 10) << k;
        if (!result.done) {
            EXPECT_EQ(result.failure.ec, std::errc::permission_denied);
            EXPECT_EQ(batch->stopAndUndoAbove(k), 0);
            break;
        }
    }
    for (std::size_t k = 1; k <= 20; ++k) { // the word and the time
        const std::string name = "f" + std::to_string(k) + ".txt";
        EXPECT_EQ(attributes(name) & 0x2, k > 10 ? 0x2 : 0) << k;
        struct stat st {};
        ASSERT_EQ(::stat((share / name).c_str(), &st), 0);
        EXPECT_EQ(std::abs(st.st_mtime - 1'610'712'000) < 86'400, k > 10) << k; // 15 Jan 2021
    }
}

// A write changes what it was asked to and nothing else, read back from the server's own
// files to the 100 ns: the creation and access times stay, the write time stays unless a new
// one was asked for, for files and folders, one row at a time and in a run.
TEST_F(Samba, AWriteKeepsEveryTimeItWasNotAskedToChange) {
    const std::uint64_t created = dosattrib::ntTimeFromUnix(1233633906, 123456700); // 2009-02-03
    const struct timespec times[2] = {{1236049506, 987654300}, {1299211567, 123456700}};
    struct Seen {
        std::uint64_t created, accessed, written;
        bool operator==(const Seen&) const = default;
    };
    const auto seen = [&](const std::string& name) {
        std::string value(256, '\0');
        const ssize_t n =
            ::getxattr((share / name).c_str(), "user.DOSATTRIB", value.data(), value.size());
        const auto info = dosattrib::decode(value.data(), n < 0 ? 0 : std::size_t(n));
        struct stat st {};
        ::stat((share / name).c_str(), &st);
        return Seen{info ? info->createTime : 0,
                    dosattrib::ntTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec),
                    dosattrib::ntTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
    };
    std::vector<std::pair<std::size_t, fs::path>> rows;
    for (const std::string name : {"einzeln.txt", "ordner", "lauf1.txt", "lauf2.txt"}) {
        const fs::path f = name == "ordner" ? dir.folder("share/" + name) : localFile(name);
        ::chmod(f.c_str(), name == "ordner" ? 0777 : 0666);
        const std::string stored = dosattrib::encode({0x20, true, created});
        ASSERT_EQ(::setxattr(f.c_str(), "user.DOSATTRIB", stored.data(), stored.size(), 0), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
        if (name.starts_with("lauf"))
            rows.emplace_back(rows.size() + 1, row(name));
    }
    const Seen before = seen("einzeln.txt");
    using apply::Tri::Checked, apply::Tri::Grayed;
    apply::RowFailure failure;
    for (const char* name : {"einzeln.txt", "ordner"}) {
        ASSERT_TRUE(apply::ApplyRow(
            row(name), {Grayed, Grayed, Grayed, Checked}, nullptr, [] {}, failure))
            << name << ": " << apply::ReasonLine(failure);
        EXPECT_EQ(seen(name), before) << name;
        EXPECT_EQ(attributes(name) & 0x22, 0x22) << name;
    }
    const LocalTime moment{12, 0, 0, 15, 1, 2021};
    const auto batch = apply::RowBatch::onShares(rows, {Grayed, Grayed, Grayed, Checked}, &moment);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        EXPECT_TRUE(batch->take(it->first, {}).done) << it->second;
    for (const char* name : {"lauf1.txt", "lauf2.txt"}) {
        const Seen now = seen(name);
        EXPECT_EQ(now.created, before.created) << name;
        EXPECT_EQ(now.accessed, before.accessed) << name;
        EXPECT_EQ(now.written % 10'000'000, 0u) << name << ": the new time, whole seconds";
        EXPECT_NE(now.written, before.written) << name;
    }
}

// Samba shows a link to a folder above as a folder: the expansion does not go round it.
TEST_F(Samba, ALinkLoopOnTheShareIsNotEntered) {
    dir.folder("share/d/e");
    localFile("d/e/f.txt");
    ASSERT_EQ(::symlink(".", (share / "d/e/l1").c_str()), 0);
    ASSERT_EQ(::symlink("..", (share / "d/e/l2").c_str()), 0);
    std::vector<std::string> skipped;
    expansion::CollectHooks hooks;
    hooks.skipped = [&](const std::string& path, std::error_code) { skipped.push_back(path); };
    const auto found = expansion::CollectFolder(row("d").native(), hooks);
    EXPECT_EQ(found.files, std::vector<std::string>{row("d/e/f.txt").native()});
    EXPECT_EQ(found.folders, std::vector<std::string>{row("d/e").native()});
    EXPECT_EQ(skipped.size(), 2u);
}

// An answer lost on the way (held back past its time, or its connection cut after or before the
// request reached the server) is settled by reading the entry afresh on a new connection: the
// write counts as done exactly when the server has it.
TEST_F(Samba, AnAnswerLostOnTheWayIsSettledByReadingTheEntryBack) {
    using Mode = interop::LossyProxy::Mode;
    // Signed in with a password: the new session names the one that broke, and the server ends
    // that first, so a request of it still in the server's hands is done or dropped by then.
    share::signin::setAsker([](const share::signin::Question&) {
        return std::optional<share::signin::Answer>({"root", "", "pw", false});
    });
    interop::LossyProxy proxy(port);
    const struct {
        const char* name;
        Mode mode;
        bool written;
    } cases[] = {
        {"gehalten.txt", Mode::HoldAnswers, true},
        {"abgeschnitten.txt", Mode::CutAfterRequest, true},
        {"verloren.txt", Mode::CutBeforeRequest, false},
    };
    for (const auto& c : cases) {
        const fs::path f = dir.file(fs::path("geheim") / c.name, "a");
        const auto at =
            *share::fromRow("smb://127.0.0.1:" + std::to_string(proxy.port) + "/geheim/" + c.name);
        share::Entry e;
        ASSERT_FALSE(share::stat(at, e)) << c.name; // a connection through the proxy
        proxy.set(c.mode);
        share::wire::BasicInfo set;
        set.attributes = share::wordToSend(e.info.attributes, attr::Hidden);
        share::setRequestTimeout(std::chrono::seconds(2)); // the held answer's wait, shorter
        const auto ec = share::write(at, set, e);
        share::setRequestTimeout(std::chrono::seconds(5));
        proxy.set(Mode::Pass);
        EXPECT_EQ(!ec, c.written) << c.name << ": " << ec.message();
        EXPECT_EQ(wordOf(f) & attr::Hidden, c.written ? attr::Hidden : 0) << c.name;
    }
}

// A DFS link leads to another share: it is not entered, and a row behind it is refused with the
// reason, never written somewhere else unseen.
TEST_F(Samba, ADfsLinkIsRefusedWithItsReason) {
    ::chmod(dfs.c_str(), 0777);
    dir.file("dfs/a.txt", "a");
    ASSERT_EQ(::symlink("msdfs:127.0.0.1\\share", (dfs / "weiter").c_str()), 0);
    const auto found = expansion::CollectFolder(row("", "dfs").native());
    EXPECT_EQ(found.files, std::vector<std::string>{row("a.txt", "dfs").native()});
    EXPECT_TRUE(found.folders.empty());
    EntryState state;
    EXPECT_EQ(queryEntry(row("weiter/b.txt", "dfs"), state), Refusal::DfsLink);
}

// A file dragged from the file manager's GVFS folder of the share (a real gvfsd and gvfsd-fuse on
// the case's own bus) is the share's row, and its word goes to the server.
TEST_F(Samba, AFileFromTheGvfsFolderIsTheSharesRow) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0 || !fs::exists("/usr/libexec/gvfsd-fuse") ||
        !interop::have("gio") || !interop::have("fusermount"))
        GTEST_SKIP() << "no /dev/fuse here, or gvfs-fuse, gvfs-backends or gio missing";
    localFile("a.txt");
    startBus();
    const fs::path gvfs = dir.folder("heim/run/gvfs");
    fusePid = std::stoi(
        interop::run("/usr/libexec/gvfsd-fuse -f " + gvfs.native() + " >/dev/null 2>&1 & echo $!")
            .output);
    const auto mount =
        interop::run("gio mount -a smb://127.0.0.1:" + std::to_string(port) + "/share/ </dev/null");
    ASSERT_EQ(mount.exitCode, 0) << mount.output;
    fs::path folder;
    for (int i = 0; i < 200 && folder.empty(); ++i) { // until the daemon shows the mount
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(gvfs, ec))
            if (entry.path().filename().native().starts_with("smb-share:"))
                folder = entry.path();
        if (folder.empty())
            ::usleep(50'000);
    }
    ASSERT_FALSE(folder.empty()) << "GVFS showed no mount";
    const auto rows = filelist::parseUriList("file://" + (folder / "a.txt").native() + "\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], row("a.txt").native());
    EXPECT_FALSE(writeAttributes(rows[0], attr::Hidden));
    EXPECT_EQ(attributes("a.txt") & 0x2, 0x2);
}

// The server gone in the middle of a run: each row is done or fails with a reason, and every
// later call fails within the library's timeout; nothing hangs.
TEST_F(Samba, AServerThatWentAwayFailsTheRowsItHad) {
    std::vector<std::pair<std::size_t, fs::path>> rows;
    for (std::size_t k = 200; k >= 1; --k) {
        localFile("f" + std::to_string(k));
        rows.emplace_back(k, row("f" + std::to_string(k)));
    }
    localFile("a.txt");
    EntryState state;
    ASSERT_FALSE(queryEntry(row("a.txt"), state));
    const auto batch = apply::RowBatch::onShares(
        rows, {apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Checked},
        nullptr);
    for (const auto& [k, path] : rows) {
        if (k == 190)
            smbd.reset();
        const auto result = batch->take(k, {});
        EXPECT_TRUE(result.done || result.failure.ec) << k;
    }
    EXPECT_TRUE(queryEntry(row("a.txt"), state));
    EXPECT_TRUE(writeAttributes(row("a.txt"), attr::Hidden));
    EXPECT_TRUE(expansion::CollectFolder(row("").native()).files.empty());
}

} // namespace

namespace {

// The server's protocols and its demands for signing and encryption: a row on the password share
// is written and read back in each, and the guest share is reached too (Samba lets a guest in
// without encryption even where it wants it of its users).
struct Demands {
    const char* name;
    const char* globals;
    const char* secretOptions;
    bool guests;
};

void PrintTo(const Demands& d, std::ostream* os) {
    *os << d.name;
}

class SambaDemands : public Samba, public ::testing::WithParamInterface<Demands> {
protected:
    std::string globals() const override { return GetParam().globals; }
    std::string secretOptions() const override { return GetParam().secretOptions; }
};

TEST_P(SambaDemands, ARowIsWrittenAndReadBackWhateverTheServerAsks) {
    dir.file("geheim/a.txt", "a");
    localFile("b.txt");
    share::signin::setAsker([](const share::signin::Question&) {
        return std::optional<share::signin::Answer>({"root", "", "pw", false});
    });
    const LocalTime moment{12, 0, 0, 15, 1, 2021};
    using apply::Tri::Checked, apply::Tri::Grayed;
    apply::RowFailure failure;
    EXPECT_TRUE(apply::ApplyRow(
        row("a.txt", "geheim"), {Grayed, Grayed, Checked, Checked}, &moment, [] {}, failure))
        << apply::ReasonLine(failure);
    EntryState state;
    ASSERT_FALSE(queryEntry(row("a.txt", "geheim"), state));
    EXPECT_EQ(state.attributes & 0x6, 0x6u);
    std::time_t when = 0;
    ASSERT_FALSE(utcOf(moment, when));
    EXPECT_EQ(state.lastWrite, when);
    EXPECT_EQ(!queryEntry(row("b.txt"), state), GetParam().guests);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SambaDemands,
    ::testing::Values(Demands{"smb2_02", "server max protocol = SMB2_02\n", "", true},
                      Demands{"smb2_10", "server max protocol = SMB2_10\n", "", true},
                      Demands{"smb3_00", "server max protocol = SMB3_00\n", "", true},
                      Demands{"smb3_11", "server max protocol = SMB3_11\n", "", true},
                      Demands{"signing", "server signing = mandatory\n", "", true},
                      Demands{"encryption", "server smb encrypt = required\n", "", true},
                      Demands{"encryption_ccm",
                              "server max protocol = SMB3_00\nserver smb encrypt = required\n", "",
                              true},
                      Demands{"share_encryption", "", "smb encrypt = required\n", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
