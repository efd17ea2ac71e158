// A share at network speed: 10,000 files in 100 folders on a private smbd, reached through a TCP
// proxy that holds every chunk 10 ms each way (a 20 ms round trip). Prints the drop of the share's
// root (expansion and closing check), one situation check, the apply run (H and a new time, by
// the run's worker processes; timed over a sample of rows and scaled to all) and smbclient's
// setmode over a sample, scaled. Needs root (the private smbd) and the packages samba and
// smbclient; says so and ends otherwise.
#include "apply/attributeword.h"
#include "apply/sharebatch.h"
#include "filelist/folderexpansion.h"
#include "platform/fileservices.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Folders = 100, FilesPerFolder = 100;
constexpr int ApplySample = 2000, SmbclientSample = 500;
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

// One direction of a proxied connection: each chunk read is written Delay later, in order.
void pump(int from, int to) {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<Clock::time_point, std::string>> queue;
    bool closed = false;
    std::thread writer([&] {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return closed || !queue.empty(); });
            if (queue.empty())
                break;
            auto [due, data] = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            for (std::size_t done = 0; done < data.size();) {
                const ssize_t n = ::send(to, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += std::size_t(n);
            }
            lock.lock();
        }
        ::shutdown(to, SHUT_WR);
    });
    char buffer[65536];
    for (ssize_t n; (n = ::recv(from, buffer, sizeof buffer, 0)) > 0;) {
        std::lock_guard lock(m);
        queue.emplace_back(Clock::now() + Delay, std::string(buffer, std::size_t(n)));
        cv.notify_one();
    }
    {
        std::lock_guard lock(m);
        closed = true;
    }
    cv.notify_one();
    writer.join();
}

// Accepts on \p listener and joins each client to 127.0.0.1:\p target through two pumps.
void proxy(int listener, int target) {
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(std::uint16_t(target));
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(client);
            ::close(server);
            continue;
        }
        // No Nagle on either side: the only delay is the one the proxy adds.
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread([client, server] {
            std::thread back([client, server] { pump(server, client); });
            pump(client, server);
            back.join();
            ::close(client);
            ::close(server);
        }).detach();
    }
}

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
    std::thread(proxy, listener, smbPort).detach();

    const std::string top = "smb://127.0.0.1:" + std::to_string(proxyPort) + "/share";
    std::vector<fs::path> rows;
    const auto check = [&] {
        int failed = 0;
        platform::queryEntries(
            rows.size(), [&](std::size_t i) { return rows[i]; },
            [&](std::size_t, std::error_code ec, const platform::EntryState&) { failed += !!ec; });
        return failed;
    };
    int failed = 0;
    const double drop = seconds([&] {
        const auto found = expansion::CollectFolder(top);
        rows.assign(found.files.begin(), found.files.end());
        rows.insert(rows.end(), found.folders.begin(), found.folders.end());
        failed += check();
    });
    const double checkTime = seconds([&] { failed += check(); });

    const platform::LocalTime moment{12, 0, 0, 15, 1, 2021};
    const apply::BoxValues hidden{apply::Tri::Grayed, apply::Tri::Grayed, apply::Tri::Grayed,
                                  apply::Tri::Checked};
    // The run's way: the rows to worker processes, their results taken in the rows' order.
    const double applySample = seconds([&] {
        std::vector<std::pair<std::size_t, fs::path>> sample;
        for (int i = 0; i < ApplySample && i < int(rows.size()); ++i)
            sample.emplace_back(std::size_t(i), rows[std::size_t(i)]);
        const auto batch = apply::ShareBatch::start(sample, hidden, &moment);
        for (const auto& [row, path] : sample)
            failed += !batch->take(row, {}).done;
    });
    std::string commands;
    for (int i = 0; i < SmbclientSample; ++i)
        commands += "setmode ordner" + std::to_string(50 + i / FilesPerFolder) + "/datei" +
                    std::to_string(i % FilesPerFolder) + ".txt +h;";
    const double smbclient = seconds(
        [&] { failed += run(client + std::to_string(proxyPort) + " -c '" + commands + "'") != 0; });

    ::kill(-smbd, SIGTERM);
    ::waitpid(smbd, nullptr, 0);
    std::error_code ec;
    fs::remove_all(root, ec);

    const double all = Folders * FilesPerFolder;
    const double apply = applySample / ApplySample * all,
                 theirs = smbclient / SmbclientSample * all;
    std::printf("[share] rows %zu, failures %d, drop %.2f s, check %.2f s, apply %d rows %.2f s, "
                "smbclient setmode %d files %.2f s\n",
                rows.size(), failed, drop, checkTime, ApplySample, applySample, SmbclientSample,
                smbclient);
    std::printf("smb_drop_s: %.2f\n", drop);
    std::printf("smb_check_s: %.2f\n", checkTime);
    std::printf("smb_apply_s: %.1f\n", apply);
    std::printf("smb_apply_vs_smbclient: %.2f\n", theirs / apply);
    return 0;
}
