// The list's rows: on top and marked, the duplicate index through growth, removal and reorder.
#include "filelist/rowstore.h"
#include "platform/scratch.h"

using filelist::RowStore;

namespace {

filelist::PathString P(const std::string& text) {
    return std::filesystem::path(text).native();
}

// The rows' paths from the top, each followed by a blank; '*' after a marked one.
std::string order(const RowStore& store) {
    std::string list;
    for (std::size_t i = 0; i < store.size(); ++i)
        list +=
            std::filesystem::path(store.at(i).path).string() + (store.at(i).marked ? "* " : " ");
    return list;
}

TEST(RowStore, NewRowsOnTopMarkedTheIndexThroughGrowthRemovalClearingAndReordering) {
    RowStore store;
    ASSERT_TRUE(store.insertTop(P("Brief.txt"), false));
    store.at(0).marked = false;
    ASSERT_TRUE(store.insertTop(P("b"), true));
    EXPECT_TRUE(store.at(0).isFolder);
    EXPECT_EQ(store.markedCount(), 1u);
    EXPECT_FALSE(store.insertTop(P("Brief.txt"), false));
    // Two different files on Linux: neither may be left out.
    EXPECT_EQ(store.insertTop(P("BRIEF.TXT"), false), !scratch::OnWindows);
    EXPECT_TRUE(order(store).ends_with("b* Brief.txt ")) << order(store);

    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_FALSE(store.contains(P("b")));
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(store.insertTop(P("f" + std::to_string(i)), false));
    for (int i = 0; i < 5000; i += 7)
        ASSERT_FALSE(store.insertTop(P("f" + std::to_string(i)), false));
    // Remove the odd ones.
    for (std::size_t i = 0; i < store.size(); ++i)
        store.at(i).marked =
            std::stoi(std::filesystem::path(store.at(i).path).string().substr(1)) % 2;
    EXPECT_EQ(store.removeMarked(), 2500u);
    EXPECT_TRUE(store.contains(P("f0")));
    EXPECT_FALSE(store.contains(P("f1")));
    EXPECT_TRUE(store.insertTop(P("f1"), false));
    EXPECT_TRUE(order(store).starts_with("f1* f4998 f4996 "));

    store.clear();
    for (const char* p : {"c", "b", "a"})
        store.insertTop(P(p), false);
    store.at(0).marked = false;
    store.reorder({2, 1, 0});
    EXPECT_EQ(order(store), "c* b* a ");
    EXPECT_TRUE(store.contains(P("a")));
    EXPECT_FALSE(store.contains(P("f0")));
}

} // namespace
