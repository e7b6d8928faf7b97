#include "support/keyedList.h"

#include <gtest/gtest.h>

#include <string>

namespace pelo {
namespace {

struct Entry {
    int key = 0;
    std::string text;
};
struct KeyOfEntry {
    int operator()(const Entry& entry) const { return entry.key; }
};

// One item per key, found by its key without disturbing a walk, in the
// order the items came; a freed list finds nothing.
TEST(KeyedListTest, FindsByKeyAndKeepsOrder) {
    KeyedList<Entry, int, KeyOfEntry> list;
    EXPECT_EQ(list.listAppendUnique({3, "three"}), 1);
    EXPECT_EQ(list.listAppendUnique({1, "one"}), 1);
    EXPECT_EQ(list.listAppendUnique({3, "again"}), 0);
    list.listFindOrAppend({2, "two"}).text += "!";
    list.listFindOrAppend({1, "ignored"}).text += "?";
    list.listRewind();
    EXPECT_EQ(list.listGet().text, "three");
    ASSERT_NE(list.listFind(2), nullptr);
    EXPECT_EQ(list.listGet().text, "one?");
    EXPECT_EQ(list.listGet().text, "two!");
    EXPECT_EQ(list.listEnd(), 1);
    EXPECT_EQ(list.listFind(4), nullptr);
    list.listFreeItems();
    EXPECT_EQ(list.listFind(3), nullptr);
}

}  // namespace
}  // namespace pelo
