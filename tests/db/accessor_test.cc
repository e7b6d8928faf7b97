// The record accessors against a real family database made from the
// schema script of each backend: the walk's state machine as a table of
// mode sequences, then the accessors whose rows carry a rule a whole run
// would not show (dates across 1999/2000, order, NULLs, lists of ids), and
// the fatal path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "backends.h"
#include "db/accessor.h"
#include "db/client.h"
#include "db/dbgChange.h"
#include "db/dbgDefect.h"
#include "db/dbgFile.h"
#include "db/dbgFileview.h"
#include "db/dbgLevel.h"
#include "db/dbgNoteview.h"
#include "db/dbgSequence.h"
#include "db/dbgTrack.h"
#include "db/dbgVersion.h"
#include "db/records.h"
#include "db/schema.h"
#include "db/session.h"

namespace pelo {
namespace {

// ---------------------------------------------------------------------------
// A family database of each backend, connected for the test.

class FamilyDatabase : public dbtest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(connect(), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript(familySchemaSql()), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
    }
    /// For a death test: the child leaves through exit, never reaching
    /// TearDown, so it removes its scratch database on the way out.
    void removeDatabaseAtExit() const { db_->removeAtExit(); }

    static void run(std::string_view sql) {
        ASSERT_EQ(sqlExecuteScript(sql), 0) << sqlca.sqlerrm << "\n" << sql;
    }
    static std::int32_t number(std::string_view select) {
        SqlRow row;
        EXPECT_EQ(sqlExecute(select, {}, &row), 0) << sqlca.sqlerrm << "\n" << select;
        return row.intAt(0);
    }
};

// A small family: two releases with levels committed on both sides of
// 2000, tracks with and without levels, defects and features with their
// records, and files sharing a source across releases.
// Rows deliberately carry NULLs and point at objects that do not exist.
constexpr const char* sampleFamily = R"(
INSERT INTO RELEASES VALUES
 (1,'rel1',62,'yes','first release',5,'98/01/01 08:00:00',NULL,'100/02/01 08:00:00',100,'prc','yes','yes','yes','yes','no'),
 (2,'rel2',62,'no','second release',6,'99/01/01 08:00:00',NULL,'100/03/01 08:00:00',200,'prc','yes','no','yes','yes','yes');
INSERT INTO LEVELS VALUES
 (1,'lev1',1,5,'99/05/01 10:00:00','99/06/01 10:00:00','99/06/01 10:00:00','complete','production',10),
 (2,'lev2',1,5,'99/12/01 10:00:00','100/01/01 00:00:00','100/01/01 00:00:00','complete','development',20),
 (3,'lev3',1,6,'100/01/05 10:00:00',NULL,'100/01/05 10:00:00','integrate','development',0),
 (4,'lev1',2,6,'100/02/01 10:00:00','100/02/02 10:00:00','100/02/02 10:00:00','commit','production',5),
 (5,'lev1b',1,5,'99/12/30 10:00:00','99/12/31 23:59:59','99/12/31 23:59:59','complete','production',7);
INSERT INTO TRACKS VALUES
 (11,1,21,5,'complete','lev1','lev1','99/05/02 10:00:00','99/06/01 10:00:00'),
 (12,1,22,6,'complete','lev2','lev2','99/05/03 10:00:00','100/01/01 00:00:00'),
 (13,2,21,5,'commit','lev1','lev1','100/01/20 10:00:00','100/02/02 10:00:00'),
 (14,1,23,5,'test',NULL,NULL,'99/11/01 10:00:00','99/12/31 23:59:59'),
 (15,1,22,6,'complete',NULL,NULL,'99/11/02 10:00:00','100/01/02 00:00:00'),
 (16,1,23,5,'fix',NULL,NULL,'99/11/03 10:00:00','99/10/01 00:00:00'),
 (17,1,24,5,'complete',NULL,NULL,'99/11/04 10:00:00','100/01/01 00:00:00');
INSERT INTO CHANGES VALUES
 (31,11,41,51,1,'delta',5), (31,11,42,52,1,'delta',5), (32,11,41,53,1,'rename',5), (31,12,41,54,2,'delta',6);
INSERT INTO DEFECTS VALUES
 (21,'defect','d','21',61,'env1','closed','2','abstract 21','ref21','program_defect','lev1',
  '99/06/01 10:00:00','99/04/01 10:00:00','99/04/02 10:00:00','99/04/03 10:00:00','99/06/01 10:00:00',5,6,10,NULL,1),
 (22,'feature','f','22',61,NULL,'design',NULL,'abstract 22',NULL,NULL,NULL,
  '99/04/05 10:00:00','99/04/04 10:00:00',NULL,NULL,NULL,6,5,3,NULL,1),
 (24,'defect','d','24',62,NULL,'review','1','abstract 24',NULL,NULL,NULL,
  '99/04/09 10:00:00','99/04/08 10:00:00',NULL,NULL,NULL,5,5,1,NULL,9);
INSERT INTO NOTES VALUES
 (21,5,'open','100/01/01 00:00:00','second note'),
 (21,6,'comment','99/12/31 23:59:59','first note'),
 (22,5,'open','99/01/01 00:00:00','feature note');
INSERT INTO FILES VALUES
 (41,61,71,31,32,51,53,'99/05/02 10:00:00','99/12/31 10:00:00',NULL,NULL,'99/12/31 10:00:00','a.c','text',1,'u5','644'),
 (42,61,72,31,31,52,52,'99/05/02 10:00:00','99/05/02 10:00:00',NULL,NULL,'99/05/02 10:00:00','b.gif','binary',1,'u5','444'),
 (43,62,71,31,32,53,53,'100/01/20 10:00:00','100/01/20 10:00:00','100/03/01 00:00:00',NULL,'100/03/01 00:00:00','a.c','text',2,'u6','644'),
 (44,62,73,33,33,55,55,'100/01/21 10:00:00',NULL,NULL,NULL,'100/01/21 10:00:00','c.c','text',2,NULL,NULL);
INSERT INTO PATH VALUES (31,'src'), (32,'src/new');
INSERT INTO VERSIONS VALUES
 (51,0,71,5,10,8,2,'initial','99/05/02 10:00:00','1.1',100),
 (52,0,72,5,0,0,0,NULL,'99/05/02 10:00:00','1.1',2048),
 (53,51,71,6,12,9,3,'second','99/12/31 10:00:00','1.2',120),
 (54,53,71,6,13,10,3,'third','100/01/02 10:00:00','1.3',130);
INSERT INTO COMPONENTS VALUES
 (61,'comp61',5,'a leaf','98/01/01 08:00:00',NULL,'98/01/01 08:00:00','prc','yes','no','yes','no'),
 (62,'root',5,'the root','98/01/01 08:00:00',NULL,'98/01/01 08:00:00','prc','no','no','no','no');
INSERT INTO USERS VALUES
 (0,'family','Family Login','yes','admin',NULL,'98/01/01 08:00:00',NULL,'98/01/01 08:00:00'),
 (5,'u5','User Five','no','dev','5 Main Street','98/01/02 08:00:00',NULL,'98/01/02 08:00:00'),
 (6,'u6','User Six','yes','qa',NULL,'98/01/03 08:00:00',NULL,'98/01/03 08:00:00');
)";

