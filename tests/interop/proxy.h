// A TCP proxy between a client and a server on 127.0.0.1 that can lose what passes: hold the
// server's answers back, or cut the connection at the client's next request, before or after
// passing it on. One thread; what it holds it passes on once told to.
#pragma once

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace interop {

class LossyProxy {
public:
    enum class Mode { Pass, HoldAnswers, CutAfterRequest, CutBeforeRequest };

    explicit LossyProxy(int target) : target_(target) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), size);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
        ::pipe(wake_);
        thread_ = std::thread([this] { run(); });
    }
    ~LossyProxy() {
        stop_ = true;
        poke();
        thread_.join();
        for (const Pair& p : pairs_)
            closePair(p);
        ::close(listener_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    /// What happens to the connections open now; a connection made later passes everything.
    void set(Mode mode) {
        std::lock_guard lock(mutex_);
        for (Pair& p : pairs_)
            p.mode = mode;
        poke();
    }

    int port = 0;

private:
    struct Pair {
        int client = -1, server = -1;
        Mode mode = Mode::Pass;
        std::string held; // answers held back
    };

    void poke() { [[maybe_unused]] auto n = ::write(wake_[1], "x", 1); }

    static void closePair(const Pair& p) {
        ::close(p.client);
        ::close(p.server);
    }

    static bool pass(int from, int to, std::string* keep) {
        char buffer[65536];
        const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        if (keep)
            keep->append(buffer, std::size_t(n));
        else
            ::send(to, buffer, std::size_t(n), MSG_NOSIGNAL);
        return true;
    }

    void run() {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            {
                std::lock_guard lock(mutex_);
                for (const Pair& p : pairs_) {
                    fds.push_back({p.client, POLLIN, 0});
                    fds.push_back({p.server, POLLIN, 0});
                }
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents & POLLIN) {
                char c[64];
                [[maybe_unused]] auto n = ::read(wake_[0], c, sizeof c);
            }
            std::lock_guard lock(mutex_);
            if (fds[0].revents & POLLIN)
                accept();
            for (std::size_t k = 0; k < pairs_.size(); ++k) {
                Pair& p = pairs_[k];
                if (p.mode != Mode::HoldAnswers && !p.held.empty()) {
                    ::send(p.client, p.held.data(), p.held.size(), MSG_NOSIGNAL);
                    p.held.clear();
                }
                bool open = true;
                const std::size_t at = 2 + 2 * k;
                if (at < fds.size() && (fds[at].revents & (POLLIN | POLLHUP))) {
                    if (p.mode == Mode::CutBeforeRequest) {
                        open = false;
                    } else {
                        open = pass(p.client, p.server, nullptr);
                        open = open && p.mode != Mode::CutAfterRequest;
                    }
                }
                if (open && at + 1 < fds.size() && (fds[at + 1].revents & (POLLIN | POLLHUP)))
                    open =
                        pass(p.server, p.client, p.mode == Mode::HoldAnswers ? &p.held : nullptr);
                if (!open) {
                    closePair(p);
                    pairs_.erase(pairs_.begin() + std::ptrdiff_t(k));
                    fds.erase(fds.begin() + std::ptrdiff_t(at),
                              fds.begin() + std::ptrdiff_t(at + 2));
                    --k;
                }
            }
        }
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
        pairs_.push_back({client, server, Mode::Pass, {}});
    }

    int target_, listener_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Pair> pairs_;
    std::thread thread_;
};

} // namespace interop
