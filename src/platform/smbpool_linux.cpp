#include "platform/smbpool_linux.h"


#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sstream>
#include <utility>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::smbstore {

namespace {

// Enough to keep a server 20 ms away busy from a small machine (more only wait for its CPU);
// each holds a connection.
constexpr std::size_t MaxWorkers = 96;

// An error as two words, so that the file layer's own reasons survive the trip.
std::string codeText(const std::error_code& ec) {
    const bool own = ec && ec.category() == make_error_code(Refusal::NotKept).category();
    return std::string(own ? "r " : "g ") + std::to_string(ec.value());
}

std::error_code codeOf(char kind, int value) {
    if (!value)
        return {};
    return kind == 'r' ? make_error_code(static_cast<Refusal>(value))
                       : std::error_code(value, std::generic_category());
}

void sendAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0 && errno != EINTR)
            return;
        done += n > 0 ? std::size_t(n) : 0;
    }
}

// One job, as the worker (or the parent, without workers) does it. Lines: "L <url>", "W <url>
// <word> <time or ->", "A <sign-ins>" (no answer). Answer: "E <name> <word> <time>" lines, then
// ". <kind> <errno>".
std::string doJob(const std::string& line) {
    std::istringstream in(line);
    std::string kind, url;
    in >> kind >> url;
    if (kind == "C") { // connects and lists once now: the first real job finds all ready
        EntryState state;
        std::map<std::string, EntryState> listed;
        std::error_code ec = query(url, state);
        if (!ec)
            ec = listStates(url, listed);
        return ". " + codeText(ec) + "\n";
    }
    if (kind == "L") {
        std::map<std::string, EntryState> listed;
        const auto ec = listStates(url, listed);
        std::string text;
        for (const auto& [name, state] : listed)
            text += "E " + name + " " + std::to_string(state.attributes) + " " +
                    std::to_string(state.lastWrite) + "\n";
        return text + ". " + codeText(ec) + "\n";
    }
    std::uint32_t word = 0;
    std::string time;
    in >> word >> time;
    std::optional<std::int64_t> when;
    if (time != "-")
        when = std::stoll(time);
    return ". " + codeText(writeState(url, word, when)) + "\n";
}

[[noreturn]] void serve(int fd) {
    bool connected = false;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR))
            ::_exit(0); // the parent has gone or let us go
        if (n < 0)
            continue;
        text.append(buffer, std::size_t(n));
        for (std::size_t end; (end = text.find('\n')) != std::string::npos;) {
            const std::string line = text.substr(0, end);
            text.erase(0, end + 1);
            if (!connected) { // on the first job: starting many workers stays quick
                ownConnection();
                connected = true;
            }
            if (line.starts_with("A ")) {
                std::string signIns = line.substr(2);
                std::replace(signIns.begin(), signIns.end(), '|', '\n');
                adoptSignIns(signIns);
                continue;
            }
            const std::string answer = doJob(line);
            for (std::size_t done = 0; done < answer.size();) {
                const ssize_t w = ::write(fd, answer.data() + done, answer.size() - done);
                if (w <= 0)
                    ::_exit(0);
                done += std::size_t(w);
            }
        }
    }
}

// Reads one answer's lines into \p out; true at its last line.
bool parseLine(const std::string& line, Listed& out) {
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    if (kind == "E") {
        std::string name;
        EntryState state;
        if (in >> name >> state.attributes >> state.lastWrite)
            out.entries[name] = state;
        return false;
    }
    char code = 'g';
    int value = EIO;
    in >> code >> value;
    out.error = codeOf(code, value);
    return true;
}

} // namespace

Pool& Pool::get() {
    static Pool pool;
    return pool;
}

bool Pool::start() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The siblings' ends stay theirs: a worker that ends must be seen to end.
        for (const Worker& w : workers_)
            ::close(w.fd);
        ::close(ends[0]);
        serve(ends[1]);
    }
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        return false;
    }
    Worker w;
    w.pid = pid;
    w.fd = ends[0];
    w.signIns = ~0u;
    workers_.push_back(std::move(w));
    return true;
}

std::size_t Pool::workersFor(std::size_t rows) {
    return std::min(MaxWorkers, std::max(std::min<std::size_t>(16, rows / 2), rows / 25));
}

void Pool::reserve(std::size_t count) {
    count = std::min(count, MaxWorkers);
    while (workers_.size() < count && start()) {
    }
}

void Pool::warm(const std::string& url, std::size_t count) {
    // All are started before any is told to connect: a connecting worker's CPU would slow the
    // starting of the next.
    const std::size_t first = workers_.size();
    reserve(count);
    for (std::size_t k = first; k < workers_.size(); ++k) {
        Worker& w = workers_[k];
        w.busy = next_++;
        discarded_.insert(w.busy);
        sendAll(w.fd, signInsFor(w) + "C " + url + "\n");
    }
}

