// The rows of the file list, without Qt: compact rows, the display order, the marks and the
// duplicate index. Built for lists of a million rows: inserting at the top, the duplicate test,
// marking and removing are all O(1) per row, never a scan of the whole list per row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <vector>

namespace filelist {

using PathString = std::filesystem::path::string_type;

/// What the last re-reading of a row's entry found.
enum class RowState : std::uint8_t {
    Unread,     ///< added, not yet re-read: letters and date are empty
    Present,    ///< attributes and lastWrite are current
    Missing,    ///< the entry has vanished
    Unreadable, ///< the entry is there but cannot be read (no access, an I/O error)
};

struct Row {
    PathString path;            ///< exactly as dropped, in the platform's own form
    std::int64_t lastWrite = 0; ///< seconds since 1970 UTC, when Present
    std::uint32_t attributes = 0;
    std::uint32_t hash = 0; ///< of path, for the duplicate index
    bool isFolder = false;
    bool marked = false;
    RowState state = RowState::Unread;
};

class RowStore {
public:
    RowStore();

    std::size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }

    /// The row at display position \p position (0 = top).
    const Row& at(std::size_t position) const { return rows_[order_[position]]; }
    Row& at(std::size_t position) { return rows_[order_[position]]; }

    /// Whether some row holds \p path (compared the way the platform compares paths).
    bool contains(const PathString& path) const;

    /// Inserts a marked row at the top, unless the path is listed already.
    /// @return false for a duplicate; nothing changes then.
    bool insertTop(PathString path, bool isFolder);

    void clear();

    /// Removes every marked row, keeping the order of the others.
    /// @return the number of rows removed.
    std::size_t removeMarked();

    void markAll(bool marked);
    void invertMarks();
    std::size_t markedCount() const;

    /// Puts the rows into a new display order: \p permutation[i] is the current position of the
    /// row that goes to position i. It must be a permutation of 0..size()-1.
    void reorder(const std::vector<std::uint32_t>& permutation);

    /// Calls \p f for every row, in storage order (faster than display order for a full pass).
    template <typename F> void forEachRow(F&& f) {
        for (Row& row : rows_)
            f(row);
    }

    /// Bytes held for the rows, beside the paths' own storage.
    std::size_t overheadBytes() const;

private:
    std::size_t findSlot(const PathString& path, std::uint32_t hash) const;
    void indexInsert(std::uint32_t storageIndex);
    void rebuildIndex();

    std::vector<Row> rows_;            // storage; display order is in order_
    std::deque<std::uint32_t> order_;  // display position -> storage index
    std::vector<std::uint32_t> slots_; // open addressing over storage index + 1; 0 = empty
    std::size_t indexed_ = 0;
};

} // namespace filelist
