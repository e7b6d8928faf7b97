// The id list: List's order and cursor, with lookups that answer from the
// index without disturbing a loop in progress.
#include "support/idList.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace pelo {
namespace {

std::vector<int> readAll(IdList& list) {
    std::vector<int> ids;
    for (list.listRewind(); !list.listEnd();)
        ids.push_back(list.listGet());
    return ids;
}

TEST(IdListTest, AppendUniqueKeepsFirstAppearanceOrder) {
    IdList list;
    EXPECT_EQ(list.listAppendUnique(7), 1);
    EXPECT_EQ(list.listAppendUnique(3), 1);
    EXPECT_EQ(list.listAppendUnique(7), 0);
    EXPECT_EQ(list.listAppendUnique(5), 1);
    EXPECT_EQ(readAll(list), (std::vector<int>{7, 3, 5}));
    EXPECT_EQ(list.listSize(), 3);
}

// The lookups of a loop over one list go to the index, so a loop may ask
// its own list, or append to another, and still see every id once.
TEST(IdListTest, LookupsDoNotMoveTheCursor) {
    IdList list;
    for (int id : {1, 2, 3})
        list.listAppend(id);
    std::vector<int> seen;
    for (list.listRewind(); !list.listEnd();) {
        int id = list.listGet();
        seen.push_back(id);
        EXPECT_EQ(list.listContains(3), 1);
        EXPECT_EQ(list.listContains(4), 0);
        EXPECT_EQ(list.listAppendUnique(1), 0);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

// Plain appends keep a repeat (the callers that want one ask for it); the
// index still knows the id.
TEST(IdListTest, PlainAppendKeepsRepeats) {
    IdList list;
    list.listAppend(4);
    list.listAppend(4);
    EXPECT_EQ(readAll(list), (std::vector<int>{4, 4}));
    EXPECT_EQ(list.listContains(4), 1);
    EXPECT_EQ(list.listAppendUnique(4), 0);
}

TEST(IdListTest, FreedListForgetsItsIds) {
    IdList list;
    list.listAppendUnique(9);
    list.listFreeItems();
    EXPECT_EQ(list.listSize(), 0);
    EXPECT_EQ(list.listContains(9), 0);
    list.listRewind();
    EXPECT_EQ(list.listEnd(), 1);
    EXPECT_EQ(list.listAppendUnique(9), 1) << "a freed id can be collected again";
}

TEST(IdListTest, MovedListCarriesItsIndex) {
    IdList from;
    from.listAppendUnique(2);
    from.listAppendUnique(8);
    IdList to = std::move(from);
    EXPECT_EQ(to.listContains(8), 1);
    EXPECT_EQ(to.listAppendUnique(2), 0);
    EXPECT_EQ(readAll(to), (std::vector<int>{2, 8}));
}

}  // namespace
}  // namespace pelo
