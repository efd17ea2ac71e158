// The rows of a run written many at a time where each call waits for a network: rows on SMB
// shares (Linux) many in flight on the share's connection, rows on network and FUSE mounts by a
// pool of threads. The run still takes the rows' results in its own order, from the bottom up,
// asks at a failed row as it does for any row, and after "Nein" no row above it stays changed.
#pragma once

#include "apply/attributeword.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace apply {

class RowBatch {
public:
    struct Result {
        bool done = false;
        RowFailure failure;
        platform::EntryState before;               ///< what the entry had, where it could be read
        std::optional<platform::EntryState> after; ///< what the writes read back, where known
    };

    using Rows = std::vector<std::pair<std::size_t, std::filesystem::path>>;

    /// Share rows: lists the folders of \p rows (each a row's number and path) and starts
    /// sending their writes, in the order given; nullptr where this system writes shares itself.
    static std::unique_ptr<RowBatch> onShares(const Rows& rows, const BoxValues& boxes,
                                              const platform::LocalTime* moment);

    /// Rows on network mounts: a pool of threads applies \p rows in the order given, a window
    /// of them ahead of the row taken last.
    static std::unique_ptr<RowBatch> onNetworkMounts(const Rows& rows, const BoxValues& boxes,
                                                     const platform::LocalTime* moment);
    virtual ~RowBatch() = default;

    /// The result of row \p row, waiting for it; \p wait runs while nothing has come, and
    /// its false gives up waiting (the row then fails with ECANCELED).
    virtual Result take(std::size_t row, const std::function<bool()>& wait) = 0;

    /// Sends nothing more and waits for nothing in flight (the program ends).
    virtual void abandon() = 0;

    /// Sends nothing more, waits for what is in flight, and puts every row whose number is below
    /// \p row (above it in the list) and that may have changed back as it was, its word and its
    /// time exactly. Returns how many could not be put back.
    virtual int stopAndUndoAbove(std::size_t row) = 0;
};

} // namespace apply
