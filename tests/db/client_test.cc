// The client layer against a scratch database of each backend.
#include "db/client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "backends.h"
#include "db/backend.h"
#include "db/pg_backend.h"
#include "db/sqlite_backend.h"

namespace pelo {
namespace {

using dbtest::BackendTest;

const char* const levelGet =
    "SELECT ID,NAME,COMMITDATE INTO :b1:i1,:b2:i2,:b3:i3 FROM LEVELS WHERE NAME=:b2 AND RELEASEID=:b3";
const char* const levelCount = "SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE RELEASEID=:b2";

class ClientTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(connect(), 0) << sqlca.sqlerrm;
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

    static int levelsOfRelease(std::int32_t release) {
        SqlRow row;
        EXPECT_EQ(sqlExecute(levelCount, {{2, release}}, &row), 0) << sqlca.sqlerrm;
        return row.intAt(0);
    }

    static std::vector<int> idsOf(SqlCursor& cursor) {
        std::vector<int> ids;
        SqlRow row;
        while (cursor.fetch(row) == 0)
            ids.push_back(row.intAt(0));
        return ids;
    }
};

INSTANTIATE_TEST_SUITE_P(Backends, ClientTest, dbtest::everyBackend, dbtest::backendName);

// The family's texts reach SQLite without their output lists, and the
// placeholders are numbered for positional backends in one place.
TEST(StatementTextTest, IntoListDroppedAndPlaceholdersMapped) {
    const StatementText get = translateStatement(levelGet, PlaceholderStyle::named);
    EXPECT_EQ(get.text, "SELECT ID,NAME,COMMITDATE FROM LEVELS WHERE NAME=:b2 AND RELEASEID=:b3");
    EXPECT_EQ(get.inputs, (std::vector<int>{2, 3}));


    const StatementText positional =
        translateStatement("UPDATE T SET A=:b1 WHERE B!=:b2 AND C=:b1 AND D=':b3' AND E=:b12", PlaceholderStyle::dollar);
    EXPECT_EQ(positional.text, "UPDATE T SET A=$1 WHERE B!=$2 AND C=$1 AND D=':b3' AND E=$3");
    EXPECT_EQ(positional.inputs, (std::vector<int>{1, 2, 12}));

    EXPECT_EQ(translateStatement("SELECT A FROM T WHERE N='INTO :b1'", PlaceholderStyle::named).text,
              "SELECT A FROM T WHERE N='INTO :b1'");

    // A list of ids as one input, in each backend's form; a quoted one and
    // a column that merely ends in "in" are left alone.
    const char* const list = "DELETE FROM T WHERE A=:b2 AND ID in  list( :b1 ) AND N='IN LIST(:b3)' AND MIN LIST";
    const StatementText named = translateStatement(list, PlaceholderStyle::named);
    EXPECT_EQ(named.text, "DELETE FROM T WHERE A=:b2 AND ID IN(SELECT value FROM json_each('['||:b1||']')) "
                          "AND N='IN LIST(:b3)' AND MIN LIST");
    const StatementText dollar = translateStatement(list, PlaceholderStyle::dollar);
    EXPECT_EQ(dollar.text, "DELETE FROM T WHERE A=$1 AND ID =ANY(string_to_array($2,',')::int4[]) "
                           "AND N='IN LIST(:b3)' AND MIN LIST");
    EXPECT_EQ(dollar.inputs, (std::vector<int>{2, 1}));
    EXPECT_EQ(sqlIdList(std::vector<std::int32_t>{3, -1, 2}), "3,-1,2");
    EXPECT_EQ(sqlIdList({}), "");
}

TEST_P(ClientTest, DescribeGivesDeclaredTypesAndWidths) {
    SqlCursor cursor("SELECT ID,NAME,COMMITDATE FROM LEVELS WHERE RELEASEID=:b1");
    const std::vector<SqlColumn> columns = cursor.describe();
    ASSERT_EQ(columns.size(), 3u) << sqlca.sqlerrm;
    // Types and widths: the accessor tests lay every record out from them.
    EXPECT_EQ(columns[0].name, expected<std::string>("ID", "id")) << "as the server names it";
    EXPECT_FALSE(cursor.isOpen()) << "describing does not open";
    // A failure leaves the list empty, and the server's text cut to 70.
    EXPECT_TRUE(SqlCursor("SELECT A FROM " + std::string(90, 'x')).describe().empty());
    EXPECT_EQ(sqlca.sqlcode, expected(-1, pgStatusOfSqlState("42P01")));
    EXPECT_EQ(sqlca.sqlerrm.size(), sqlMessageMax);
    EXPECT_EQ(sqlca.sqlerrm.rfind(expected("no such table", "relation"), 0), 0u) << sqlca.sqlerrm;
}

// Inputs and placeholders must match, so a wrong key number in an accessor
// is a failure instead of a silently unbound (NULL) key.  An empty text
// goes in as NULL, so "IS NULL" finds what was written empty.
TEST_P(ClientTest, InputsMustMatchPlaceholdersAndEmptyTextIsNull) {
    SqlRow row;
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}}, &row), sqlBadInputs);
    EXPECT_NE(sqlca.sqlerrm.find(":b3"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}, {3, 7}, {4, 1}}, &row), sqlBadInputs);
    EXPECT_EQ(sqlExecute(levelGet, {{2, "L1"}, {3, 7}}, &row), 0) << "a refused use must not spoil the statement";
    ASSERT_EQ(sqlExecute("INSERT INTO LEVELS VALUES(:b1,:b2,:b3,:b4)", {{1, 5}, {2, "L5"}, {3, 9}, {4, ""}}), 0)
        << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecute("SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE RELEASEID=:b3 AND COMMITDATE IS NULL",
                         {{3, 9}}, &row),
              0)
        << sqlca.sqlerrm;
    EXPECT_EQ(row.intAt(0), 1);
}