std::string Pool::signInsFor(Worker& w) {
    if (w.signIns == signInsGeneration())
        return {};
    w.signIns = signInsGeneration();
    std::string signIns = signInsText(); // one line: its records apart by "|"
    std::replace(signIns.begin(), signIns.end(), '\n', '|');
    return "A " + signIns + "\n";
}

Pool::Ticket Pool::queue(std::string line) {
    const Ticket ticket = next_++;
    queue_.push_back({ticket, std::move(line)});
    dispatch();
    return ticket;
}

Pool::Ticket Pool::list(const std::string& folderUrl) {
    return queue("L " + folderUrl + "\n");
}

Pool::Ticket Pool::write(const std::string& url, std::uint32_t word,
                         std::optional<std::int64_t> when) {
    return queue("W " + url + " " + std::to_string(word) + " " +
                 (when ? std::to_string(*when) : std::string("-")) + "\n");
}

bool Pool::cancel(Ticket ticket) {
    const auto it = std::find_if(queue_.begin(), queue_.end(),
                                 [&](const Job& j) { return j.ticket == ticket; });
    if (it == queue_.end())
        return false;
    queue_.erase(it);
    return true;
}

void Pool::answer(Ticket ticket, Listed answer) {
    answers_[ticket] = std::move(answer);
    fresh_.push_back(ticket);
}

std::vector<Pool::Ticket> Pool::takeFresh() {
    return std::exchange(fresh_, {});
}

std::optional<Listed> Pool::take(Ticket ticket) {
    const auto it = answers_.find(ticket);
    if (it == answers_.end())
        return std::nullopt;
    Listed answer = std::move(it->second);
    answers_.erase(it);
    return answer;
}

void Pool::dispatch() {
    for (Worker& w : workers_) {
        if (queue_.empty())
            return;
        if (w.busy || w.fd < 0)
            continue;
        w.busy = queue_.front().ticket;
        sendAll(w.fd, signInsFor(w) + queue_.front().line); // what the parent was told, first
        queue_.pop_front();
        w.answer = {};
    }
}

void Pool::lost(Worker& w) {
    if (w.busy && !discarded_.erase(w.busy))
        answer(w.busy, {std::error_code(EIO, std::generic_category()), {}});
    w.busy = 0;
    ::close(w.fd);
    w.fd = -1;
    ::waitpid(w.pid, nullptr, 0);
}

void Pool::readFrom(Worker& w) {
    char buffer[65536];
    const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        lost(w);
        return;
    }
    w.text.append(buffer, std::size_t(n));
    std::size_t start = 0;
    for (std::size_t end; (end = w.text.find('\n', start)) != std::string::npos; start = end + 1) {
        if (parseLine(w.text.substr(start, end - start), w.answer) && w.busy) {
            if (!discarded_.erase(w.busy))
                answer(w.busy, std::move(w.answer));
            w.answer = {};
            w.busy = 0;
        }
    }
    w.text.erase(0, start);
}

void Pool::pump(int ms) {
    std::erase_if(workers_, [](const Worker& w) { return w.fd < 0; });
    dispatch();
    if (workers_.empty()) {
        if (!queue_.empty()) { // nobody to hand it to: done here, one job a call
            Listed answer;
            std::istringstream lines(doJob(queue_.front().line));
            for (std::string line; std::getline(lines, line);)
                parseLine(line, answer);
            this->answer(queue_.front().ticket, std::move(answer));
            queue_.pop_front();
        }
        return;
    }
    std::vector<pollfd> fds;
    for (const Worker& w : workers_)
        if (w.busy)
            fds.push_back({w.fd, POLLIN, 0});
    if (fds.empty())
        return;
    if (::poll(fds.data(), fds.size(), ms) <= 0)
        return;
    for (Worker& w : workers_) {
        const auto it = std::find_if(fds.begin(), fds.end(),
                                     [&](const pollfd& p) { return p.fd == w.fd; });
        if (it != fds.end() && it->revents)
            readFrom(w);
    }
    dispatch();
}

void Pool::settle() {
    while (!queue_.empty() ||
           std::any_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.busy; }))
        pump(-1);
}

void Pool::end() {
    for (Worker& w : workers_)
        if (w.pid > 0)
            ::kill(w.pid, SIGKILL);
    for (Worker& w : workers_)
        lost(w);
    workers_.clear();
    for (const Job& j : queue_)
        answer(j.ticket, {std::error_code(ECANCELED, std::generic_category()), {}});
    queue_.clear();
}

} // namespace platform::smbstore
