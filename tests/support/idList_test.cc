// The id list: List's order and cursor, with lookups that answer from the
// index without disturbing a loop in progress.
#include "support/idList.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace pelo {
namespace {

using Ids = std::vector<int>;

Ids readAll(IdList& list) {
    Ids ids;
    for (list.listRewind(); !list.listEnd();)
        ids.push_back(list.listGet());
    return ids;
}

// A plain append keeps a repeat (the callers that want one ask for it);
// the index knows every id either way.
TEST(IdListTest, AppendUniqueRefusesWhatEitherAppendAdded) {
    IdList list;
    EXPECT_EQ(list.listAppendUnique(7), 1);
    EXPECT_EQ(list.listAppendUnique(7), 0);
    list.listAppend(4);
    list.listAppend(4);
    EXPECT_EQ(list.listAppendUnique(4), 0);
    EXPECT_EQ(readAll(list), (Ids{7, 4, 4}));
}

// The lookups of a loop over one list go to the index, so a loop may ask
// its own list and still see every id once.
TEST(IdListTest, LookupsDoNotMoveTheCursor) {
    IdList list;
    for (int id : {1, 2, 3})
        list.listAppend(id);
    Ids seen;
    for (list.listRewind(); !list.listEnd();) {
        seen.push_back(list.listGet());
        EXPECT_EQ(list.listContains(3), 1);
        EXPECT_EQ(list.listContains(4), 0);
        EXPECT_EQ(list.listAppendUnique(1), 0);
    }
    EXPECT_EQ(seen, (Ids{1, 2, 3}));
}

// The index goes with the ids: moved with them, freed with them.
TEST(IdListTest, IndexIsMovedAndFreedWithTheIds) {
    IdList from;
    from.listAppendUnique(2);
    from.listAppendUnique(8);
    IdList to = std::move(from);
    EXPECT_EQ(to.listContains(8), 1);
    EXPECT_EQ(readAll(to), (Ids{2, 8}));
    to.listFreeItems();
    EXPECT_EQ(to.listSize(), 0);
    EXPECT_EQ(to.listContains(8), 0);
    EXPECT_EQ(to.listAppendUnique(8), 1) << "a freed id can be collected again";
}

}  // namespace
}  // namespace pelo
