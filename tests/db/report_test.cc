// The report query against a scratch database of each backend: slots,
// binding, refusals.
#include "db/report.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "backends.h"
#include "db/client.h"
#include "db/pg_backend.h"

namespace pelo {
namespace {

using dbtest::BackendTest;

const char* const userColumns = "id,login,name,\n AGE , REGION";
const char* const hostile = "x' OR '1'='1";

class ReportTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(connect(), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript("CREATE TABLE Users(ID INTEGER, LOGIN VARCHAR(16), NAME VARCHAR(32),"
                                   " AGE INTEGER, REGION VARCHAR(16));"
                                   "INSERT INTO Users VALUES(1,'alice','Alice',41,'north');"
                                   "INSERT INTO Users VALUES(2,'bob','Bob',NULL,'');"
                                   "INSERT INTO Users VALUES(3,'carol','Carol',7,'north');"),
                  0)
            << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);  // a failed read must spoil no pending change
    }

    int reportUser(std::string_view login, std::string_view columns = userColumns) {
        return dbReport("Users", {"login", login}, dbConvertRout, errors_, columns, slots_);
    }

    std::string errors_;
    ReportSlots slots_;
    std::array<std::string, reportSlotCount>& formatOffset = slots_.formatOffset;
    std::vector<FormatInt>& formatInt = slots_.formatInt;
};

INSTANTIATE_TEST_SUITE_P(Backends, ReportTest, dbtest::everyBackend, dbtest::backendName);

// Each key's row lands in the slots in select order, slot 0 and those past
// the last item empty; a NULL number or an empty text leaves its slot empty,
// also after a row that filled it.  Each text is prepared once, whatever
// the keys it runs with.
struct SlotsCase {
    const char* name;
    ReportKey key;
    std::array<const char*, 7> slots;
};

TEST_P(ReportTest, SlotsCarryTheRowInSelectOrder) {
    const SlotsCase cases[] = {
        {"TextKey", {"login", "alice"}, {"", "1", "alice", "Alice", "41", "north", ""}},
        {"NullNumberAndEmptyText", {"login", "bob"}, {"", "2", "bob", "Bob", "", "", ""}},
        {"IntegerKey", {"id", std::int32_t{3}}, {"", "3", "carol", "Carol", "7", "north", ""}},
        {"TextKeyAgain", {"login", "carol"}, {"", "3", "carol", "Carol", "7", "north", ""}},
    };
    const int before = sqlPrepareCount();
    for (const SlotsCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(dbReport("Users", c.key, dbConvertRout, errors_, userColumns, slots_), 0) << errors_;
        for (std::size_t i = 0; i < c.slots.size(); ++i)
            EXPECT_EQ(formatOffset[i], c.slots[i]) << "slot " << i;
    }
    EXPECT_EQ(sqlPrepareCount() - before, 2) << "one text by login, one by id";
    ASSERT_EQ(formatInt.size(), 2u);
    EXPECT_EQ(formatInt[0].slot, 1);
    EXPECT_EQ(formatInt[1].slot, 4);
    EXPECT_EQ(formatInt[1].place, 3);

    resetConfigAddr(slots_);
    EXPECT_EQ(formatOffset[1], "");
    EXPECT_EQ(formatOffset[4], "");
    EXPECT_EQ(formatOffset[2], "carol") << "text slots keep their value";
}

// No matching row empties every slot, also those an earlier row filled.
TEST_P(ReportTest, KeyValueIsBoundNeverSpliced) {
    ASSERT_EQ(reportUser("alice"), 0);
    ASSERT_EQ(reportUser(hostile), 0) << errors_;
    for (const std::string& slot : formatOffset)
        EXPECT_EQ(slot, "") << "spliced, the value would have matched every user";

    ASSERT_EQ(sqlExecute("INSERT INTO Users VALUES(9,:b1,'Mallory',1,'south')", {{1, hostile}}), 0);
    ASSERT_EQ(reportUser(hostile), 0) << errors_;
    EXPECT_EQ(formatOffset[1], "9");
    EXPECT_EQ(formatOffset[2], hostile);
}

TEST_P(ReportTest, NamesThatAreNotIdentifiersAreRefused) {
    ASSERT_EQ(reportUser("alice"), 0);
    const int before = sqlPrepareCount();
    EXPECT_EQ(dbReport("Users; DROP TABLE Users", {"login", "bob"}, dbConvertRout, errors_, userColumns, slots_), 1);
    EXPECT_EQ(errors_.rfind("0010-061 Database error, -1006 (not an SQL name: Users; DROP TABLE Users)", 0), 0u)
        << errors_;
    EXPECT_EQ(dbReport("Users", {"login='bob' OR login", "bob"}, dbConvertRout, errors_, userColumns, slots_), 1);
    EXPECT_EQ(reportUser("bob", "id,(SELECT NAME FROM Users)"), 1);
    EXPECT_EQ(reportUser("bob", "id,,name"), 1);
    EXPECT_EQ(ReportRows().load("Users; DROP TABLE Users", "login", std::vector<std::string>{"bob"}, errors_,
                                userColumns),
              1);
    EXPECT_EQ(sqlPrepareCount(), before) << "nothing refused may reach the database";
    EXPECT_EQ(formatOffset[2], "alice") << "a refused query leaves the slots alone";
}