class SampleFamily : public FamilyDatabase {
protected:
    void SetUp() override {
        FamilyDatabase::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        run(sampleFamily);
        ASSERT_EQ(sqlCommit(), 0);
    }
};

// ---------------------------------------------------------------------------
// Reading records back field by field.  The layout of a record is derived
// from the schema alone (an int column is an aligned int32_t, a text column
// of width N takes textField(N) bytes), so comparing a fetched record with the row
// that SELECT * gives checks records.h, the column tables and the copying
// at once.

using Fields = std::vector<std::string>;

struct Layout {
    std::vector<SqlColumn> columns;
    std::size_t size = 0;
};

Layout layoutOf(std::string_view select) {
    SqlCursor cursor{std::string(select)};
    Layout layout{cursor.describe(), 0};
    std::size_t offset = 0;
    std::size_t align = 1;
    for (const SqlColumn& column : layout.columns) {
        if (column.type == SqlColumn::Type::integer) {
            offset = (offset + 3) / 4 * 4 + 4;
            align = 4;
        } else {
            offset += textField(static_cast<std::size_t>(column.length));
        }
    }
    layout.size = (offset + align - 1) / align * align;
    return layout;
}

Fields fieldsOfRecord(const std::string& bytes, const Layout& layout) {
    Fields fields;
    std::size_t offset = 0;
    for (const SqlColumn& column : layout.columns) {
        if (column.type == SqlColumn::Type::integer) {
            offset = (offset + 3) / 4 * 4;
            std::int32_t value = 0;
            std::memcpy(&value, bytes.data() + offset, sizeof value);
            fields.push_back(std::to_string(value));
            offset += 4;
        } else {
            const std::size_t room = textField(static_cast<std::size_t>(column.length));
            const std::size_t length = strnlen(bytes.data() + offset, room);
            fields.push_back(length == room ? "<unterminated>" : bytes.substr(offset, length));
            offset += room;
        }
    }
    return fields;
}

