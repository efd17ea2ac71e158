#include "filelist/rowstore.h"

#include <gtest/gtest.h>

#include <string>

using filelist::PathString;
using filelist::RowStore;

namespace {

PathString P(const char* text) {
    return std::filesystem::path(text).native();
}

std::vector<std::string> order(const RowStore& store) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < store.size(); ++i)
        paths.push_back(std::filesystem::path(store.at(i).path).string());
    return paths;
}

} // namespace

TEST(RowStore, NewRowsGoToTheTopMarked) {
    RowStore store;
    ASSERT_TRUE(store.insertTop(P("a"), false));
    store.at(0).marked = false;
    ASSERT_TRUE(store.insertTop(P("b"), true));
    EXPECT_EQ(order(store), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(store.at(0).marked);
    EXPECT_TRUE(store.at(0).isFolder);
    EXPECT_FALSE(store.at(1).marked);
    EXPECT_EQ(store.markedCount(), 1u);
}

TEST(RowStore, DuplicatesFollowThePlatformsComparison) {
    RowStore store;
    ASSERT_TRUE(store.insertTop(P("Brief.txt"), false));
    EXPECT_FALSE(store.insertTop(P("Brief.txt"), false));
#ifdef _WIN32
    EXPECT_FALSE(store.insertTop(P("BRIEF.TXT"), false));
    EXPECT_EQ(store.size(), 1u);
#else
    // Two different files on Linux: neither may be left out.
    EXPECT_TRUE(store.insertTop(P("brief.txt"), false));
    EXPECT_EQ(store.size(), 2u);
#endif
}

TEST(RowStore, IndexSurvivesGrowthRemovalAndClearing) {
    RowStore store;
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(store.insertTop(P(("f" + std::to_string(i)).c_str()), false));
    for (int i = 0; i < 5000; i += 7)
        ASSERT_FALSE(store.insertTop(P(("f" + std::to_string(i)).c_str()), false));
    // Unmark the even ones, remove the marked (odd) ones.
    for (std::size_t i = 0; i < store.size(); ++i)
        store.at(i).marked =
            std::stoi(std::filesystem::path(store.at(i).path).string().substr(1)) % 2;
    EXPECT_EQ(store.removeMarked(), 2500u);
    EXPECT_TRUE(store.contains(P("f0")));
    EXPECT_FALSE(store.contains(P("f1")));
    EXPECT_TRUE(store.insertTop(P("f1"), false));
    EXPECT_EQ(order(store).front(), "f1");
    EXPECT_EQ(order(store)[1], "f4998");
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_FALSE(store.contains(P("f0")));
    EXPECT_TRUE(store.insertTop(P("f0"), false));
}

TEST(RowStore, ReorderMovesRowsWithTheirMarks) {
    RowStore store;
    for (const char* p : {"c", "b", "a"})
        store.insertTop(P(p), false);
    store.at(0).marked = false; // a
    store.reorder({2, 1, 0});
    EXPECT_EQ(order(store), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_FALSE(store.at(2).marked);
    EXPECT_TRUE(store.contains(P("a")));
}
