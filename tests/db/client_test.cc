// The client layer against real SQLite files in a scratch directory.
#include "db/client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "db/backend.h"
#include "db/sqlite_backend.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

const char* const levelGet =
    "SELECT ID,NAME,COMMITDATE INTO :b1:i1,:b2:i2,:b3:i3 FROM LEVELS WHERE NAME=:b2 AND RELEASEID=:b3";
const char* const levelCount = "SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE RELEASEID=:b2";

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "clientXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "family.db").string();
        std::ofstream(path_).close();  // an empty file is an empty database
        ASSERT_EQ(sqlConnect(path_, "family", "secret"), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript("CREATE TABLE LEVELS(ID INTEGER, NAME VARCHAR(32), RELEASEID INTEGER,"
                                   " COMMITDATE VARCHAR(26) COLLATE PELODATE);"
                                   "INSERT INTO LEVELS VALUES(1,'L1',7,'99/12/31 23:59:59');"
                                   "INSERT INTO LEVELS VALUES(2,'L2',7,'100/01/01 00:00:00');"
                                   "INSERT INTO LEVELS VALUES(3,'L3',7,'98/06/15 08:00:00');"
                                   "INSERT INTO LEVELS VALUES(4,NULL,8,NULL);"),
                  0)
            << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
        fs::remove_all(dir_);
    }

    static int levelsOfRelease(std::int32_t release) {
        SqlRow row;
        EXPECT_EQ(sqlExecute(levelCount, {{2, release}}, &row), 0) << sqlca.sqlerrm;
        return row.intAt(0);
    }

    fs::path dir_;
    std::string path_;
};

// The family's texts reach SQLite without their output lists, and the
// placeholders are numbered for positional backends in one place.
TEST(StatementTextTest, IntoListDroppedAndPlaceholdersMapped) {
    const StatementText get = translateStatement(levelGet, PlaceholderStyle::named);
    EXPECT_EQ(get.text, "SELECT ID,NAME,COMMITDATE FROM LEVELS WHERE NAME=:b2 AND RELEASEID=:b3");
    EXPECT_EQ(get.inputs, (std::vector<int>{2, 3}));

    EXPECT_EQ(translateStatement(levelCount, PlaceholderStyle::named).text,
              "SELECT COUNT(*) FROM LEVELS WHERE RELEASEID=:b2");

    const StatementText positional =
        translateStatement("UPDATE T SET A=:b1 WHERE B!=:b2 AND C=:b1 AND D=':b3' AND E=:b12", PlaceholderStyle::dollar);
    EXPECT_EQ(positional.text, "UPDATE T SET A=$1 WHERE B!=$2 AND C=$1 AND D=':b3' AND E=$3");
    EXPECT_EQ(positional.inputs, (std::vector<int>{1, 2, 12}));

    EXPECT_EQ(translateStatement("INSERT INTO T VALUES(:b1)", PlaceholderStyle::named).text,
              "INSERT INTO T VALUES(:b1)");
    EXPECT_EQ(translateStatement("SELECT A FROM T WHERE N='INTO :b1'", PlaceholderStyle::named).text,
              "SELECT A FROM T WHERE N='INTO :b1'");
}

TEST_F(ClientTest, DescribeGivesDeclaredTypesAndWidths) {
    SqlCursor cursor("SELECT ID,NAME,COMMITDATE FROM LEVELS WHERE RELEASEID=:b1");
    const std::vector<SqlColumn> columns = cursor.describe();
    ASSERT_EQ(columns.size(), 3u) << sqlca.sqlerrm;
    EXPECT_EQ(columns[0].name, "ID");
    EXPECT_EQ(columns[0].type, SqlColumn::Type::integer);
    EXPECT_EQ(columns[1].type, SqlColumn::Type::text);
    EXPECT_EQ(columns[1].length, 32);
    EXPECT_EQ(columns[2].length, 26);
    EXPECT_FALSE(cursor.isOpen()) << "describing does not open";
    EXPECT_TRUE(SqlCursor("SELECT NOSUCH FROM LEVELS").describe().empty());
    EXPECT_EQ(sqlca.sqlcode, -1);
}

