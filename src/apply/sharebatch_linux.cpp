#include "apply/rowbatch.h"

#include "share/address.h"
#include "share/client.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <mutex>

namespace apply {

namespace {

namespace wire = share::wire;
using platform::attr::Directory;

using platform::attr::Classic, platform::attr::Normal;
// Rows sent ahead of the one the run waits for: enough to hide the round trips, few enough
// that "Nein" leaves little to put back.
constexpr std::size_t Window = 1024;

std::error_code errorOf(int value) {
    return {value, std::generic_category()};
}

platform::EntryState stateOf(const wire::BasicInfo& info) {
    return {info.attributes & ~Normal, share::unixSecondsOf(info.write)};
}

bool lost(std::error_code ec) {
    return ec == std::errc::timed_out || ec == std::errc::connection_reset;
}

// What the connections' threads hand back: shared with their callbacks, which may come after
// the run has gone (the program ends with requests in flight).
struct Inbox {
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<std::size_t, std::pair<std::error_code, share::Entry>> results;
};

// One row of the run: its entry as its folder's listing gave it, and what its compound sends.
struct Item {
    std::filesystem::path path;
    std::optional<share::Address> address;
    bool local = true;   // written by ApplyRow at its turn
    bool queued = false; // waiting for its turn to be sent
    bool sent = false;   // a request went out: the entry may have changed
    bool finished = false;
    share::Entry before;
    wire::BasicInfo set;
    RowBatch::Result result;
};

class Batch : public RowBatch {
public:
    Batch(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
          const BoxValues& boxes, const platform::LocalTime* moment)
        : boxes_(boxes), inbox_(std::make_shared<Inbox>()) {
        std::int64_t when = 0;
        if (moment) {
            moment_ = *moment;
            std::time_t t = 0;
            if (!platform::utcOf(*moment, t)) {
                when = t;
                touching_ = true;
            } else {
                localMoment_ = true; // each row reports the date in words, at its turn
            }
        }
        // The words and times as they are now, by one listing per folder, all in flight.
        std::vector<share::Address> folders;
        std::map<std::string, std::size_t> folderIndex;
        std::vector<std::pair<std::size_t, std::string>> named; // row, name in its folder
        for (const auto& [row, path] : rows) {
            Item& item = items_[row];
            item.path = path;
            item.address = share::fromRow(path.native());
            if (!item.address || item.address->path.empty() || localMoment_)
                continue; // the share itself, or a row the file layer reports on alone
            share::Address folder = *item.address;
            const std::size_t slash = folder.path.rfind('/');
            const std::string name = folder.path.substr(slash + 1);
            folder.path.erase(slash);
            const auto [it, added] = folderIndex.emplace(share::rowText(folder), folders.size());
            if (added)
                folders.push_back(folder);
            named.emplace_back(row, name);
            item.local = false;
        }
        std::vector<share::Listed> listed;
        share::listMany(folders, listed);
        std::size_t k = 0;
        for (const auto& [row, path] : rows) {
            Item& item = items_[row];
            if (item.local)
                continue;
            const auto& [r, name] = named[k++];
            share::Address folder = *item.address;
            folder.path.erase(folder.path.rfind('/'));
            const share::Listed& list = listed[folderIndex[share::rowText(folder)]];
            if (list.error == platform::Refusal::SignInCancelled) {
                finish(item, false, list.error);
                continue;
            }
            const auto found = std::find_if(
                list.entries.begin(), list.entries.end(),
                [&, &name = name](const wire::DirectoryEntry& e) { return e.name == name; });
            if (list.error || found == list.entries.end()) {
                item.local = true; // the file layer says why, at the row's turn
                continue;
            }
            item.before.info = found->info;
            item.result.before = stateOf(item.before.info);
            const std::uint32_t was = item.before.info.attributes;
            const std::uint32_t word = share::wordToSend(was, NewAttributeWord(was, boxes));
            if (word != share::wordToSend(was, was))
                item.set.attributes = word;
            if (touching_ && !(was & Directory)) {
                item.set.write = share::fileTimeOf(when);
                item.set.creation = share::creationToKeep(item.before.info, item.set);
            }
            if (!item.set.attributes && !item.set.write) {
                finish(item, true, {});
                continue;
            }
            item.queued = true;
            order_.push_back(row);
        }
        sendAhead();
    }

    ~Batch() override {
        if (!abandoned_)
            waitForAll();
    }

    Result take(std::size_t row, const std::function<bool()>& wait) override {
        Item& item = items_[row];
        if (item.local) {
            Result r;
            r.done = ApplyRow(
                item.path, boxes_, touching_ || localMoment_ ? &moment_ : nullptr, [] {}, r.failure,
                &r.before);
            return r;
        }
        while (!item.finished) {
            sendAhead();
            std::optional<std::pair<std::error_code, share::Entry>> answer;
            {
                std::unique_lock lock(inbox_->mutex);
                inbox_->arrived.wait_for(lock, std::chrono::milliseconds(20),
                                         [&] { return inbox_->results.contains(row); });
                if (const auto it = inbox_->results.find(row); it != inbox_->results.end()) {
                    answer = std::move(it->second);
                    inbox_->results.erase(it);
                }
            }
            if (answer) {
                settle(item, answer->first, answer->second);
                --inFlight_;
                break;
            }
            if (wait && !wait()) {
                Result r;
                r.failure.ec = errorOf(ECANCELED);
                return r;
            }
        }
        return item.result;
    }

