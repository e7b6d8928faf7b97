#include "support/list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace pelo {
namespace {

int compareText(const std::string& key, const std::string& item) { return key.compare(item); }

std::vector<std::string> readAll(List<std::string>& list) {
    std::vector<std::string> items;
    for (list.listRewind(); !list.listEnd();)
        items.push_back(list.listGet());
    return items;
}

using Items = std::vector<std::string>;

TEST(ListTest, EmptyListRewindsToTheEnd) {
    List<std::string> list;
    EXPECT_EQ(list.listEnd(), 1);
    list.listRewind();
    EXPECT_EQ(list.listEnd(), 1);
    EXPECT_EQ(list.listSize(), 0);
}

TEST(ListTest, OneItemIsReadOnceThenEnd) {
    List<std::string> list;
    list.listAppend("a");
    list.listRewind();
    ASSERT_EQ(list.listEnd(), 0);
    EXPECT_EQ(list.listGet(), "a");
    EXPECT_EQ(list.listEnd(), 1);
}

TEST(ListTest, InsertGoesFirstAndAppendGoesLast) {
    List<std::string> list;
    list.listAppend("a");
    list.listAppend("b");
    list.listInsert("new");
    EXPECT_EQ(readAll(list), (Items{"new", "a", "b"}));
    list.listAppend("last");
    EXPECT_EQ(readAll(list), (Items{"new", "a", "b", "last"}));
    EXPECT_EQ(list.listSize(), 4);
}

TEST(ListTest, AppendLeavesAFinishedCursorAtTheEnd) {
    List<std::string> list;
    list.listAppend("a");
    readAll(list);
    list.listAppend("b");
    EXPECT_EQ(list.listEnd(), 1) << "a list read to its end stays there after an append";
}

TEST(ListTest, InsertDoesNotMoveAnOpenCursor) {
    List<std::string> list;
    list.listAppend("a");
    list.listAppend("b");
    list.listRewind();
    EXPECT_EQ(list.listGet(), "a");
    list.listInsert("front");
    EXPECT_EQ(list.listGet(), "b");
    EXPECT_EQ(list.listEnd(), 1);
}

TEST(ListTest, AppendUniqueKeepsFirstOccurrencesInOrder) {
    List<std::string> list;
    EXPECT_EQ(list.listAppendUnique("r1", compareText), 1);
    EXPECT_EQ(list.listAppendUnique("r2", compareText), 1);
    EXPECT_EQ(list.listAppendUnique("r1", compareText), 0);
    EXPECT_EQ(readAll(list), (Items{"r1", "r2"}));
}

TEST(ListTest, SearchLeavesTheCursorAfterTheMatch) {
    List<std::string> list;
    for (const char* item : {"a", "b", "c"})
        list.listAppend(item);
    EXPECT_EQ(list.listSearch(std::string("b"), compareText), 1);
    EXPECT_EQ(list.listGet(), "c");
    EXPECT_EQ(list.listSearch(std::string("z"), compareText), 0);
    EXPECT_EQ(list.listEnd(), 1);
}

TEST(ListTest, SearchOfAnEmptyListNeverCompares) {
    List<std::string> list;
    int calls = 0;
    auto counting = [&calls](const std::string&, const std::string&) { return ++calls, 0; };
    EXPECT_EQ(list.listSearch(std::string("x"), counting), 0);
    EXPECT_EQ(calls, 0);
}

TEST(ListTest, TraverseStopsAtTheFirstNonZeroVisit) {
    List<int> list;
    for (int i = 1; i <= 5; ++i)
        list.listAppend(i);
    std::vector<int> seen;
    EXPECT_EQ(list.listTraverse([&seen](int item) { seen.push_back(item); return item == 3 ? 1 : 0; }), 1);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.listTraverse([](int) { return 0; }), 0);
}

TEST(ListTest, FreeItemsReleasesTheLastFirstThenFromTheFront) {
    List<std::string> list;
    for (const char* item : {"a", "b", "c", "d"})
        list.listAppend(item);
    Items released;
    list.listFreeItems([&released](std::string& item) { released.push_back(item); });
    EXPECT_EQ(released, (Items{"d", "a", "b", "c"}));
    EXPECT_EQ(list.listSize(), 0);
    list.listAppend("again");
    EXPECT_EQ(readAll(list), (Items{"again"})) << "a freed list is reusable";
}

TEST(ListTest, MovedListStartsAtTheEnd) {
    List<std::string> list;
    list.listAppend("a");
    list.listRewind();
    List<std::string> moved(std::move(list));
    EXPECT_EQ(moved.listEnd(), 1);
    EXPECT_EQ(readAll(moved), (Items{"a"}));
}

TEST(TableDirectoryTest, NamesByIndex) {
    EXPECT_STREQ(getTableName(1), "AccessTable");
    EXPECT_STREQ(getTableName(25), "Defects");
    EXPECT_STREQ(getTableName(53), "Releases");
    EXPECT_STREQ(getTableName(67), "CompView");
    EXPECT_STREQ(getTableName(69), "Cfgcomproc");
}

}  // namespace
}  // namespace pelo
