#include "apply/sharebatch.h"

#include "platform/shareaddress.h"
#include "platform/smbpool_linux.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <tuple>

namespace apply {

namespace {

namespace smb = platform::smbstore;
using platform::attr::Directory;

constexpr std::uint32_t Classic = platform::attr::ReadOnly | platform::attr::Hidden |
                                  platform::attr::System | platform::attr::Archive;
using Clock = std::chrono::steady_clock;
constexpr auto CheckAlone = std::chrono::milliseconds(250);

std::error_code errorOf(int value) {
    return {value, std::generic_category()};
}

// One row of the run, from its folder's listing to its verified result. A row's word and time
// go in one request; the folder is listed again once its writes are back, and that listing says
// whether the server kept them.
struct Item {
    enum State { Local, Queued, Written, Verifying, Finished };
    std::filesystem::path path;
    std::string url, folder, name;
    State state = Local;
    platform::EntryState before;
    std::uint32_t word = 0;           // sent
    std::optional<std::int64_t> when; // sent
    smb::Pool::Ticket ticket = 0;
    bool sent = false; // a write went out: the entry may have changed
    bool retried = false, lost = false;
    std::chrono::steady_clock::time_point written;
    ShareBatch::Result result;
};

class Batch : public ShareBatch {
public:
    Batch(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
          const BoxValues& boxes, const platform::LocalTime* moment)
        : boxes_(boxes) {
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
        std::vector<std::string> folders;
        std::map<std::string, std::size_t> folderIndex;
        for (const auto& [row, path] : rows) {
            Item& item = items_[row];
            item.path = path;
            const auto address = platform::share::fromRow(path.native());
            if (!address || address->path.empty() || localMoment_)
                continue; // the share itself, or a row the file layer reports on alone
            item.url = smb::urlOf(*address);
            std::tie(item.folder, item.name) = smb::splitUrl(item.url);
            if (folderIndex.emplace(item.folder, folders.size()).second)
                folders.push_back(item.folder);
            rowsIn_[item.folder].push_back(row);
        }
        // The words and times as they are now, by one listing per folder.
        std::vector<smb::Listed> listed;
        smb::listStatesMany(folders, listed);
        smb::Pool& pool = smb::Pool::get();
        pool.reserve(smb::Pool::workersFor(rows.size()));
        for (const auto& [row, path] : rows) {
            Item& item = items_[row];
            if (item.url.empty())
                continue;
            const smb::Listed& folder = listed[folderIndex[item.folder]];
            const auto it = folder.entries.find(item.name);
            if (folder.error == platform::Refusal::SignInCancelled) {
                finish(item, false, folder.error);
                continue;
            }
            if (folder.error || it == folder.entries.end())
                continue; // the file layer says why, at the row's turn
            item.before = it->second;
            const std::uint32_t was = item.before.attributes;
            item.word = smb::wordToSend(was, NewAttributeWord(was, boxes));
            if (touching_ && !(item.before.attributes & Directory))
                item.when = when;
            item.result.before = item.before;
            if (item.word == smb::wordToSend(was, was) && !item.when) {
                finish(item, true, {});
                continue;
            }
            ++pending_[item.folder];
            item.state = Item::Queued;
            item.sent = true;
            item.ticket = pool.write(item.url, item.word, item.when);
            writing_[item.ticket] = row;
        }
    }

    ~Batch() override { stop(); }

    Result take(std::size_t row, const std::function<bool()>& wait) override {
        Item& item = items_[row];
        if (item.state == Item::Local) {
            Result r;
            r.done = ApplyRow(
                item.path, boxes_, touching_ || localMoment_ ? &moment_ : nullptr, [] {},
                r.failure, &r.before);
            return r;
        }
        smb::Pool& pool = smb::Pool::get();
        while (item.state != Item::Finished) {
            // A written row is checked with the rest of its folder, by one listing, unless those
            // take longer than a request or two.
            if (item.state == Item::Written && Clock::now() - item.written > CheckAlone)
                verify(item.folder);
            pool.pump(20);
            collect();
            if (wait && !wait() && item.state != Item::Finished) {
                Result r;
                r.failure.ec = errorOf(ECANCELED);
                return r;
            }
        }
        return item.result;
    }

    void abandon() override {
        smb::Pool::get().end();
        writing_.clear();
        checking_.clear();
    }

    int stopAndUndoAbove(std::size_t row) override {
        stop();
        // What went out for rows above is put back: their word and time as they were.
        smb::Pool& pool = smb::Pool::get();
        std::vector<std::size_t> undone;
        for (auto& [k, item] : items_)
            if (k < row && item.sent) {
                item.state = Item::Queued;
                item.retried = item.lost = false;
                item.word = smb::wordToSend(item.before.attributes, item.before.attributes);
                item.when = item.when ? std::optional(item.before.lastWrite) : std::nullopt;
                item.ticket = pool.write(item.url, item.word, item.when);
                writing_[item.ticket] = k;
                ++pending_[item.folder];
                undone.push_back(k);
            }
        drain();
        return int(std::count_if(undone.begin(), undone.end(),
                                 [&](std::size_t k) { return !items_[k].result.done; }));
    }

private:
    void finish(Item& item, bool done, std::error_code ec) {
        item.state = Item::Finished;
        item.result.done = done;
        item.result.failure.ec = ec;
        item.result.failure.step = Step::Attributes;
    }

