// Rows read by several threads at once: on network mounts many, as each call waits for a round
// trip and nothing about the rows asks them to wait for each other; on a local disk one a core.
// The results are handed on from the calling thread. Internal to src/platform.
#pragma once

#include "platform/fileservices.h"

#include <vector>

namespace platform {

/// Runs \p job for every index below \p count, on up to \p threads threads (the calling one too).
void inParallel(std::size_t count, std::size_t threads,
                const std::function<void(std::size_t)>& job);

struct RowPool {
    using Result = std::function<void(std::size_t, std::error_code, const EntryState&)>;
    std::vector<std::size_t> rows;
    std::vector<fs::path::string_type> paths; // as given: a path is split only where needed

    void add(std::size_t row, fs::path::string_type path) {
        rows.push_back(row);
        paths.push_back(std::move(path));
    }
    void read(std::size_t threadCount, const Result& result);
};

} // namespace platform
