// Marking by mouse and keys, for both kits: gestures on six rows, only row 1 marked and current.
#include "filelist/marking.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using filelist::ListKey;
using filelist::Marking;

using Gesture = std::function<void(Marking&)>;

Gesture click(std::size_t row, bool ctrl = false, bool shift = false) {
    return [=](Marking& marking) { marking.click(row, ctrl, shift); };
}
Gesture key(ListKey k, bool ctrl = false, bool shift = false) {
    return [=](Marking& marking) { marking.key(k, ctrl, shift, 3); };
}

filelist::PathString name(const std::string& s) {
    return std::filesystem::path(s).native();
}

std::string marks(const filelist::RowStore& rows) {
    std::string s;
    for (std::size_t i = 0; i < rows.size(); ++i)
        s += rows.at(i).marked ? 'x' : '.';
    return s;
}

TEST(Marking, EachGestureMarksAsInAnyFileList) {
    const struct {
        const char* what;
        std::vector<Gesture> gestures;
        std::string marks;
        std::size_t current;
    } cases[] = {
        {"click", {click(3)}, "...x..", 3},
        {"ctrl toggles", {click(3, true), click(1, true)}, "...x..", 1},
        {"shift from the anchor", {click(4, false, true)}, ".xxxx.", 4},
        {"ctrl+shift adds the range", {click(5, true), click(3, true, true)}, ".x.xxx", 3},
        {"below the rows", {click(Marking::None)}, "......", 1},
        {"down marks alone", {key(ListKey::Down), key(ListKey::Down)}, "...x..", 3},
        {"shift+down",
         {key(ListKey::Down, false, true), key(ListKey::Down, false, true)},
         ".xxx..",
         3},
        {"ctrl moves only", {key(ListKey::Down, true), key(ListKey::Down, true)}, ".x....", 3},
        // Ctrl+arrows then Space adds the row, Ctrl+Space toggles it.
        {"space adds", {key(ListKey::Down, true), key(ListKey::Space)}, ".xx...", 2},
        {"ctrl+space toggles", {key(ListKey::Space, true)}, "......", 1},
        {"ctrl+shift+down adds", {click(4, true), key(ListKey::Down, true, true)}, ".x..xx", 5},
        {"page and end",
         {key(ListKey::PageDown), key(ListKey::End), key(ListKey::Up)},
         "....x.",
         4},
        {"shift+home", {key(ListKey::Home, false, true)}, "xx....", 0},
        {"ctrl+a", {key(ListKey::SelectAll, true)}, "xxxxxx", 1},
    };
    for (const auto& c : cases) {
        filelist::RowStore rows;
        for (int i = 5; i >= 0; --i)
            rows.insertTop(name(std::to_string(i)), false);
        Marking marking(rows);
        marking.click(1, false, false);
        for (const Gesture& gesture : c.gestures)
            gesture(marking);
        EXPECT_EQ(marks(rows), c.marks) << c.what;
        EXPECT_EQ(marking.current(), c.current) << c.what;
    }
}

TEST(Marking, TheAnchorFollowsItsRowAndAResetForgetsIt) {
    filelist::RowStore rows;
    for (const char* n : {"c", "b", "a"})
        rows.insertTop(name(n), false);
    Marking marking(rows);
    marking.click(0, false, false);
    rows.insertTop(name("neu"), false);
    marking.rowsInserted(1);
    marking.click(3, false, true);
    EXPECT_EQ(marks(rows), ".xxx") << "the anchor moved down with its row";
    // A cleared list has no anchor: the first Shift-click marks its row alone.
    rows.clear();
    marking.reset();
    for (const char* n : {"3", "2", "1"})
        rows.insertTop(name(n), false);
    rows.markAll(false);
    marking.click(2, false, true);
    EXPECT_EQ(marks(rows), "..x");
}

} // namespace