TEST_F(ClientTest, SingleRowSelectFindsOneRowOrReports1403) {
    SqlRow row;
    ASSERT_EQ(sqlExecute(levelGet, {{2, "L2"}, {3, 7}}, &row), 0) << sqlca.sqlerrm;
    EXPECT_EQ(row.intAt(0), 2);
    EXPECT_EQ(row.textAt(1), "L2");

    EXPECT_EQ(sqlExecute(levelGet, {{2, "nosuch"}, {3, 7}}, &row), sqlNotFound);
    EXPECT_EQ(row.textAt(1), "L2") << "a missing row must leave the caller's row alone";
}

TEST_F(ClientTest, SingleRowSelectFindingTwoRowsFails) {
    SqlRow row;
    ASSERT_EQ(sqlExecute("INSERT INTO LEVELS VALUES(5,'L2',7,NULL)", {}), 0);
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L2"}, {3, 7}}, &row), sqlTooManyRows);
    EXPECT_LT(sqlca.sqlcode, 0);
    EXPECT_FALSE(sqlca.sqlerrm.empty());
}

TEST_F(ClientTest, NullColumnsArriveAsEmptyTextAndZero) {
    SqlRow row;
    ASSERT_EQ(sqlExecute("SELECT NAME,COMMITDATE,RELEASEID,NULL INTO :b1:i1,:b2:i2,:b3:i3,:b4:i4 FROM LEVELS"
                         " WHERE ID=:b1",
                         {{1, 4}}, &row),
              0);
    EXPECT_EQ(row.textAt(0), "");
    EXPECT_EQ(row.textAt(1), "");
    EXPECT_EQ(row.intAt(2), 8);
    EXPECT_EQ(row.intAt(3), 0);
}

// An empty text goes in as NULL, so "IS NULL" finds what was written empty.
TEST_F(ClientTest, EmptyTextIsStoredAsNull) {
    ASSERT_EQ(sqlExecute("INSERT INTO LEVELS VALUES(:b1,:b2,:b3,:b4)", {{1, 5}, {2, "L5"}, {3, 9}, {4, ""}}), 0)
        << sqlca.sqlerrm;
    SqlRow row;
    ASSERT_EQ(sqlExecute("SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE RELEASEID=:b3 AND COMMITDATE IS NULL",
                         {{3, 9}}, &row),
              0)
        << sqlca.sqlerrm;
    EXPECT_EQ(row.intAt(0), 1);
}

// Inputs and placeholders must match, so a wrong key number in an accessor
// is a failure instead of a silently unbound (NULL) key.
TEST_F(ClientTest, InputsMustMatchPlaceholders) {
    SqlRow row;
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}}, &row), sqlBadInputs);
    EXPECT_NE(sqlca.sqlerrm.find(":b3"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}, {3, 7}, {4, 1}}, &row), sqlBadInputs);
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}, {3, 7}}, &row), 0) << "a refused use must not spoil the statement";
}

TEST_F(ClientTest, CursorWalksToTheEndAndStartsAgainWhenReopened) {
    SqlCursor cursor("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY ID");
    SqlRow row;
    ASSERT_EQ(cursor.open({{1, 7}}), 0);
    std::vector<int> ids;
    while (cursor.fetch(row) == 0)
        ids.push_back(row.intAt(0));
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(cursor.fetch(row), sqlNotFound) << "a fetch past the end must not run the query again";
    EXPECT_TRUE(cursor.isOpen());

    EXPECT_EQ(cursor.close(), 0);
    EXPECT_EQ(cursor.close(), 0);
    EXPECT_EQ(cursor.fetch(row), sqlCursorNotOpen);
    ASSERT_EQ(cursor.open({{1, 8}}), 0);
    ASSERT_EQ(cursor.fetch(row), 0);
    EXPECT_EQ(row.intAt(0), 4);
    ASSERT_EQ(cursor.open({{1, 7}}), 0) << "opening an open cursor starts it again";
    ASSERT_EQ(cursor.fetch(row), 0);
    EXPECT_EQ(row.intAt(0), 1);
}

