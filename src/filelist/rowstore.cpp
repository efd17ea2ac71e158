#include "filelist/rowstore.h"

#include "platform/fileservices.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace filelist {

namespace {

constexpr std::size_t InitialSlots = 64;

std::uint32_t hashOf(const PathString& path) {
    const std::size_t h = platform::pathHash(path);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

constexpr std::uint32_t LetterBits[4] = {platform::attr::ReadOnly, platform::attr::Archive,
                                         platform::attr::System, platform::attr::Hidden};

} // namespace

std::string CellText(const Row& row, int column) {
    switch (column) {
    case TypeColumn:
        return row.isFolder ? "Ordner" : "Datei";
    case NameColumn:
        return platform::displayText(std::filesystem::path(row.path));
    case DateColumn:
        switch (row.state) {
        case RowState::Missing:
            return "nicht gefunden";
        case RowState::Unreadable:
            return "kein Zugriff";
        case RowState::Unread:
            return {};
        case RowState::Present:
            break;
        }
        return platform::formatLastWrite(row.lastWrite);
    default: {
        const int k = column - RColumn;
        if (k < 0 || k > 3 || row.state != RowState::Present || !(row.attributes & LetterBits[k]))
            return {};
        return std::string(1, "RASH"[k]);
    }
    }
}

RowStore::RowStore() : slots_(InitialSlots, 0) {}

std::size_t RowStore::findSlot(const PathString& path, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i] != 0) {
        const Row& row = rows_[slots_[i] - 1];
        if (row.hash == hash && platform::samePath(row.path, path))
            return i;
        i = (i + 1) & mask;
    }
    return i;
}

bool RowStore::contains(const PathString& path) const {
    return slots_[findSlot(path, hashOf(path))] != 0;
}

void RowStore::indexInsert(std::uint32_t storageIndex) {
    // Keep the load at most one half so that probe runs stay short.
    if ((indexed_ + 1) * 2 > slots_.size()) {
        slots_.assign(slots_.size() * 2, 0);
        indexed_ = 0;
        for (std::uint32_t s = 0; s < rows_.size(); ++s) {
            if (s == storageIndex)
                continue;
            slots_[findSlot(rows_[s].path, rows_[s].hash)] = s + 1;
            ++indexed_;
        }
    }
    const Row& row = rows_[storageIndex];
    slots_[findSlot(row.path, row.hash)] = storageIndex + 1;
    ++indexed_;
}

bool RowStore::insertTop(PathString path, bool isFolder) {
    const std::uint32_t hash = hashOf(path);
    const std::size_t slot = findSlot(path, hash);
    if (slots_[slot] != 0)
        return false;
    Row row;
    row.path = std::move(path);
    row.hash = hash;
    row.isFolder = isFolder;
    row.marked = true;
    rows_.push_back(std::move(row));
    const auto storageIndex = static_cast<std::uint32_t>(rows_.size() - 1);
    indexInsert(storageIndex);
    order_.push_front(storageIndex);
    return true;
}

void RowStore::clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    order_.clear();
    order_.shrink_to_fit();
    slots_.assign(InitialSlots, 0);
    indexed_ = 0;
}

std::size_t RowStore::removeMarked() {
    // Compact the storage in display order, so that storage and display agree afterwards.
    std::vector<Row> kept;
    kept.reserve(order_.size());
    for (std::uint32_t s : order_) {
        if (!rows_[s].marked)
            kept.push_back(std::move(rows_[s]));
    }
    const std::size_t removed = rows_.size() - kept.size();
    rows_ = std::move(kept);
    order_.clear();
    for (std::uint32_t i = 0; i < rows_.size(); ++i)
        order_.push_back(i);
    rebuildIndex();
    return removed;
}

void RowStore::rebuildIndex() {
    std::size_t n = InitialSlots;
    while (n < rows_.size() * 2 + 2)
        n *= 2;
    slots_.assign(n, 0);
    indexed_ = 0;
    for (std::uint32_t s = 0; s < rows_.size(); ++s) {
        slots_[findSlot(rows_[s].path, rows_[s].hash)] = s + 1;
        ++indexed_;
    }
}

void RowStore::markAll(bool marked) {
    for (Row& row : rows_)
        row.marked = marked;
}

void RowStore::invertMarks() {
    for (Row& row : rows_)
        row.marked = !row.marked;
}

std::size_t RowStore::markedCount() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.marked; }));
}

void RowStore::reorder(const std::vector<std::uint32_t>& permutation) {
    assert(permutation.size() == order_.size());
    std::deque<std::uint32_t> next;
    for (std::uint32_t position : permutation)
        next.push_back(order_[position]);
    order_ = std::move(next);
}

std::size_t RowStore::overheadBytes() const {
    return rows_.capacity() * sizeof(Row) + order_.size() * sizeof(std::uint32_t) +
           slots_.capacity() * sizeof(std::uint32_t);
}

} // namespace filelist
