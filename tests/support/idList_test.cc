// The id list: List's order and cursor, with lookups that answer from the
// index without disturbing a loop in progress.
#include "support/idList.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelo {
namespace {

using Ids = std::vector<int>;

// A plain append keeps a repeat (the callers that want one ask for it);
// the index knows every id either way.  Lookups go to the index, so a loop
// may ask its own list and still see every id once.
TEST(IdListTest, IndexKnowsWhatEitherAppendAddedAndLeavesTheCursor) {
    IdList list;
    EXPECT_EQ(list.listAppendUnique(7), 1);
    EXPECT_EQ(list.listAppendUnique(7), 0);
    list.listAppend(4);
    list.listAppend(4);
    Ids seen;
    for (list.listRewind(); !list.listEnd();) {
        seen.push_back(list.listGet());
        EXPECT_EQ(list.listContains(4), 1);
        EXPECT_EQ(list.listContains(5), 0);
        EXPECT_EQ(list.listAppendUnique(4), 0);
    }
    EXPECT_EQ(seen, (Ids{7, 4, 4}));
}

// The index goes with the ids when they are freed.
TEST(IdListTest, FreedIdCanBeCollectedAgain) {
    IdList list;
    list.listAppendUnique(8);
    list.listFreeItems();
    EXPECT_EQ(list.listSize(), 0);
    EXPECT_EQ(list.listContains(8), 0);
    EXPECT_EQ(list.listAppendUnique(8), 1);
}

}  // namespace
}  // namespace pelo