TEST_P(ReportTest, DatabaseFailureGoesToTheBufferAndKeepsTheSlots) {
    ASSERT_EQ(reportUser("alice"), 0);
    errors_ = "stale";
    EXPECT_EQ(reportUser("bob", "id,NOSUCHCOL"), 1);
    const std::string cause =
        expected<std::string>("-1 (no such column: NOSUCHCOL)",
                              std::to_string(pgStatusOfSqlState("42703")) + " (column \"nosuchcol\" does not exist)");
    EXPECT_EQ(errors_.rfind("0010-061 Database error, " + cause + ", has occurred.", 0), 0u) << errors_;
    EXPECT_EQ(formatOffset[2], "alice");

    // A failed bulk read holds nothing: each key's own query meets the failure.
    ReportRows rows;
    errors_.clear();
    EXPECT_EQ(rows.load("Users", "login", std::vector<std::string>{"alice"}, errors_, "id,NOSUCHCOL"), 1);
    EXPECT_EQ(errors_.rfind("0010-061 Database error, " + cause, 0), 0u) << errors_;
    EXPECT_EQ(rows.report("Users", {"login", "alice"}, dbConvertRout, errors_, "id,NOSUCHCOL", slots_), 1);
}

int rowsSeen = 0;

TEST_P(ReportTest, RoutineSeesEveryRow) {
    rowsSeen = 0;
    const ReportRoutine countAll = [](const SqlRow& row, ReportSlots& slots) {
        ++rowsSeen;
        EXPECT_EQ(slots.formatOffset[2], row.textAt(1)) << "the slots show the row being handed over";
        return 0;
    };
    ASSERT_EQ(dbReport("Users", {"REGION", "north"}, countAll, errors_, userColumns, slots_), 0) << errors_;
    EXPECT_EQ(rowsSeen, 2);
    EXPECT_EQ(formatOffset[2], "") << "the row buffer is cleared before the fetch that ends the walk";
}

TEST_P(ReportTest, ItemsPastTheLastSlotAreDropped) {
    std::string columns = "login";
    for (int i = 0; i < reportSlotCount; ++i)
        columns += ",id";
    ASSERT_EQ(reportUser("carol", columns), 0) << errors_;
    EXPECT_EQ(formatOffset[1], "carol");
    EXPECT_EQ(formatOffset[reportSlotCount - 1], "3");
}

// Keys of one bulk read, each against what its own query gives.  A key
// read singly (several rows, or a text the list cannot carry) meets the
// dropped table; a held one never reaches the database again.
struct BulkCase {
    const char* name;
    SqlValue key;
    bool held;
};

const char* const jsonHostile = "q\"],[\"alice\\";

const BulkCase bulkCases[] = {
    {"NumberAndTexts", "alice", true},      {"NullNumberAndEmptyText", "bob", true},
    {"NoRow", "nobody", true},               {"HostileKeyAndTexts", jsonHostile, true},
    {"SqlHostileKey", hostile, true},        {"ById", std::int32_t{3}, true},
    {"IdWithoutRow", std::int32_t{99}, true}, {"TwoRows", "twin", false},
    {"EmptyKey", "", false},                 {"NotUtf8", "\xff", false},
};

TEST_P(ReportTest, BulkReadFillsTheSlotsOfTheSingleQuery) {
    ASSERT_EQ(sqlExecute("INSERT INTO Users VALUES(7,:b1,:b2,-5,'\\n')", {{1, jsonHostile}, {2, hostile}}), 0);
    ASSERT_EQ(sqlExecute("INSERT INTO Users VALUES(8,:b1,'Mallory',1,'south')", {{1, hostile}}), 0);
    ASSERT_EQ(sqlExecuteScript("INSERT INTO Users VALUES(5,'twin','One',1,'a');"
                               "INSERT INTO Users VALUES(6,'twin','Two',2,'b');"),
              0);
    ASSERT_EQ(sqlCommit(), 0);  // a query failing below must not spoil the rows' transaction
    std::vector<std::string> logins;
    std::vector<std::int32_t> ids;
    std::vector<ReportSlots> single;
    for (const BulkCase& c : bulkCases) {
        if (const auto* id = std::get_if<std::int32_t>(&c.key))
            ids.push_back(*id);
        else
            logins.emplace_back(std::get<std::string_view>(c.key));
        dbReport("Users", {std::holds_alternative<std::int32_t>(c.key) ? "id" : "login", c.key}, dbConvertRout,
                 errors_, userColumns, slots_);
        single.push_back(slots_);
    }
    ReportRows byLogin, byId;
    ASSERT_EQ(byLogin.load("Users", "login", logins, errors_, userColumns), 0) << errors_;
    ASSERT_EQ(byId.load("Users", "id", ids, errors_, userColumns), 0) << errors_;
    ASSERT_EQ(sqlExecuteScript("DROP TABLE Users"), 0) << sqlca.sqlerrm;

    for (std::size_t i = 0; i < std::size(bulkCases); ++i) {
        const BulkCase& c = bulkCases[i];
        SCOPED_TRACE(c.name);
        const bool byNumber = std::holds_alternative<std::int32_t>(c.key);
        slots_ = {};
        const int result = (byNumber ? byId : byLogin)
                               .report("Users", {byNumber ? "id" : "login", c.key}, dbConvertRout, errors_,
                                       userColumns, slots_);
        EXPECT_EQ(result, c.held ? 0 : 1) << errors_;
        if (!c.held)
            continue;
        EXPECT_EQ(formatOffset, single[i].formatOffset);
        ASSERT_EQ(formatInt.size(), single[i].formatInt.size());
        for (std::size_t n = 0; n < formatInt.size(); ++n)
            EXPECT_EQ(formatInt[n].slot, single[i].formatInt[n].slot);
    }
}

}  // namespace
}  // namespace pelo
