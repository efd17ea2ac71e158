// The file services both systems build the same way from the pinned entry, and the pool that
// reads many rows at once.
#include "platform/fileservices.h"
#include "platform/rowpool.h"

#include <atomic>
#include <thread>

namespace platform {

std::error_code readAttributes(const fs::path& p, std::uint32_t& word) {
    EntryState state;
    if (auto ec = queryEntry(p, state))
        return ec;
    word = state.attributes;
    return {};
}

std::error_code writeAttributes(const fs::path& p, std::uint32_t word) {
    return PinnedEntry(p).writeAttributes(word);
}

std::error_code setLastWriteTime(const fs::path& p, const LocalTime& t) {
    return PinnedEntry(p).setLastWriteTime(t);
}

std::error_code readLastWriteText(const fs::path& p, std::string& text) {
    EntryState state;
    if (auto ec = queryEntry(p, state))
        return ec;
    text = formatLastWrite(state.lastWrite);
    return {};
}

void inParallel(std::size_t count, std::size_t threads,
                const std::function<void(std::size_t)>& job) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next++) < count;)
            job(k);
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < std::min(count, threads); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers)
        t.join();
}

void RowPool::read(std::size_t threadCount, const Result& result) {
    std::vector<std::pair<std::error_code, EntryState>> states(rows.size());
    inParallel(rows.size(), threadCount, [&](std::size_t k) {
        states[k].first = queryEntry(fs::path(paths[k]), states[k].second);
    });
    for (std::size_t k = 0; k < rows.size(); ++k)
        result(rows[k], states[k].first, states[k].second);
}

} // namespace platform