TEST_F(ClientTest, TwoCursorsOverOneTextWalkIndependently) {
    const std::string text = "SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY ID";
    SqlCursor outer(text);
    SqlCursor inner(text);
    SqlRow a;
    SqlRow b;
    ASSERT_EQ(outer.open({{1, 7}}), 0);
    ASSERT_EQ(outer.fetch(a), 0);
    ASSERT_EQ(inner.open({{1, 7}}), 0);
    ASSERT_EQ(inner.fetch(b), 0);
    ASSERT_EQ(inner.fetch(b), 0);
    ASSERT_EQ(outer.fetch(a), 0);
    EXPECT_EQ(a.intAt(0), 2);
    EXPECT_EQ(b.intAt(0), 2);
}

TEST_F(ClientTest, EveryTextIsPreparedOnce) {
    const int before = sqlPrepareCount();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(levelsOfRelease(7), 3);
    SqlCursor cursor("SELECT ID FROM LEVELS");
    SqlRow row;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(cursor.open({}), 0);
        ASSERT_EQ(cursor.fetch(row), 0);
        cursor.close();
    }
    EXPECT_EQ(sqlPrepareCount() - before, 2);
}

TEST_F(ClientTest, RollbackUndoesUncommittedWorkAndCommitKeepsIt) {
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 1}}), 0);
    ASSERT_EQ(sqlCommit(), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 2}}), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 99}}), 0) << "deleting nothing is no error";
    EXPECT_EQ(levelsOfRelease(7), 1);
    ASSERT_EQ(sqlRollback(), 0);
    EXPECT_EQ(levelsOfRelease(7), 2);

    // Work done after a rollback is again one transaction.
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 3}}), 0);
    ASSERT_EQ(sqlRollbackRelease(), 0);
    EXPECT_FALSE(sqlConnected());
    ASSERT_EQ(sqlConnect(path_, "family", "secret"), 0);
    EXPECT_EQ(levelsOfRelease(7), 2);
}

TEST_F(ClientTest, CursorOutlivesItsSessionAndPreparesAgain) {
    SqlCursor cursor("SELECT ID FROM LEVELS WHERE RELEASEID=:b1");
    SqlRow row;
    ASSERT_EQ(cursor.open({{1, 7}}), 0);
    ASSERT_EQ(cursor.fetch(row), 0);
    ASSERT_EQ(sqlRollbackRelease(), 0);
    EXPECT_FALSE(cursor.isOpen());
    EXPECT_EQ(cursor.open({{1, 7}}), sqlNotConnected);

    ASSERT_EQ(sqlConnect(path_, "family", "secret"), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS", {}), 0) << "the old session must hold no lock: " << sqlca.sqlerrm;
    ASSERT_EQ(cursor.open({{1, 7}}), 0);
    EXPECT_EQ(cursor.fetch(row), sqlNotFound);
}

TEST_F(ClientTest, CursorStaysOpenAcrossCommit) {
    SqlCursor cursor("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY ID");
    SqlRow row;
    ASSERT_EQ(cursor.open({{1, 7}}), 0);
    ASSERT_EQ(cursor.fetch(row), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 4}}), 0);
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
    ASSERT_EQ(cursor.fetch(row), 0);
    EXPECT_EQ(row.intAt(0), 2);
}

TEST_F(ClientTest, DatesOrderAcrossTheCentury) {
    SqlCursor ordered("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY COMMITDATE ASC");
    SqlRow row;
    std::vector<int> ids;
    ASSERT_EQ(ordered.open({{1, 7}}), 0);
    while (ordered.fetch(row) == 0)
        ids.push_back(row.intAt(0));
    EXPECT_EQ(ids, (std::vector<int>{3, 1, 2}));

    SqlCursor before("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 AND COMMITDATE<:b2 ORDER BY ID");
    ids.clear();
    ASSERT_EQ(before.open({{1, 7}, {2, "100/01/01 00:00:00"}}), 0);
    while (before.fetch(row) == 0)
        ids.push_back(row.intAt(0));
    EXPECT_EQ(ids, (std::vector<int>{1, 3}));

    ASSERT_EQ(sqlExecute("SELECT COMMITDATE INTO :b1:i1 FROM LEVELS WHERE ID=:b1", {{1, 2}}, &row), 0);
    EXPECT_EQ(row.textAt(0), "100/01/01 00:00:00") << "the stored text stays the family's text";
}

