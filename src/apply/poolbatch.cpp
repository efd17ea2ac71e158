#include "apply/rowbatch.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace apply {

namespace {

// Rows in flight ahead of the one the run waits for, and the threads that write them: on a
// mount with a 10 ms round trip a run of 2,000 rows took 6.5 s with 32 and 3.5 s with 64; a
// window twice as wide keeps them busy while the run takes results, and keeps what "Nein" has
// to put back small.
constexpr std::size_t Threads = 64;
constexpr std::size_t Window = 128;

class PoolBatch : public RowBatch {
public:
    PoolBatch(const Rows& rows, const BoxValues& boxes, const platform::LocalTime* moment)
        : boxes_(boxes), touching_(moment != nullptr),
          moment_(moment ? *moment : platform::LocalTime{}) {
        for (const auto& [row, path] : rows) {
            items_[row].path = path;
            items_[row].position = order_.size();
            order_.push_back(row);
        }
        for (std::size_t t = 0; t < std::min(Threads, rows.size()); ++t)
            threads_.emplace_back([this] { work(); });
    }

    ~PoolBatch() override { stop(); }

    Result take(std::size_t row, const std::function<bool()>& wait) override {
        std::unique_lock lock(mutex_);
        Item& item = items_.at(row);
        taken_ = std::max(taken_, item.position + 1);
        changed_.notify_all();
        while (!item.finished) {
            changed_.wait_for(lock, std::chrono::milliseconds(20));
            if (!item.finished && wait) {
                lock.unlock();
                const bool goOn = wait();
                lock.lock();
                if (!goOn && !item.finished) {
                    Result r;
                    r.failure.ec = std::make_error_code(std::errc::operation_canceled);
                    return r;
                }
            }
        }
        return item.result;
    }

    // The program ends: no row more is started; the threads end after the one each writes.
    void abandon() override {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

    int stopAndUndoAbove(std::size_t row) override {
        stop();
        std::vector<Item*> undo;
        for (auto& [k, item] : items_)
            if (k < row && item.started && item.read)
                undo.push_back(&item);
        // As many at a time as were written: each waits for the network as much.
        std::atomic<std::size_t> next{0};
        std::atomic<int> left{0};
        const auto work = [&] {
            for (std::size_t k; (k = next++) < undo.size();)
                left += restore(*undo[k]) ? 0 : 1;
        };
        std::vector<std::thread> helpers;
        for (std::size_t t = 1; t < std::min(Threads, undo.size()); ++t)
            helpers.emplace_back(work);
        work();
        for (std::thread& t : helpers)
            t.join();
        return left;
    }

private:
    struct Item {
        std::filesystem::path path;
        std::size_t position = 0;
        bool started = false, finished = false;
        bool read = false; // its state was read before anything was written
        Result result;
    };

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] {
                return stopping_ || (next_ < order_.size() && next_ < taken_ + Window);
            });
            if (stopping_)
                return;
            Item& item = items_.at(order_[next_++]);
            item.started = true;
            lock.unlock();
            Result r;
            r.before.attributes = ~0u; // not read
            r.done = ApplyRow(
                item.path, boxes_, touching_ ? &moment_ : nullptr, [] {}, r.failure, &r.before,
                &r.after);
            lock.lock();
            item.read = r.before.attributes != ~0u;
            item.result = std::move(r);
            item.finished = true;
            changed_.notify_all();
        }
    }

    // The entry's old state in hand: its word, and its time to the nanosecond.
    bool restore(const Item& item) const {
        const Result& r = item.result;
        platform::PinnedEntry entry(item.path);
        const bool touched = touching_ && !(r.before.attributes & platform::attr::Directory);
        return !entry.error() && !(touched && entry.restoreLastWrite(r.before)) &&
               !entry.writeAttributes(r.before.attributes);
    }

    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            changed_.notify_all();
        }
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
    }

    platform::FolderChecks folders_; // for as long as the threads run: declared before them
    BoxValues boxes_;
    bool touching_;
    platform::LocalTime moment_;
    std::map<std::size_t, Item> items_;
    std::vector<std::size_t> order_; // the rows, in the order they are applied
    std::size_t next_ = 0, taken_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
};

} // namespace

std::unique_ptr<RowBatch> RowBatch::onNetworkMounts(const Rows& rows, const BoxValues& boxes,
                                                    const platform::LocalTime* moment) {
    return std::make_unique<PoolBatch>(rows, boxes, moment);
}

} // namespace apply