    // Lists \p folder again for every row of it whose write is back.
    void verify(const std::string& folder) {
        const smb::Pool::Ticket ticket = smb::Pool::get().list(folder);
        for (const std::size_t k : rowsIn_[folder])
            if (Item& item = items_[k]; item.state == Item::Written) {
                item.state = Item::Verifying;
                item.ticket = ticket;
                checking_[ticket].push_back(k);
            }
    }

    // Takes the answers that came: writes back start their folder's listing once the folder has
    // none left in flight; listings settle their rows.
    void collect() {
        smb::Pool& pool = smb::Pool::get();
        std::set<std::string> ready;
        for (const smb::Pool::Ticket ticket : pool.takeFresh()) {
            if (const auto w = writing_.find(ticket); w != writing_.end()) {
                Item& item = items_[w->second];
                const auto answer = pool.take(ticket);
                // A worker that died (EIO) may or may not have sent it: the same request once
                // more, from another, settles which.
                if (answer->error == std::errc::io_error && !item.retried) {
                    item.retried = true;
                    item.ticket = pool.write(item.url, item.word, item.when);
                    writing_[item.ticket] = w->second;
                    writing_.erase(w);
                    continue;
                }
                writing_.erase(w);
                if (--pending_[item.folder] == 0)
                    ready.insert(item.folder);
                // A second worker lost on it: the folder's listing says what the entry has.
                item.lost = answer->error == std::errc::io_error;
                if (answer->error && !item.lost) { // the server refused it: nothing was done
                    item.sent = false;
                    finish(item, false, answer->error);
                } else {
                    item.state = Item::Written;
                    item.written = Clock::now();
                }
            } else if (const auto c = checking_.find(ticket); c != checking_.end()) {
                const auto answer = pool.take(ticket);
                for (const std::size_t k : c->second)
                    settle(items_[k], *answer);
                checking_.erase(c);
            }
        }
        for (const std::string& folder : ready)
            verify(folder);
    }

    void settle(Item& item, const smb::Listed& listing) {
        const auto now = listing.entries.find(item.name);
        if (listing.error || now == listing.entries.end()) {
            finish(item, false, listing.error ? listing.error : errorOf(ENOENT));
            return;
        }
        const bool wordKept = (now->second.attributes & Classic) == (item.word & Classic);
        const bool timeKept = !item.when || now->second.lastWrite == *item.when;
        if (item.lost && !(wordKept && timeKept)) {
            finish(item, false, errorOf(EIO));
            return;
        }
        finish(item, wordKept && timeKept,
               !wordKept   ? make_error_code(platform::Refusal::NotKept)
               : !timeKept ? make_error_code(platform::Refusal::TimeNotKept)
                           : std::error_code());
        RowFailure& f = item.result.failure;
        if (!timeKept && wordKept) {
            f.step = Step::Time;
            f.keptTime = now->second.lastWrite;
        }
        f.timeSet = !wordKept && item.when && timeKept;
        if (!wordKept && (now->second.attributes & Classic) != (item.before.attributes & Classic))
            f.attributesNow.emplace(now->second.attributes);
    }

    // Waits for every write of the batch in flight, then checks every row written.
    void drain() {
        smb::Pool& pool = smb::Pool::get();
        const auto wait = [&](const auto& requests) {
            while (!requests.empty()) {
                pool.pump(50);
                collect();
            }
        };
        wait(writing_);
        for (auto& [k, item] : items_) // folders whose last writes were withdrawn
            if (item.state == Item::Written)
                verify(item.folder);
        wait(checking_);
    }

    // Sends nothing more; what is in flight comes back and is checked.
    void stop() {
        smb::Pool& pool = smb::Pool::get();
        for (auto it = writing_.begin(); it != writing_.end();) {
            if (pool.cancel(it->first)) {
                Item& item = items_[it->second];
                item.sent = false;
                --pending_[item.folder];
                finish(item, false, errorOf(ECANCELED));
                it = writing_.erase(it);
            } else {
                ++it;
            }
        }
        drain();
    }

    std::map<std::size_t, Item> items_;
    std::map<smb::Pool::Ticket, std::size_t> writing_;
    std::map<smb::Pool::Ticket, std::vector<std::size_t>> checking_;
    std::map<std::string, std::size_t> pending_; // writes in flight, by folder
    std::map<std::string, std::vector<std::size_t>> rowsIn_; // the batch's rows, by folder
    BoxValues boxes_;
    platform::LocalTime moment_{};
    bool touching_ = false, localMoment_ = false;
};

} // namespace

std::unique_ptr<ShareBatch>
ShareBatch::start(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
                  const BoxValues& boxes, const platform::LocalTime* moment) {
    return std::make_unique<Batch>(rows, boxes, moment);
}

} // namespace apply
