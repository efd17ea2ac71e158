// Worker processes that talk to SMB shares side by side, kept warm from the first share on: on
// a share the round trip sets the pace, so many requests must be in flight, and Samba's client
// library is safe only with one context per process. Each worker holds a connection of its own
// and does one job at a time; the parent queues jobs and takes their answers.
#pragma once

#include "platform/smbstore_linux.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::smbstore {

class Pool {
public:
    using Ticket = std::uint64_t;

    /// The process's pool; its workers end with the process (or end()).
    static Pool& get();

    /// How many workers a run of \p rows on shares is worth.
    static std::size_t workersFor(std::size_t rows);

    /// At least \p workers running (as many as can be started, up to a limit).
    void reserve(std::size_t workers);
    /// Starts workers up to \p workers that connect to the share of \p url at once, in the
    /// background: a run that follows finds them ready.
    void warm(const std::string& url, std::size_t workers);

    /// Queues a listing of a folder (Listed::entries as listStates() gives them).
    Ticket list(const std::string& folderUrl);
    /// Queues a write of \p url's whole word \p word and, where given, its last-write time
    /// (writeState()); nothing is read back.
    Ticket write(const std::string& url, std::uint32_t word, std::optional<std::int64_t> when);

    /// Forgets a job not yet handed to a worker; false when it is in flight or finished.
    bool cancel(Ticket ticket);
    /// Whether the job is finished (its answer waits for take()).
    bool finished(Ticket ticket) const { return answers_.contains(ticket); }
    /// The answer of a finished job, once.
    std::optional<Listed> take(Ticket ticket);
    /// The jobs finished since the last call, in the order they finished: a caller with many
    /// jobs in flight looks at these rather than at all of its own.
    std::vector<Ticket> takeFresh();

    /// Hands queued jobs to idle workers and waits up to \p ms for answers (-1: until one
    /// comes). Without a worker the next queued job is done here.
    void pump(int ms);

    /// Waits until no job is queued or running.
    void settle();

    /// Stops every worker at once and reaps them; queued and running jobs fail.
    void end();

    ~Pool() { end(); }

private:
    struct Job {
        Ticket ticket;
        std::string line;
    };
    struct Worker {
        int pid = -1;
        int fd = -1;
        unsigned signIns = 0; ///< generation of the sign-ins it has
        Ticket busy = 0;
        std::string text;
        Listed answer;
    };
    Ticket queue(std::string line);
    void answer(Ticket ticket, Listed answer);
    void dispatch();
    void readFrom(Worker& w);
    void lost(Worker& w);
    std::string signInsFor(Worker& w); // the sign-ins it lacks, as a line to send
    bool start();

    std::vector<Worker> workers_;
    std::deque<Job> queue_;
    std::map<Ticket, Listed> answers_;
    std::set<Ticket> discarded_; // answers nobody waits for
    std::vector<Ticket> fresh_;
    Ticket next_ = 1;
};

} // namespace platform::smbstore
