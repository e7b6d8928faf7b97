#include "support/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelo {
namespace {

int compareText(const std::string& key, const std::string& item) { return key.compare(item); }

using Items = std::vector<std::string>;

Items readAll(List<std::string>& list) {
    Items items;
    for (list.listRewind(); !list.listEnd();)
        items.push_back(list.listGet());
    return items;
}

List<std::string> listOf(const Items& items) {
    List<std::string> list;
    for (const std::string& item : items)
        list.listAppend(item);
    return list;
}

// An append goes last and does not move the cursor, so a list read to its
// end stays there; one that finds its item already there adds nothing.
TEST(ListTest, AppendsGoLastAndLeaveTheCursorWhereItIs) {
    List<std::string> list = listOf({"a", "b"});
    readAll(list);
    list.listAppend("c");
    EXPECT_EQ(list.listEnd(), 1);
    EXPECT_EQ(list.listAppendUnique("a", compareText), 0);
    EXPECT_EQ(list.listAppendUnique("d", compareText), 1);
    EXPECT_EQ(readAll(list), (Items{"a", "b", "c", "d"}));
}

// A moved list starts at its end, and the list it came from is left empty
// rather than holding the items a second time.  What the dialog relies on
// when it starts again: a freed list is empty and takes new items.
TEST(ListTest, MovedAndFreedListsAreLeftEmpty) {
    List<std::string> list = listOf({"a"});
    list.listRewind();
    List<std::string> moved(std::move(list));
    EXPECT_EQ(moved.listEnd(), 1);
    EXPECT_EQ(readAll(moved), (Items{"a"}));
    EXPECT_EQ(list.listSize(), 0);  // NOLINT(bugprone-use-after-move): its state is the contract
    EXPECT_EQ(list.listEnd(), 1);
    moved.listFreeItems();
    EXPECT_EQ(moved.listSize(), 0);
    moved.listAppend("again");
    EXPECT_EQ(readAll(moved), (Items{"again"}));
}

}  // namespace
}  // namespace pelo
