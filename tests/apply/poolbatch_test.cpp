// The run's rows written by a pool of threads ahead of the one it takes: results in the run's
// order, a failure at its own row, and after "Nein" every row above it as it was, its time to
// the system's last digit.
#include "apply/rowbatch.h"
#include "platform/scratch.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using apply::Tri;

TEST(PoolBatch, NoAtAFailedRowLeavesEveryRowAboveAsItWas) {
    scratch::Folder dir;
    apply::RowBatch::Rows rows; // from the bottom of the list up
    std::map<std::size_t, scratch::RawTimes> before;
    for (std::size_t k = 150; k >= 1; --k) {
        const fs::path f = k == 100 ? dir.path() / "weg" : dir.file("f" + std::to_string(k));
        rows.emplace_back(k, f);
        if (k != 100)
            before[k] = scratch::rawTimes(f);
    }
    const LocalTime moment{12, 0, 0, 15, 1, 2021};
    const auto pool = apply::RowBatch::onNetworkMounts(
        rows, {Tri::Grayed, Tri::Grayed, Tri::Checked, Tri::Checked}, &moment);
    for (const auto& [k, path] : rows) {
        const auto result = pool->take(k, {});
        ASSERT_EQ(result.done, k != 100) << k;
        if (!result.done) {
            EXPECT_EQ(result.failure.ec, std::errc::no_such_file_or_directory);
            EXPECT_EQ(pool->stopAndUndoAbove(k), 0);
            break;
        }
    }
    for (const auto& [k, path] : rows) {
        if (k == 100)
            continue;
        const bool written = k > 100;
        EXPECT_EQ(scratch::wordOf(path) & (attr::Hidden | attr::System),
                  written ? attr::Hidden | attr::System : 0)
            << k;
        EXPECT_EQ(scratch::rawTimes(path).write == before[k].write, !written) << k;
    }
}

} // namespace
