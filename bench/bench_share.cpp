// A share at network speed: 10,000 files in 100 folders on a private smbd, reached through a TCP
// proxy that holds every chunk 10 ms each way (a 20 ms round trip). Prints the drop of the share's
// root (expansion and closing check), the apply run started right after it (H and a new time on
// every row), one situation check, the connections made, the run through the proxy against the
// same run straight to smbd, and smbclient's setmode over a sample, scaled. Needs root (the
// private smbd) and the packages samba and smbclient; says so and ends otherwise.
#include "apply/attributeword.h"
#include "apply/rowbatch.h"
#include "filelist/folderexpansion.h"
#include "platform/fileservices.h"
#include "share/client.h"
#include "share/connection.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Folders = 100, FilesPerFolder = 100;
constexpr int SmbclientSample = 500;
constexpr auto Delay = std::chrono::milliseconds(10);

double seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int listenOn(int& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), size);
    ::listen(s, 256);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    return s;
}

// The proxy: one thread, one epoll set. Each chunk read from one side is sent to the other Delay
// after it came, in order; a thread per direction would cost this 2-core machine more CPU than
// the clients it measures.
class Proxy {
public:
    Proxy(int listener, int target) : listener_(listener), target_(target) {}

    void run() {
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        watch(listener_, nullptr);
        epoll_event events[64];
        for (;;) {
            int timeout = -1;
            if (!due_.empty()) {
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(due_.top().first - Clock::now());
                timeout = int(std::max<std::int64_t>(0, wait.count()));
            }
            const int n = ::epoll_wait(epoll_, events, 64, timeout);
            for (int i = 0; i < n; ++i) {
                auto* way = static_cast<Way*>(events[i].data.ptr);
                way ? receive(*way) : accept();
            }
            send();
        }
    }

private:
    struct Way { // one direction of a joined pair
        int from = -1, to = -1;
        std::deque<std::pair<Clock::time_point, std::string>> chunks;
        bool ended = false;
    };