    // The program ends: what is in flight is left to the connections, which end with it.
    void abandon() override { stopped_ = abandoned_ = true; }

    int stopAndUndoAbove(std::size_t row) override {
        stopped_ = true;
        waitForAll();
        // What went out for rows above is put back: their word and time as they were.
        std::vector<std::size_t> undo;
        for (auto& [k, item] : items_) {
            if (k >= row || !item.sent)
                continue;
            wire::BasicInfo back;
            if (item.set.attributes)
                back.attributes =
                    share::wordToSend(item.before.info.attributes, item.before.info.attributes);
            if (item.set.write) {
                back.write = item.before.info.write;
                back.creation = item.set.creation;
            }
            item.set = back;
            item.finished = false;
            item.sent = true;
            ++inFlight_;
            send(k, item);
            undo.push_back(k);
        }
        int left = 0;
        for (const std::size_t k : undo) {
            Item& item = items_[k];
            const auto answer = awaitAnswer(k);
            settle(item, answer.first, answer.second);
            --inFlight_;
            left += item.result.done ? 0 : 1;
        }
        return left;
    }

private:
    void finish(Item& item, bool done, std::error_code ec) {
        item.finished = true;
        item.result.done = done;
        item.result.failure.ec = ec;
        item.result.failure.step = Step::Attributes;
    }

    void send(std::size_t row, Item& item) {
        item.sent = true;
        const auto inbox = inbox_;
        share::writeAsync(*item.address, item.set,
                          [inbox, row](std::error_code ec, const share::Entry& e) {
                              std::lock_guard lock(inbox->mutex);
                              inbox->results[row] = {ec, e};
                              inbox->arrived.notify_all();
                          });
    }

    // Keeps a window of rows in flight below the one the run takes next.
    void sendAhead() {
        while (!stopped_ && next_ < order_.size() && inFlight_ < Window) {
            const std::size_t row = order_[next_++];
            Item& item = items_[row];
            item.queued = false;
            ++inFlight_;
            send(row, item);
        }
    }

    std::pair<std::error_code, share::Entry> awaitAnswer(std::size_t row) {
        std::unique_lock lock(inbox_->mutex);
        inbox_->arrived.wait(lock, [&] { return inbox_->results.contains(row); });
        auto answer = std::move(inbox_->results[row]);
        inbox_->results.erase(row);
        return answer;
    }

    // Every request out has come back, and its row is settled.
    void waitForAll() {
        for (auto& [k, item] : items_)
            if (item.sent && !item.finished) {
                const auto answer = awaitAnswer(k);
                settle(item, answer.first, answer.second);
                --inFlight_;
            }
    }

    // What the compound's read-back says of the row; a lost answer is settled by reading the
    // entry afresh, and a row is failed as unchanged only when it is known to be.
    void settle(Item& item, std::error_code ec, share::Entry now) {
        if (lost(ec)) {
            if (share::settle(*item.address, ec, now)) {
                finish(item, false, ec); // it may have changed: the undo covers it
                return;
            }
            const bool unchanged =
                (now.info.attributes & Classic) == (item.before.info.attributes & Classic) &&
                now.info.write == item.before.info.write;
            if (unchanged && !wanted(now.info, item.set)) {
                finish(item, false, ec); // still sent: the undo puts it back all the same
                return;
            }
            ec = {};
        } else if (ec) { // the server refused it: nothing was done
            item.sent = false;
            finish(item, false, ec);
            return;
        }
        const bool wordKept = !item.set.attributes ||
                              (now.info.attributes & Classic) == (item.set.attributes & Classic);
        const bool timeKept = !item.set.write || now.info.write == item.set.write;
        finish(item, wordKept && timeKept,
               !wordKept   ? make_error_code(platform::Refusal::NotKept)
               : !timeKept ? make_error_code(platform::Refusal::TimeNotKept)
                           : std::error_code());
        RowFailure& f = item.result.failure;
        if (!timeKept && wordKept) {
            f.step = Step::Time;
            f.keptTime = share::unixSecondsOf(now.info.write);
        }
        f.timeSet = !wordKept && item.set.write && timeKept;
        if (!wordKept && (now.info.attributes & Classic) != (item.before.info.attributes & Classic))
            f.attributesNow.emplace(now.info.attributes & ~Normal);
    }

    static bool wanted(const wire::BasicInfo& now, const wire::BasicInfo& set) {
        return (!set.attributes || (now.attributes & Classic) == (set.attributes & Classic)) &&
               (!set.write || now.write == set.write);
    }

    std::map<std::size_t, Item> items_;
    std::vector<std::size_t> order_; // the rows to send, bottom up
    std::size_t next_ = 0, inFlight_ = 0;
    bool stopped_ = false, abandoned_ = false;
    BoxValues boxes_;
    platform::LocalTime moment_{};
    bool touching_ = false, localMoment_ = false;
    std::shared_ptr<Inbox> inbox_;
};

} // namespace

std::unique_ptr<RowBatch> RowBatch::onShares(const Rows& rows, const BoxValues& boxes,
                                             const platform::LocalTime* moment) {
    return std::make_unique<Batch>(rows, boxes, moment);
}

} // namespace apply