// Reopened, a cursor runs its prepared text again, as a statement run
// again does.
TEST_P(ClientTest, CursorWalksToTheEndAndStartsAgainWhenReopened) {
    const int before = sqlPrepareCount();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(levelsOfRelease(7), 3);
    SqlCursor cursor("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY ID");
    SqlRow row;
    ASSERT_EQ(cursor.open({{1, 7}}), 0);
    EXPECT_EQ(idsOf(cursor), (std::vector<int>{1, 2, 3}));
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
    EXPECT_EQ(sqlPrepareCount() - before, 2) << "every text is prepared once";
}

TEST_P(ClientTest, RollbackUndoesUncommittedWorkAndCommitKeepsIt) {
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 1}}), 0);
    ASSERT_EQ(sqlCommit(), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 2}}), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 99}}), 0) << "deleting nothing is no error";
    EXPECT_EQ(levelsOfRelease(7), 1);
    ASSERT_EQ(sqlRollback(), 0);
    EXPECT_EQ(levelsOfRelease(7), 2);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 3}}), 0);
    ASSERT_EQ(sqlRollback(), 0);
    EXPECT_EQ(levelsOfRelease(7), 2) << "work after a rollback is again one transaction";
}

// Cursors over one text, opened before and after the first change of a
// transaction, walk independently and both read on after its commit; the
// one opened after the change sees it.  A failed statement outside any
// pending change (a report query on a column the family does not have)
// spoils neither the walks in progress nor the changes and commit that
// follow.
TEST_P(ClientTest, CursorStaysOpenAcrossCommitAndFailedReads) {
    const std::string text = "SELECT ID FROM LEVELS WHERE ID>:b1 ORDER BY ID";
    SqlCursor before(text);
    SqlCursor after(text);
    SqlRow row;
    ASSERT_EQ(before.open({{1, 0}}), 0);
    ASSERT_EQ(before.fetch(row), 0);
    EXPECT_LT(sqlExecute("SELECT NOSUCH INTO :b1:i1 FROM LEVELS WHERE ID=:b1", {{1, 1}}, &row), 0);
    EXPECT_LT(SqlCursor("SELECT NOSUCH FROM LEVELS").open({}), 0);
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 3}}), 0);
    ASSERT_EQ(after.open({{1, 0}}), 0);
    ASSERT_EQ(after.fetch(row), 0);
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
    ASSERT_EQ(before.fetch(row), 0) << sqlca.sqlerrm;
    EXPECT_EQ(row.intAt(0), 2);
    EXPECT_EQ(idsOf(after), (std::vector<int>{2, 4}));
    ASSERT_EQ(sqlRollbackRelease(), 0);
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(levelsOfRelease(7), 2) << "the commit kept the deletion";
}

