// The rows of a run that lie on SMB shares (Linux), many in flight on the share's connection: on
// a share the round trips, not the disk, set the pace. The run still takes the rows' results in
// its own order, from the bottom up, and asks at a failed row as it does for any row.
#pragma once

#include "apply/attributeword.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace apply {

class ShareBatch {
public:
    struct Result {
        bool done = false;
        RowFailure failure;
        platform::EntryState before; ///< what the entry had, where it could be read
    };

    /// Lists the folders of \p rows (each a row's number and path) and starts sending their
    /// writes, in the order given; nullptr where this system writes shares itself.
    static std::unique_ptr<ShareBatch>
    start(const std::vector<std::pair<std::size_t, std::filesystem::path>>& rows,
          const BoxValues& boxes, const platform::LocalTime* moment);
    virtual ~ShareBatch() = default;

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