TEST(PeloDateTest, ComparesFieldByFieldAndKeepsNonDatesApart) {
    EXPECT_LT(comparePeloDates("99/12/31 23:59:59", "100/01/01 00:00:00"), 0);
    EXPECT_LT(comparePeloDates("100/01/01 00:00:09", "100/01/01 00:00:10"), 0);
    EXPECT_EQ(comparePeloDates("100/02/03 04:05:06", "100/02/03 04:05:06"), 0);
    EXPECT_GT(comparePeloDates("101/01/01 00:00:00", "100/12/31 23:59:59"), 0);
    // Non-dates follow every date, so the order stays transitive.
    EXPECT_LT(comparePeloDates("99/12/31 23:59:59", "2"), 0);
    EXPECT_LT(comparePeloDates("100/01/01 00:00:00", "2"), 0);
    EXPECT_LT(comparePeloDates("abc", "abd"), 0);
    EXPECT_GT(comparePeloDates("99/12/31 23:59", "99/12/31 23:59:59"), 0) << "a cut date is not a date";
}

TEST_F(ClientTest, ServerTextIsCutTo70Characters) {
    const std::string table(90, 'x');
    EXPECT_LT(sqlExecute("SELECT A FROM " + table, {}), 0);
    EXPECT_EQ(sqlca.sqlerrm.size(), sqlMessageMax);
    EXPECT_EQ(sqlca.sqlerrm.rfind("no such table", 0), 0u) << sqlca.sqlerrm;
    EXPECT_EQ(sqlca.sqlcode, -1);
}

TEST_F(ClientTest, LoginLongerThan20CharactersIsRefused) {
    ASSERT_EQ(sqlRollbackRelease(), 0);
    const std::string twenty(20, 'u');
    EXPECT_EQ(sqlConnect(path_, twenty + "u", "secret"), sqlConnectRefused);
    EXPECT_NE(sqlca.sqlerrm.find("user name"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_EQ(sqlConnect(path_, "family", twenty + "p"), sqlConnectRefused);
    EXPECT_NE(sqlca.sqlerrm.find("password"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_FALSE(sqlConnected());
    EXPECT_EQ(sqlConnect(path_, twenty, twenty), 0);
}

TEST_F(ClientTest, MissingDatabaseIsRefusedAndNotCreated) {
    ASSERT_EQ(sqlRollbackRelease(), 0);
    const std::string missing = (dir_ / "nosuch.db").string();
    EXPECT_LT(sqlConnect(missing, "family", "secret"), 0);
    EXPECT_NE(sqlca.sqlerrm.find("no database file"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(sqlConnected());

    std::ofstream(dir_ / "junk.db") << "this is not a database, it is a plain text file of some length\n";
    EXPECT_LT(sqlConnect((dir_ / "junk.db").string(), "family", "secret"), 0);
    EXPECT_FALSE(sqlConnected());

    EXPECT_EQ(sqlConnect("postgresql://host/family", "family", "secret"), sqlConnectRefused);
    EXPECT_EQ(sqlExecute(levelCount, {{2, 7}}), sqlNotConnected);
}

TEST_F(ClientTest, SecondConnectIsRefused) {
    EXPECT_EQ(sqlConnect(path_, "family", "secret"), sqlConnectRefused);
    EXPECT_TRUE(sqlConnected());
    EXPECT_EQ(levelsOfRelease(7), 3) << "the first session goes on";
}

// The interrupt reaches a statement that would otherwise never end.
TEST_F(ClientTest, BreakInterruptsTheRunningStatement) {
    int code = 0;
    std::thread worker([&code] {
        code = sqlExecute("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c)"
                          " SELECT COUNT(*) INTO :b1 FROM c",
                          {});
    });
    std::atomic<bool> done = false;
    std::thread breaker([&done] {
        while (!done) {
            EXPECT_EQ(sqlBreak(), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    worker.join();
    done = true;
    breaker.join();
    EXPECT_EQ(code, -9);
}

}  // namespace
}  // namespace pelo