// A walk longer than what a backend reads from the server at a time.
TEST_P(ClientTest, LongWalkDeliversEveryRowOnce) {
    ASSERT_EQ(sqlExecute("INSERT INTO LEVELS WITH RECURSIVE c(x) AS (SELECT 100 UNION ALL SELECT x+1 FROM c"
                         " WHERE x<2599) SELECT x,'bulk',9,NULL FROM c",
                         {}),
              0)
        << sqlca.sqlerrm;
    SqlCursor cursor("SELECT ID FROM LEVELS WHERE RELEASEID=:b1 ORDER BY ID");
    ASSERT_EQ(cursor.open({{1, 9}}), 0);
    const std::vector<int> ids = idsOf(cursor);
    ASSERT_EQ(ids.size(), 2500u);
    for (std::size_t i = 0; i < ids.size(); ++i)
        ASSERT_EQ(ids[i], static_cast<int>(100 + i));
}

// Where the server spoils a transaction on a failed statement, committing
// it must fail rather than report the silent rollback as success.
TEST_P(ClientTest, CommitAfterAFailedChangeFailsWhereTheServerDropsTheWork) {
    if (!onPostgres())
        GTEST_SKIP() << "SQLite undoes only the failed statement";
    ASSERT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 1}}), 0);
    EXPECT_LT(sqlExecute("DELETE FROM NOWHERE", {}), 0);
    EXPECT_LT(sqlCommit(), 0);
    EXPECT_EQ(sqlca.sqlcode, pgStatusOfSqlState("25P02"));
    EXPECT_EQ(levelsOfRelease(7), 3) << "the session goes on, without the dropped work";
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

// PostgreSQL's codes name their SQLSTATE, in both forms, and turn back.
TEST(PgStatusTest, CodesNameTheirSqlStateAndTurnBack) {
    static_assert(pgStatusOfSqlState("57014") == -57014);
    static_assert(pgStatusOfSqlState("42P01") == -6944177);
    EXPECT_NE(pgStatusOfSqlState("0000A"), pgStatusOfSqlState("00010")) << "the two forms never meet";
    for (const char* notAState : {"not a state", "", "0000", "000000"})
        EXPECT_EQ(pgStatusOfSqlState(notAState), pgStatusOfSqlState("XX000")) << '"' << notAState << '"';
    EXPECT_EQ(pgStatusOfSqlState("42p01"), pgStatusOfSqlState("XX000")) << "SQLSTATEs are upper case";
    for (const char* state : {"57014", "42P01", "ZZZZZ", "0000A", "03000"}) {
        const int code = pgStatusOfSqlState(state);
        EXPECT_LT(code, sqlCursorNotOpen) << state << " falls among the client layer's codes";
        EXPECT_EQ(pgSqlStateOfStatus(code), state);
    }
    EXPECT_EQ(pgSqlStateOfStatus(0), "");
    EXPECT_EQ(pgSqlStateOfStatus(sqlNotFound), "");
    EXPECT_EQ(pgSqlStateOfStatus(-100009), "") << "base 36 without a letter is no SQLSTATE of that form";
}