/// The rows of a select as the record fields they must become; the layout
/// of its select list comes back too.
std::vector<Fields> rowsOf(std::string_view select, Layout* layout = nullptr) {
    const Layout described = layoutOf(select);
    SqlCursor cursor{std::string(select)};
    EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm << "\n" << select;
    std::vector<Fields> rows;
    for (SqlRow row; cursor.fetch(row) == 0;) {
        Fields fields;
        for (int i = 0; i < row.columns(); ++i)
            fields.push_back(described.columns[i].type == SqlColumn::Type::integer
                                 ? std::to_string(row.intAt(i))
                                 : row.textAt(i));
        rows.push_back(fields);
    }
    cursor.close();
    if (layout != nullptr)
        *layout = described;
    return rows;
}

template <class R>
std::string bytesOf(const R& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

/// A record full of a byte no fetch writes, so untouched fields show.
template <class R>
std::unique_ptr<R> scribbled() {
    auto record = std::make_unique<R>();
    std::memset(record.get(), 0x5A, sizeof(R));
    return record;
}

// ---------------------------------------------------------------------------
// The walk's state machine, on the Levels module: mode 0 opens and binds
// the keys, mode 1 delivers the next row (opening first when closed) and
// mode 2 closes; a call answers 0 while it opens or delivers a row and 1
// at the end, after a close, or for a mode 0 on an open walk, which closes
// it.  The end closes the walk, so the next mode 1 starts again.  Release
// 1 has four levels, release 2 one (ID 4), release 3 none.

struct WalkCall {
    int mode;
    std::int32_t releaseId;  ///< the key passed
    int result;
    std::int32_t delivered;  ///< the RELEASEID of the row delivered; 0: none, the record untouched
};

struct ModeSequence {
    const char* name;
    std::vector<WalkCall> calls;
};

const ModeSequence modeSequences[] = {
    {"EmptyWalkEndsAtTheFirstFetchAndStaysHarmless", {{0, 3, 0, 0}, {1, 3, 1, 0}, {2, 3, 1, 0}, {1, 3, 1, 0}}},
    {"WalkStartsWithAFetchAndStartsAgainAfterTheEnd",
     {{1, 2, 0, 2}, {1, 2, 1, 0}, {1, 2, 0, 2}, {2, 2, 1, 0}, {2, 2, 1, 0}}},
    {"KeysAreBoundOnlyWhenTheWalkOpens", {{0, 2, 0, 0}, {1, 1, 0, 2}, {1, 1, 1, 0}, {1, 1, 0, 1}}},
    {"ClosedWalkReopensWithNewKeys", {{0, 1, 0, 0}, {1, 1, 0, 1}, {2, 1, 1, 0}, {1, 2, 0, 2}, {1, 2, 1, 0}}},
    {"ModeZeroOnAnOpenWalkClosesIt", {{0, 2, 0, 0}, {1, 2, 0, 2}, {0, 2, 1, 0}, {1, 2, 0, 2}, {1, 2, 1, 0}}},
};

using EveryAccessor = SampleFamily;
INSTANTIATE_TEST_SUITE_P(Backends, EveryAccessor, dbtest::everyBackend, dbtest::backendName);

TEST_P(EveryAccessor, WalkFollowsEveryModeSequence) {
    for (const ModeSequence& sequence : modeSequences) {
        SCOPED_TRACE(sequence.name);
        auto level = scribbled<LevelRecord>();
        for (std::size_t i = 0; i < sequence.calls.size(); ++i) {
            const WalkCall& call = sequence.calls[i];
            const std::string before = bytesOf(*level);
            EXPECT_EQ(dbgLevelGetByRel(call.mode, *level, call.releaseId), call.result) << "call " << i;
            if (call.delivered != 0) {
                EXPECT_EQ(level->RELEASEID, call.delivered) << "call " << i;
            } else {
                EXPECT_EQ(bytesOf(*level), before) << "call " << i << " wrote the record";
            }
        }
        dbgLevelGetByRel(2, *level, 0);
    }
}

// ---------------------------------------------------------------------------
// The accessors whose rows carry a rule a whole run may not show: order by
// dates and key columns on each backend, a date bound met exactly, NULLs,
// a key without rows.  The scenario and differential runs read every other
// accessor and compare what it delivered byte for byte.  Expected rows are
// named by conditions on their table and read with SELECT *, so the tables
// say which rows an accessor must deliver, not how it finds them.  Records
// start full of junk, so a field a fetch leaves alone shows.

/// An accessor, what it delivers (the bytes of each record), and the rows
/// it must deliver.
struct AccessorCase {
    const char* accessor;
    std::function<std::vector<std::string>()> run;
    std::string table;
    std::vector<std::string> rows;  ///< conditions naming the rows, one per row where ordered
    bool ordered = false;
};

/// A Get: the key that exists delivers its row; one that does not answers
/// 1 and writes nothing.
template <class R, class... Params, class... Hit, class... Miss>
AccessorCase getCase(const char* accessor, int (*get)(R&, Params...), std::tuple<Hit...> hit,
                     std::tuple<Miss...> miss, std::string table, std::string row) {
    auto run = [get, hit, miss] {
        auto record = scribbled<R>();
        const std::string before = bytesOf(*record);
        auto call = [&](auto... keys) { return get(*record, keys...); };
        EXPECT_EQ(std::apply(call, miss), 1);
        EXPECT_EQ(bytesOf(*record), before) << "a Get that finds nothing writes nothing";
        EXPECT_EQ(std::apply(call, hit), 0);
        return std::vector<std::string>{bytesOf(*record)};
    };
    return {accessor, run, std::move(table), {std::move(row)}};
}

/// A walk from mode 0 to the end; mode 2 then answers 1.
template <class R, class... Params, class... Keys>
AccessorCase walkCase(const char* accessor, int (*walk)(int, R&, Params...), std::tuple<Keys...> keys,
                      std::string table, std::vector<std::string> rows, bool ordered = false) {
    auto run = [walk, keys] {
        auto record = scribbled<R>();
        auto call = [&](int mode) {
            return std::apply([&](auto... k) { return walk(mode, *record, k...); }, keys);
        };
        std::vector<std::string> records;
        EXPECT_EQ(call(0), 0);
        while (call(1) == 0)
            records.push_back(bytesOf(*record));
        EXPECT_EQ(call(2), 1) << "mode 2 after the end";
        return records;
    };
    return {accessor, run, std::move(table), std::move(rows), ordered};
}

template <class R>
R recordOf(int (*)(R&, std::int32_t));  // the record type of a get, for decltype

// A bulk read hands out, for every key of a load, the records its single
// accessor gives, in the same order, a key without rows included; a key
// the load left out is read through the single accessor.  The second load
// replaces the first.  The whole runs compare every bulk read with the
// single reads of a binary that had none; here are the keys they miss.
TEST_P(EveryAccessor, BulkReadsGiveWhatTheSingleAccessorsGive) {
    const auto sameWalks = [](auto& bulk, auto single, const std::vector<std::int32_t>& keys,
                              std::int32_t unloaded) {
        bulk.load(std::vector<std::int32_t>{unloaded});
        bulk.load(keys);
        std::vector<std::int32_t> every = keys;
        every.push_back(unloaded);
        for (const std::int32_t key : every) {
            SCOPED_TRACE("key " + std::to_string(key));
            std::vector<std::string> fromBulk, fromSingle;
            bulk.forEach(key, [&](const auto& record) { fromBulk.push_back(bytesOf(record)); });
            forEachRow(single, [&](const auto& record) { fromSingle.push_back(bytesOf(record)); }, key);
            EXPECT_EQ(fromBulk, fromSingle);
        }
        EXPECT_FALSE(bulk.holds(unloaded));
        bulk.clear();
        EXPECT_FALSE(bulk.holds(keys.front()));
    };
    const auto sameGets = [](auto& bulk, auto single, const std::vector<std::int32_t>& keys, std::int32_t unloaded) {
        bulk.load(keys);
        std::vector<std::int32_t> every = keys;
        every.push_back(unloaded);
        for (const std::int32_t key : every) {
            SCOPED_TRACE("key " + std::to_string(key));
            using R = decltype(recordOf(single));
            auto a = std::make_unique<R>(), b = std::make_unique<R>();
            EXPECT_EQ(bulk.get(*a, key), single(*b, key));
            EXPECT_EQ(bytesOf(*a), bytesOf(*b));
        }
        bulk.clear();
    };
    sameWalks(dbgChangeBulkForTrack(), dbgChangeGetListForTrack, {12, 11, 99}, 13);
    sameWalks(dbgNoteviewBulkForDefect(), dbgNoteviewGet, {21, 99}, 22);
    sameGets(dbgTrackBulkById(), dbgTrackGetById, {15, 11, 99}, 12);
    sameGets(dbgVersionBulkBySource(), dbgVersionGetById, {71}, 99);
}

// Dates are the family's texts; their order is the calendar's, also where
// "100/..." (2000) would sort before "99/..." (1999) as plain bytes.  The
// tracks without a level split at a date: before it into the archive,
// after it on hold, and a track updated at that very time in neither.
TEST_P(EveryAccessor, GetsAndWalksDeliverTheirRows) {
    using std::tuple;
    const char* const y2k = "100/01/01 00:00:00";
    const char* const lastOf1999 = "99/12/31 23:59:59";
    const AccessorCase cases[] = {
        getCase("dbgLevelGet", dbgLevelGet, tuple{"lev1", 2}, tuple{"lev9", 1}, "LEVELS", "ID=4"),
        getCase("dbgFileviewGetById", dbgFileviewGetById, tuple{44}, tuple{99}, "FILEVIEW", "ID=44"),
        walkCase("dbgLevelGetByRelAndDate", dbgLevelGetByRelAndDate, tuple{1, y2k}, "LEVELS", {"ID IN (1,5)"}),
        walkCase("dbgLevelGetByRelAndDate", dbgLevelGetByRelAndDate, tuple{1, lastOf1999}, "LEVELS", {"ID=1"}),
        walkCase("dbgLevelCommittedGetByRel", dbgLevelCommittedGetByRel, tuple{1}, "LEVELS",
                 {"ID=1", "ID=5", "ID=2"}, true),
        walkCase("dbgChangeGetListForTrack", dbgChangeGetListForTrack, tuple{11}, "CHANGES",
                 {"TRACKID=11 AND VERSIONID=52", "TRACKID=11 AND VERSIONID=53", "TRACKID=11 AND VERSIONID=51"},
                 true),
        walkCase("dbgNoteviewGet", dbgNoteviewGet, tuple{21}, "NOTEVIEW",
                 {"REMARKS='first note'", "REMARKS='second note'"}, true),
        walkCase("dbgTrackGetByReleaseActualIsNull", dbgTrackGetByReleaseActualIsNull, tuple{1}, "TRACKS",
                 {"ID IN (14,15,17)"}),
        walkCase("dbgTrackGetByReleaseCommittedNoLevel", dbgTrackGetByReleaseCommittedNoLevel, tuple{1, y2k},
                 "TRACKS", {"ID=14"}),
        walkCase("dbgTrackGetByReleaseCommittedNoLevel", dbgTrackGetByReleaseCommittedNoLevel,
                 tuple{1, "100/01/02 00:00:00"}, "TRACKS", {"ID IN (14,17)"}),
        walkCase("dbgTrackGetByReleaseCommittedNoLevelHold", dbgTrackGetByReleaseCommittedNoLevelHold,
                 tuple{1, y2k}, "TRACKS", {"ID=15"}),
        walkCase("dbgTrackGetByReleaseCommittedNoLevelHold", dbgTrackGetByReleaseCommittedNoLevelHold,
                 tuple{1, lastOf1999}, "TRACKS", {"ID IN (15,17)"}),
    };
    for (const AccessorCase& c : cases) {
        SCOPED_TRACE(c.accessor);
        Layout layout;
        std::vector<Fields> expected;
        for (const std::string& condition : c.rows) {
            const std::vector<Fields> rows = rowsOf("SELECT * FROM " + c.table + " WHERE " + condition, &layout);
            expected.insert(expected.end(), rows.begin(), rows.end());
        }
        ASSERT_FALSE(expected.empty());
        std::vector<Fields> got;
        for (const std::string& record : c.run()) {
            EXPECT_EQ(record.size(), layout.size);
            got.push_back(fieldsOfRecord(record, layout));
        }
        if (!c.ordered) {
            std::sort(expected.begin(), expected.end());
            std::sort(got.begin(), got.end());
        }
        EXPECT_EQ(got, expected);
    }
    EXPECT_EQ(dbgLevelCommittedCountByRel(1), 3) << "as many as the walk delivers";
}

using Ids = std::vector<std::int32_t>;

/// A table's rows, sorted: what a change did to it, whatever the order.
std::vector<Fields> sortedRows(const std::string& table) {
    std::vector<Fields> rows = rowsOf("SELECT * FROM " + table);
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct BulkModifyCase {
    const char* accessor;
    const char* table;
    std::function<int()> bulk;
    std::function<void()> single;  ///< the single form for every id of the list
};

// The removal runs take every bulk delete on both backends; here the lists
// they never hold: a bulk form on a list with ids that have rows, an id
// without any and an id twice leaves its table as its single form leaves
// it once called for every id; pairs of lists take the rows that match
// both.  Each case rolls back after it.
TEST_P(EveryAccessor, BulkDeletesAndUpdatesDoWhatTheSingleOnesDoForEachId) {
    const BulkModifyCase cases[] = {
        {"dbgTrackDeleteByIds", "TRACKS", [] { return dbgTrackDeleteByIds(Ids{17, 11, 99, 17}); },
         [] {
             dbgTrackDelete(17);
             dbgTrackDelete(11);
         }},
        // Source 71 has a file in both releases, 73 only in release 2.
        {"dbgFileDeleteBySourceIdsAndReleaseIds", "FILES",
         [] { return dbgFileDeleteBySourceIdsAndReleaseIds(Ids{71, 73}, Ids{1}); },
         [] {
             dbgFileDeleteBySourceIdAndReleaseId(71, 1);
             dbgFileDeleteBySourceIdAndReleaseId(73, 1);
         }},
    };
    for (const BulkModifyCase& c : cases) {
        SCOPED_TRACE(c.accessor);
        const std::vector<Fields> before = sortedRows(c.table);
        c.single();
        const std::vector<Fields> bySingle = sortedRows(c.table);
        ASSERT_EQ(sqlRollback(), 0);
        EXPECT_EQ(c.bulk(), 0);
        EXPECT_EQ(sortedRows(c.table), bySingle);
        EXPECT_NE(bySingle, before) << "the case changes nothing";
        ASSERT_EQ(sqlRollback(), 0);
    }
    EXPECT_EQ(dbgTrackDeleteByIds(Ids{}), 0);
    EXPECT_EQ(number("SELECT COUNT(*) FROM TRACKS"), 7);
    // Defect 24 names release 9, which does not exist: it alone gets 0.
    EXPECT_EQ(dbgDefectModifyReleaseId(0, 0), 0);
    EXPECT_EQ(number("SELECT SUM(RELEASEID) + 100 * SUM(CASE WHEN RELEASEID=0 THEN 1 ELSE 0 END) FROM DEFECTS"), 102);
}

// A bulk count answers for every id of its list what the single form
// answers, and leaves out an id without rows.  File 43 on path 31 is
// dropped: neither counts it.
TEST_P(EveryAccessor, BulkCountAnswersAsTheSingleOneForEachId) {
    const std::unordered_map<std::int32_t, std::int32_t> counts{{31, 2}, {33, 1}};
    EXPECT_EQ(dbgFileCountByPathIds(Ids{31, 32, 33, 31}), counts);
    for (const std::int32_t path : {31, 32, 33})
        EXPECT_EQ(dbgFileCountByPathId(path), counts.contains(path) ? counts.at(path) : 0) << path;
}

// FILEVIEW names what its rows point at and keeps the rows whose path,
// version or user is missing, which no family of the whole runs has.
TEST_P(EveryAccessor, FileViewResolvesNamesAndKeepsDanglingRows) {
    EXPECT_EQ(rowsOf("SELECT COMPNAME,VERSIONSID,NUVERSIONSID,PATHNAME,NUPATHNAME,RELEASENAME FROM FILEVIEW "
                     "WHERE ID IN (41,44) ORDER BY ID"),
              (std::vector<Fields>{{"comp61", "1.1", "1.2", "src", "src/new", "rel1"}, {"root", "", "", "", "", "rel2"}}));
}

// ---------------------------------------------------------------------------
// Failures never come back to the caller: the run ends through the fatal
// path, which rolls back and prints 0010-981 (sent to standard error here,
// where the death test looks).

class FatalAccessor : public SampleFamily {
protected:
    /// Expects the body to end the run through the fatal path.
    void expectRunEnds(const std::function<void()>& body) const {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                removeDatabaseAtExit();
                dup2(STDERR_FILENO, STDOUT_FILENO);
                dbSetFatalExit([] { std::exit(1); }, "peloarchive");
                body();
            },
            ::testing::ExitedWithCode(1), "0010-981");
    }
};
INSTANTIATE_TEST_SUITE_P(Backends, FatalAccessor, dbtest::everyBackend, dbtest::backendName);

