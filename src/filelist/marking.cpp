#include "filelist/marking.h"

#include <algorithm>

namespace filelist {

bool Marking::setMark(std::size_t position, bool marked) {
    Row& row = rows_.at(position);
    const bool changed = row.marked != marked;
    row.marked = marked;
    return changed;
}

bool Marking::markRange(std::size_t from, std::size_t to, bool exclusive) {
    const auto [low, high] = std::minmax(from, to);
    bool changed = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (i >= low && i <= high)
            changed |= setMark(i, true);
        else if (exclusive)
            changed |= setMark(i, false);
    }
    return changed;
}

void Marking::click(std::size_t position, bool ctrl, bool shift) {
    if (position >= rows_.size()) {
        if (!ctrl && !shift)
            rows_.markAll(false);
        return;
    }
    if (shift && anchor_ < rows_.size()) {
        markRange(anchor_, position, !ctrl);
    } else if (ctrl) {
        setMark(position, !rows_.at(position).marked);
        anchor_ = position;
    } else {
        markRange(position, position, true);
        anchor_ = position;
    }
    current_ = position;
}

bool Marking::key(ListKey key, bool ctrl, bool shift, std::size_t pageRows) {
    const std::size_t n = rows_.size();
    if (n == 0)
        return false;
    if (key == ListKey::SelectAll) {
        const bool changed = rows_.markedCount() != n;
        rows_.markAll(true);
        return changed;
    }
    const std::size_t from = current_ < n ? current_ : 0;
    if (key == ListKey::Space) {
        current_ = from;
        return setMark(from, ctrl ? !rows_.at(from).marked : true);
    }
    const std::size_t page = std::max<std::size_t>(pageRows, 2) - 1;
    std::size_t to = from;
    switch (key) {
    case ListKey::Up:
        to = from > 0 ? from - 1 : 0;
        break;
    case ListKey::Down:
        to = std::min(from + 1, n - 1);
        break;
    case ListKey::PageUp:
        to = from > page ? from - page : 0;
        break;
    case ListKey::PageDown:
        to = std::min(from + page, n - 1);
        break;
    case ListKey::Home:
        to = 0;
        break;
    default:
        to = n - 1;
        break;
    }
    // With no current row yet, the first key only makes the top row current.
    if (current_ >= n && (key == ListKey::Up || key == ListKey::Down))
        to = 0;
    current_ = to;
    if (shift) {
        if (anchor_ >= n)
            anchor_ = from;
        return markRange(anchor_, to, !ctrl);
    }
    if (ctrl)
        return false; // the current row moves, the marks stay
    anchor_ = to;
    return markRange(to, to, true);
}

void Marking::rowsInserted(std::size_t count) {
    if (anchor_ != None)
        anchor_ += count;
    if (current_ != None)
        current_ += count;
}

} // namespace filelist
