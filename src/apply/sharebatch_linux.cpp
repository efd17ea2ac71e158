#include "apply/sharebatch.h"

#include "platform/shareaddress.h"
#include "platform/smbstore_linux.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace apply {

namespace {

// More only wait for the CPU of a small machine; each holds a connection to the server.
constexpr std::size_t MaxWorkers = 32;

// A result as one line: "row done category value step timeSet keptTime nowKind now word time".
std::string lineOf(std::size_t row, const ShareBatch::Result& r) {
    const std::error_code& ec = r.failure.ec;
    const char category =
        ec.category() == platform::make_error_code(platform::Refusal::NotKept).category() ? 'r'
                                                                                          : 'g';
    const auto& now = r.failure.attributesNow;
    std::ostringstream line;
    line << row << ' ' << r.done << ' ' << category << ' ' << ec.value() << ' '
         << int(r.failure.step) << ' ' << r.failure.timeSet << ' ' << r.failure.keptTime << ' '
         << (!now    ? 0
             : !*now ? 1
                     : 2)
         << ' ' << (now && *now ? **now : 0u) << ' ' << r.before.attributes << ' '
         << r.before.lastWrite << '\n';
    return line.str();
}

bool parse(const std::string& text, std::size_t& row, ShareBatch::Result& r) {
    std::istringstream line(text);
    char category = 'g';
    int value = 0, step = 0, nowKind = 0;
    std::uint32_t now = 0;
    if (!(line >> row >> r.done >> category >> value >> step >> r.failure.timeSet >>
          r.failure.keptTime >> nowKind >> now >> r.before.attributes >> r.before.lastWrite))
        return false;
    r.failure.ec = category == 'r'
                       ? platform::make_error_code(static_cast<platform::Refusal>(value))
                       : std::error_code(value, std::generic_category());
    if (!value)
        r.failure.ec = {};
    r.failure.step = static_cast<Step>(step);
    if (nowKind == 1)
        r.failure.attributesNow.emplace();
    else if (nowKind == 2)
        r.failure.attributesNow.emplace(now);
    return true;
}

void writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

class Batch : public ShareBatch {
public:
    Batch(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
          const BoxValues& boxes, const platform::LocalTime* moment)
        : touching_(moment != nullptr) {
        for (const auto& [row, path] : rows)
            paths_[row] = path;
        const std::size_t count =
            std::max<std::size_t>(1, std::min(MaxWorkers, (rows.size() + 1) / 2));
        for (std::size_t w = 0; w < count; ++w) {
            int results[2], go[2];
            if (::pipe2(results, O_CLOEXEC) != 0)
                break;
            if (::pipe2(go, O_CLOEXEC) != 0) {
                ::close(results[0]);
                ::close(results[1]);
                break;
            }
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);
                ::close(results[0]);
                ::close(go[1]);
                platform::smbstore::ownConnection();
                for (std::size_t k = w; k < rows.size(); k += count) {
                    pollfd stop{go[0], POLLIN, 0};
                    if (::poll(&stop, 1, 0) > 0) // the run closed it: stop after the last row
                        break;
                    Result r;
                    r.done = ApplyRow(
                        rows[k].second, boxes, moment, [] {}, r.failure, &r.before);
                    writeAll(results[1], lineOf(rows[k].first, r));
                }
                ::_exit(0);
            }
            ::close(results[1]);
            ::close(go[0]);
            if (pid < 0) {
                ::close(results[0]);
                ::close(go[1]);
                break;
            }
            workers_.push_back({pid, results[0], go[1], {}});
        }
        // Rows of a worker that could not be started are written here, when their turn comes.
        for (std::size_t k = 0; k < rows.size(); ++k)
            if (k % count >= workers_.size())
                local_.insert(rows[k].first);
        boxes_ = boxes;
        if (moment)
            moment_ = *moment;
    }

    ~Batch() override { stop(); }

    Result take(std::size_t row, const std::function<void()>& wait) override {
        if (local_.contains(row)) {
            Result r;
            r.done = ApplyRow(
                paths_[row], boxes_, touching_ ? &moment_ : nullptr, [] {}, r.failure, &r.before);
            return r;
        }
        while (!arrived_.contains(row)) {
            if (!pump(50)) { // every worker has ended without this row
                Result r;
                r.failure.ec = std::make_error_code(std::errc::io_error);
                return r;
            }
            if (wait)
                wait();
        }
        Result r = std::move(arrived_[row]);
        arrived_.erase(row);
        return r;
    }

    int stopAndUndoAbove(std::size_t row) override {
        stop();
        int failed = 0;
        for (const auto& [k, r] : arrived_) {
            if (k >= row || !r.done)
                continue;
            const auto address = platform::share::fromRow(paths_[k].native());
            if (!address) {
                ++failed;
                continue;
            }
            const std::string url = platform::smbstore::urlOf(*address);
            platform::EntryState now;
            const bool folder = r.before.attributes & platform::attr::Directory;
            if ((touching_ && !folder &&
                 platform::smbstore::setWriteTime(url, r.before.lastWrite, r.before, now)) ||
                platform::smbstore::writeWord(url, r.before.attributes, r.before.attributes))
                ++failed;
        }
        arrived_.clear();
        return failed;
    }

private:
    struct Worker {
        pid_t pid;
        int results, go;
        std::string text;
    };

    // Reads what the workers sent, waiting up to \p ms; false when none is left to send more.
    bool pump(int ms) {
        std::vector<pollfd> fds;
        for (const Worker& w : workers_)
            if (w.results >= 0)
                fds.push_back({w.results, POLLIN, 0});
        if (fds.empty())
            return false;
        if (::poll(fds.data(), fds.size(), ms) <= 0)
            return true;
        char buffer[16384];
        for (Worker& w : workers_) {
            if (w.results < 0)
                continue;
            const auto it = std::find_if(fds.begin(), fds.end(),
                                         [&](const pollfd& p) { return p.fd == w.results; });
            if (it == fds.end() || !it->revents)
                continue;
            const ssize_t n = ::read(w.results, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(w.results);
                w.results = -1;
                continue;
            }
            w.text.append(buffer, std::size_t(n));
            for (std::size_t end; (end = w.text.find('\n')) != std::string::npos;) {
                std::size_t row = 0;
                Result r;
                if (parse(w.text.substr(0, end), row, r))
                    arrived_[row] = std::move(r);
                w.text.erase(0, end + 1);
            }
        }
        return true;
    }

    // Lets each worker finish the row it is writing, takes what they sent and reaps them.
    void stop() {
        for (Worker& w : workers_)
            if (w.go >= 0) {
                ::close(w.go);
                w.go = -1;
            }
        while (pump(1000)) {
        }
        for (Worker& w : workers_)
            if (w.pid > 0) {
                ::waitpid(w.pid, nullptr, 0);
                w.pid = -1;
            }
    }

    std::vector<Worker> workers_;
    std::map<std::size_t, Result> arrived_;
    std::map<std::size_t, std::filesystem::path> paths_;
    std::set<std::size_t> local_;
    BoxValues boxes_{};
    platform::LocalTime moment_{};
    bool touching_;
};

} // namespace

std::unique_ptr<ShareBatch>
ShareBatch::start(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
                  const BoxValues& boxes, const platform::LocalTime* moment) {
    return std::make_unique<Batch>(rows, boxes, moment);
}

} // namespace apply