    void watch(int fd, Way* way) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.ptr = way;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
    }

    void accept() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(std::uint16_t(target_));
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(client);
            ::close(server);
            return;
        }
        // No Nagle on either side: the only delay is the one the proxy adds.
        const int one = 1;
        for (const int fd : {client, server}) {
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
        ways_.push_back(std::make_unique<Way>(Way{client, server, {}, false}));
        watch(client, ways_.back().get());
        ways_.push_back(std::make_unique<Way>(Way{server, client, {}, false}));
        watch(server, ways_.back().get());
    }

    void receive(Way& way) {
        char buffer[65536];
        const ssize_t n = ::recv(way.from, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EAGAIN)
            return;
        const auto due = Clock::now() + Delay;
        if (n <= 0) {
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, way.from, nullptr);
            way.ended = true;
        }
        way.chunks.emplace_back(due, n > 0 ? std::string(buffer, std::size_t(n)) : std::string());
        due_.emplace(due, &way);
    }

    // Sends every chunk whose time has come; an ended way passes its end on once sent.
    void send() {
        const auto now = Clock::now();
        while (!due_.empty() && due_.top().first <= now) {
            Way& way = *due_.top().second;
            due_.pop();
            auto& [when, data] = way.chunks.front();
            if (data.empty()) {
                ::shutdown(way.to, SHUT_WR);
                way.chunks.pop_front();
                continue;
            }
            const ssize_t n = ::send(way.to, data.data(), data.size(), MSG_NOSIGNAL);
            if (n > 0)
                data.erase(0, std::size_t(n));
            if (data.empty() || (n < 0 && errno != EAGAIN)) {
                way.chunks.pop_front();
                continue;
            }
            due_.emplace(now + std::chrono::milliseconds(1), &way); // the peer is full: again soon
            break;
        }
    }

    using Due = std::pair<Clock::time_point, Way*>;
    struct Later {
        bool operator()(const Due& a, const Due& b) const { return a.first > b.first; }
    };
    int listener_, target_, epoll_ = -1;
    std::vector<std::unique_ptr<Way>> ways_;
    std::priority_queue<Due, std::vector<Due>, Later> due_;
};

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main() {
    if (::geteuid() != 0 || run("PATH=$PATH:/usr/sbin command -v smbd") != 0 ||
        run("command -v smbclient") != 0) {
        std::printf("bench_share: needs root, smbd and smbclient; not run\n");
        return 0;
    }
    const fs::path root =
        fs::temp_directory_path() / ("dateimark-bench-share-" + std::to_string(::getpid()));
    const fs::path share = root / "share";
    fs::create_directories(share);
    for (int d = 0; d < Folders; ++d) {
        const fs::path folder = share / ("ordner" + std::to_string(d));
        fs::create_directory(folder);
        for (int f = 0; f < FilesPerFolder; ++f)
            std::ofstream(folder / ("datei" + std::to_string(f) + ".txt")) << "x";
    }
    run("chown -R nobody:nogroup " + share.native() + " && chmod -R a+rwX " + share.native());
    ::sync(); // the tree's and earlier benchmarks' writeback is not timed with us
    int smbPort = 0, proxyPort = 0;
    ::close(listenOn(smbPort)); // a free port for smbd
    const int listener = listenOn(proxyPort);
    {
        std::ofstream conf(root / "smb.conf");
        conf << "[global]\ninterfaces = 127.0.0.1\nbind interfaces only = yes\n"
             << "disable netbios = yes\nload printers = no\ndisable spoolss = yes\n"
             << "smb ports = " << smbPort << "\nmap to guest = Bad User\nguest account = nobody\n";
        for (const char* dir : {"lock", "state", "cache", "private", "pid", "ncalrpc"}) {
            fs::create_directories(root / dir);
            conf << dir
                 << (std::string(dir) == "private" || std::string(dir) == "ncalrpc" ? " dir"
                                                                                    : " directory")
                 << " = " << (root / dir).native() << "\n";
        }
        conf << "[share]\npath = " << share.native()
             << "\nread only = no\nguest ok = yes\nguest only = yes\n";
    }
    const std::string confArg = "--configfile=" + (root / "smb.conf").native();
    const pid_t smbd = ::fork();
    if (smbd == 0) {
        ::execlp("smbd", "smbd", "--foreground", "-d", "0", confArg.c_str(), nullptr);
        ::_exit(127);
    }
    const std::string client = "smbclient //127.0.0.1/share -N -m SMB3 -p ";
    for (int i = 0; i < 100 && run(client + std::to_string(smbPort) + " -c ls") != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::thread([=] { Proxy(listener, smbPort).run(); }).detach();

    struct Figures {
        double drop = 0, check = 0, apply = 0;
        int connections = 0, failed = 0;
    };
    // A drop of the share's root, a check, and a run of H (or its clearing) with a new time on
    // every row, started right after the drop, through \p port, on connections of its own.
    const auto measure = [&](int port, apply::Tri hidden, int year) {
        Figures f;
        share::reset();
        const int before = share::Connection::opened();
        const std::string top = "smb://127.0.0.1:" + std::to_string(port) + "/share";
        std::vector<fs::path> rows;
        const auto check = [&] {
            int failed = 0;
            platform::queryEntries(
                rows.size(), [&](std::size_t i) { return rows[i]; },
                [&](std::size_t i, std::error_code ec, const platform::EntryState&) {
                    if (ec && failed++ < 3)
                        std::fprintf(stderr, "check: %s: %s\n", rows[i].c_str(),
                                     ec.message().c_str());
                });
            return failed;
        };
        f.drop = seconds([&] {
            const auto found = expansion::CollectFolder(top);
            rows.assign(found.files.begin(), found.files.end());
            rows.insert(rows.end(), found.folders.begin(), found.folders.end());
            f.failed += check();
        });
        const platform::LocalTime moment{12, 0, 0, 15, 1, year};
        const apply::BoxValues boxes{apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Grayed,
                                     hidden};
        // The run's way: every row's compound in flight, the results taken in the rows' order.
        f.apply = seconds([&] {
            std::vector<std::pair<std::size_t, fs::path>> sample;
            for (std::size_t i = 0; i < rows.size(); ++i)
                sample.emplace_back(i, rows[i]);
            const auto batch = apply::RowBatch::onShares(sample, boxes, &moment);
            for (const auto& [row, path] : sample) {
                const auto r = batch->take(row, {});
                if (!r.done && f.failed++ < 6)
                    std::fprintf(stderr, "apply: %s: %s\n", path.c_str(),
                                 apply::ReasonLine(r.failure).c_str());
            }
        });
        f.check = seconds([&] { f.failed += check(); });
        f.connections = share::Connection::opened() - before;
        if (rows.size() != std::size_t(Folders * (FilesPerFolder + 1)))
            ++f.failed;
        return f;
    };
    const Figures direct = measure(smbPort, apply::Tri::Unchecked, 2022);
    const Figures far = measure(proxyPort, apply::Tri::Checked, 2021);
    const int failed = direct.failed + far.failed;

    std::string commands;
    for (int i = 0; i < SmbclientSample; ++i)
        commands += "setmode ordner" + std::to_string(50 + i / FilesPerFolder) + "/datei" +
                    std::to_string(i % FilesPerFolder) + ".txt +h;";
    const double smbclient =
        seconds([&] { run(client + std::to_string(proxyPort) + " -c '" + commands + "'"); });

    ::kill(-smbd, SIGTERM);
    ::waitpid(smbd, nullptr, 0);
    // The RPC helpers smbd starts live in a session of their own.
    run("pkill -f \"[-]-configfile=" + (root / "smb.conf").native() + "\"");
    std::error_code ec;
    fs::remove_all(root, ec);

    const double all = Folders * FilesPerFolder;
    const double theirs = smbclient / SmbclientSample * all;
    std::printf("[share] failures %d; straight to smbd: drop %.2f s, check %.2f s, apply %.2f s; "
                "smbclient setmode %d files %.2f s\n",
                failed, direct.drop, direct.check, direct.apply, SmbclientSample, smbclient);
    std::printf("smb_drop_s: %.2f\n", far.drop);
    std::printf("smb_check_s: %.2f\n", far.check);
    std::printf("smb_apply_s: %.2f\n", far.apply);
    std::printf("smb_apply_vs_direct: %.2f\n", far.apply / direct.apply);
    std::printf("smb_connections: %d\n", far.connections);
    std::printf("smb_apply_vs_smbclient: %.2f\n", theirs / far.apply);
    return 0;
}