TEST_P(ClientTest, SecondConnectAndLoginLongerThan20CharactersAreRefused) {
    EXPECT_EQ(connect(), sqlConnectRefused);
    EXPECT_EQ(levelsOfRelease(7), 3) << "the first session goes on";
    ASSERT_EQ(sqlRollbackRelease(), 0);
    const std::string twenty(20, 'u');
    EXPECT_EQ(sqlConnect(db_->target(), twenty + "u", db_->password()), sqlConnectRefused);
    EXPECT_NE(sqlca.sqlerrm.find("user name"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_EQ(sqlConnect(db_->target(), db_->user(), twenty + "p"), sqlConnectRefused);
    EXPECT_NE(sqlca.sqlerrm.find("password"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_FALSE(sqlConnected());
    // Twenty characters reach the database, which has no such login.
    const int code = sqlConnect(db_->target(), twenty, twenty);
    if (onPostgres())
        EXPECT_EQ(code, pgStatusOfSqlState("28P01")) << sqlca.sqlerrm;
    else
        EXPECT_EQ(code, 0);
}

// Without a server to answer, the client library's own reason is the text.
TEST(ClientConnectTest, ServerThatIsNotThereIsRefused) {
    dbtest::ScratchDatabase db(dbtest::Backend::sqlite);
    const std::string target = "postgresql:///family?host=" + (db.dir() / "nosocket").string();
    EXPECT_EQ(sqlConnect(target, "family", "secret"), pgStatusOfSqlState("08001"));
    EXPECT_NE(sqlca.sqlerrm.find("No such file or directory"), std::string::npos) << sqlca.sqlerrm;
    EXPECT_FALSE(sqlConnected());
}

// The interrupt reaches a statement that would otherwise never end.
TEST_P(ClientTest, BreakInterruptsTheRunningStatement) {
    int code = 0;
    std::thread worker([&code] {
        // Endless on every backend: the count never gets its last row.
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
    EXPECT_EQ(code, expected(-9, pgStatusOfSqlState("57014")));
    EXPECT_EQ(levelsOfRelease(7), 3) << "the session serves the next statement";
}

/// Records the end of the run, as the driver's signal handler does, from
/// another thread a moment after it is made; the recording is forgotten
/// when it goes.
class EndOfTheRunSoon {
public:
    EndOfTheRunSoon() {
        pending = 0;
        sqlSetTerminationFlag(&pending);
        thread_ = std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            pending = SIGTERM;
        });
    }
    EndOfTheRunSoon(const EndOfTheRunSoon&) = delete;
    EndOfTheRunSoon& operator=(const EndOfTheRunSoon&) = delete;
    ~EndOfTheRunSoon() {
        thread_.join();
        sqlSetTerminationFlag(nullptr);
    }

private:
    static inline volatile std::sig_atomic_t pending = 0;
    std::thread thread_;
};

// The end of the run, as the driver's signal handler records it, cuts
// short a statement that waits on a server: the server cancels it, within
// a bound far above the grace, and the session goes on.  Only PostgreSQL
// has a server to wait on.
TEST_P(ClientTest, EndOfTheRunCancelsTheStatementAndTheSessionGoesOn) {
    if (!onPostgres())
        GTEST_SKIP() << "an SQLite statement waits on no server";
    const auto start = std::chrono::steady_clock::now();
    {
        const EndOfTheRunSoon end;
        SqlRow row;
        EXPECT_EQ(sqlExecute("SELECT 1 INTO :b1 FROM pg_sleep(60)", {}, &row), pgStatusOfSqlState("57014"))
            << sqlca.sqlerrm;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    }
    EXPECT_EQ(levelsOfRelease(7), 3) << "a statement sent after the end was recorded still runs";
}

// A server that stops answering while the end of the run is recorded
// cannot cancel anything: the connection is dropped, and nothing waits on
// the silent server again.
TEST_P(ClientTest, SilentServerLosesTheConnection) {
    if (!onPostgres())
        GTEST_SKIP() << "an SQLite statement waits on no server";
    SqlRow row;
    ASSERT_EQ(sqlExecute("SELECT pg_backend_pid() INTO :b1 FROM LEVELS WHERE ID=1", {}, &row), 0);
    const pid_t server = row.intAt(0);
    ASSERT_GT(server, 0);
    ASSERT_EQ(kill(server, SIGSTOP), 0) << "cannot stop the server process " << server;
    struct Resumed {
        pid_t pid;
        ~Resumed() { kill(pid, SIGCONT); }
    } resumed{server};
    const EndOfTheRunSoon end;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sqlExecute(levelCount, {{2, 7}}, &row), pgStatusOfSqlState("08006"));
    EXPECT_EQ(sqlca.sqlerrm, "the server did not answer; the connection was dropped");
    EXPECT_EQ(sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 1}}), pgStatusOfSqlState("08006"));
    EXPECT_LT(sqlRollbackRelease(), 0);
    EXPECT_FALSE(sqlConnected());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
}  // namespace pelo