std::string repeated(std::string_view character, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += character;
    return text;
}

// A width counts characters, whatever their bytes.  A text key of 32
// three-byte characters fits a NAME of 32, and one more ends the run; so
// does a Get that matches two rows.
TEST_P(FatalAccessor, TextKeyLongerThanItsColumnOrAGetOfTwoRowsEndsTheRun) {
    const char* const euro = "\xe2\x82\xac";
    LevelRecord level{};
    EXPECT_EQ(dbgLevelGet(level, repeated(euro, 32), 1), 1) << "32 characters fit";
    expectRunEnds([&] { dbgLevelGet(level, repeated(euro, 33), 1); });
    run("INSERT INTO FILES (ID, SOURCEID, RELEASEID) VALUES (45, 71, 2)");
    expectRunEnds([] {
        FileRecord file{};
        dbgFileGetBySourceIdAndRelease(file, 71, 2);
    });
}

// A fetched value of exactly its column's width in characters is kept
// whole, and the field after it keeps its own value.  One character more
// (which PostgreSQL lets in only once the column is widened, SQLite
// always) would be archived cut and then removed whole: the fetch ends the
// run instead.  SEQUENCE is a table no view reads, so PostgreSQL can widen
// its column.
TEST_P(FatalAccessor, FetchedTextOfItsWidthInCharactersFitsAndOneMoreEndsTheRun) {
    const char* const emoji = "\xf0\x9f\x98\x80";
    const auto insert = [](const std::string& name) {
        run("DELETE FROM SEQUENCE; INSERT INTO SEQUENCE VALUES ('" + name + "',42)");
    };
    const auto fetch = [] {
        SequenceRecord sequence{};
        EXPECT_EQ(dbgSequenceGetList(1, sequence), 0);
        dbgSequenceGetList(2, sequence);
        return sequence;
    };
    insert(repeated(emoji, 16));
    const SequenceRecord fits = fetch();
    EXPECT_EQ(std::string(fits.NAME), repeated(emoji, 16));
    EXPECT_EQ(fits.LASTSERIAL, 42);
    ASSERT_EQ(sqlRollback(), 0);
    if (onPostgres())
        run("ALTER TABLE SEQUENCE ALTER COLUMN NAME TYPE VARCHAR(1000)");
    insert(repeated(emoji, 17));
    expectRunEnds(fetch);
}

}  // namespace
}  // namespace pelo
