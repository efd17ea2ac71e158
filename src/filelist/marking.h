// The marks of the list's rows as the mouse and the keys change them: one behaviour for every
// window kit, so that both windows mark alike. Positions are display positions in the RowStore
// (0 = top).
#pragma once

#include "filelist/rowstore.h"

#include <cstddef>

namespace filelist {

/// The keys of the list that move its current row or change marks.
enum class ListKey { Up, Down, PageUp, PageDown, Home, End, Space, SelectAll };

class Marking {
public:
    static constexpr std::size_t None = std::size_t(-1);

    explicit Marking(RowStore& rows) : rows_(rows) {}

    /// A press of the left button on the row at \p position (None: below the last row). Plain:
    /// that row alone; Ctrl: toggles it; Shift: the rows from the anchor to it alone, with Ctrl
    /// added to the others.
    void click(std::size_t position, bool ctrl, bool shift);

    /// A key on the list; \p pageRows is how many rows a page shows. The arrows, Page and
    /// Home/End move the current row and mark it alone; with Shift the rows from the anchor to
    /// it (with Ctrl as well added to the others); with Ctrl alone only the current row moves.
    /// Space adds the current row to the marks (Ctrl+Space toggles it); Ctrl+A marks all.
    /// @return whether any mark changed.
    bool key(ListKey key, bool ctrl, bool shift, std::size_t pageRows);

    /// The row the keys act on; None while there is none.
    std::size_t current() const { return current_; }

    /// \p count rows were inserted at the top: the rows marked and acted on move down.
    void rowsInserted(std::size_t count);
    /// The rows were cleared, removed or put in another order: no anchor, no current row.
    void reset() { anchor_ = current_ = None; }

private:
    bool markRange(std::size_t from, std::size_t to, bool exclusive);
    bool setMark(std::size_t position, bool marked);

    RowStore& rows_;
    std::size_t anchor_ = None;
    std::size_t current_ = None;
};

} // namespace filelist
