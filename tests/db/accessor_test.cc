// The record accessors against a real family database made from the
// schema script of each backend: the walk's state machine as a table of
// mode sequences, then every accessor of every module through one
// table-driven check (dates across 1999/2000 included), then the cases
// callers lean on (widths, NULLs, the views, the fatal path).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "backends.h"
#include "db/accessor.h"
#include "db/client.h"
#include "db/dbgApproval.h"
#include "db/dbgApprover.h"
#include "db/dbgAuthority.h"
#include "db/dbgCfgcomproc.h"
#include "db/dbgCfgrelproc.h"
#include "db/dbgChange.h"
#include "db/dbgComp.h"
#include "db/dbgCompmember.h"
#include "db/dbgConfig.h"
#include "db/dbgCoreq.h"
#include "db/dbgDefect.h"
#include "db/dbgEnv.h"
#include "db/dbgFile.h"
#include "db/dbgFilesout.h"
#include "db/dbgFilesoutview.h"
#include "db/dbgFileview.h"
#include "db/dbgFix.h"
#include "db/dbgHistory.h"
#include "db/dbgHost.h"
#include "db/dbgInterest.h"
#include "db/dbgLevel.h"
#include "db/dbgLevelmember.h"
#include "db/dbgLevelmemberview.h"
#include "db/dbgNote.h"
#include "db/dbgNoteview.h"
#include "db/dbgPath.h"
#include "db/dbgRelease.h"
#include "db/dbgSequence.h"
#include "db/dbgSize.h"
#include "db/dbgTest.h"
#include "db/dbgTrack.h"
#include "db/dbgUser.h"
#include "db/dbgVerify.h"
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
// records, files sharing a source across releases, and the global tables.
// Rows deliberately carry NULLs and point at objects that do not exist.
constexpr const char* sampleFamily = R"(
INSERT INTO RELEASES VALUES
 (1,'rel1',62,'yes','first release',5,'98/01/01 08:00:00',NULL,'100/02/01 08:00:00',100,'prc','yes','yes','yes','yes','no'),
 (2,'rel2',62,'no','second release',6,'99/01/01 08:00:00',NULL,'100/03/01 08:00:00',200,'prc','yes','no','yes','yes','yes');
INSERT INTO ENVIRONMENTS VALUES ('env1',1,5), ('env2',1,6), ('env3',2,5);
INSERT INTO APPROVERS VALUES (1,5), (1,6), (2,7);
INSERT INTO LEVELS VALUES
 (1,'lev1',1,5,'99/05/01 10:00:00','99/06/01 10:00:00','99/06/01 10:00:00','complete','production',10),
 (2,'lev2',1,5,'99/12/01 10:00:00','100/01/01 00:00:00','100/01/01 00:00:00','complete','development',20),
 (3,'lev3',1,6,'100/01/05 10:00:00',NULL,'100/01/05 10:00:00','integrate','development',0),
 (4,'lev1',2,6,'100/02/01 10:00:00','100/02/02 10:00:00','100/02/02 10:00:00','commit','production',5),
 (5,'lev1b',1,5,'99/12/30 10:00:00','99/12/31 23:59:59','99/12/31 23:59:59','complete','production',7);
INSERT INTO LEVELMEMBERS VALUES (1,11), (2,12), (2,11), (4,13);
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
INSERT INTO APPROVALS VALUES
 (11,5,'accept','99/05/10 10:00:00','99/05/11 10:00:00'),
 (11,6,'abstain','99/05/10 11:00:00',NULL),
 (12,5,'accept','99/05/12 10:00:00','99/05/12 10:00:00');
INSERT INTO FIX VALUES
 (11,5,61,'complete','99/05/20 10:00:00','99/05/21 10:00:00'),
 (12,6,61,'complete','99/05/22 10:00:00','99/05/23 10:00:00'),
 (11,6,62,'working','99/05/24 10:00:00',NULL);
INSERT INTO TESTS VALUES
 (11,'env1',5,'accept','99/05/25 10:00:00','99/05/26 10:00:00'),
 (12,'env2',6,'ready','99/05/27 10:00:00',NULL);
INSERT INTO COREQS VALUES (11,1), (12,1), (13,2);
INSERT INTO DEFECTS VALUES
 (21,'defect','d','21',61,'env1','closed','2','abstract 21','ref21','program_defect','lev1',
  '99/06/01 10:00:00','99/04/01 10:00:00','99/04/02 10:00:00','99/04/03 10:00:00','99/06/01 10:00:00',5,6,10,NULL,1),
 (22,'feature','f','22',61,NULL,'design',NULL,'abstract 22',NULL,NULL,NULL,
  '99/04/05 10:00:00','99/04/04 10:00:00',NULL,NULL,NULL,6,5,3,NULL,1),
 (23,'defect','d','23',62,'env3','size','3','abstract 23',NULL,NULL,NULL,
  '99/04/07 10:00:00','99/04/06 10:00:00',NULL,NULL,NULL,5,5,2,NULL,2),
 (24,'defect','d','24',62,NULL,'review','1','abstract 24',NULL,NULL,NULL,
  '99/04/09 10:00:00','99/04/08 10:00:00',NULL,NULL,NULL,5,5,1,NULL,9),
 (25,'feature','f','25',61,NULL,'open',NULL,'abstract 25',NULL,NULL,NULL,
  '99/04/11 10:00:00','99/04/10 10:00:00',NULL,NULL,NULL,5,6,0,'21',2);
INSERT INTO HISTORY VALUES
 (21,5,'open','99/04/01 10:00:00'), (21,6,'close','99/06/01 10:00:00'), (22,5,'open','99/04/04 10:00:00');
INSERT INTO NOTES VALUES
 (21,5,'open','100/01/01 00:00:00','second note'),
 (21,6,'comment','99/12/31 23:59:59','first note'),
 (22,5,'open','99/01/01 00:00:00','feature note');
INSERT INTO VERIFY VALUES
 (21,5,'defect','accept','99/06/02 10:00:00','99/06/03 10:00:00'),
 (22,6,'feature','notReady','99/06/04 10:00:00',NULL),
 (23,5,'defect','abstain','99/06/05 10:00:00','99/06/06 10:00:00');
INSERT INTO SIZES VALUES
 (21,61,5,'99/04/02 10:00:00','99/04/02 11:00:00','accept','small',1),
 (22,61,5,'99/04/05 10:00:00',NULL,'ready','medium',1),
 (21,62,6,'99/04/02 12:00:00','99/04/02 13:00:00','reject','large',2),
 (23,62,5,'99/04/07 10:00:00',NULL,'notReady',NULL,2);
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
INSERT INTO COMPMEMBERS VALUES (62,61,1,0), (63,61,2,1), (64,62,1,0);
INSERT INTO USERS VALUES
 (0,'family','Family Login','yes','admin',NULL,'98/01/01 08:00:00',NULL,'98/01/01 08:00:00'),
 (5,'u5','User Five','no','dev','5 Main Street','98/01/02 08:00:00',NULL,'98/01/02 08:00:00'),
 (6,'u6','User Six','yes','qa',NULL,'98/01/03 08:00:00',NULL,'98/01/03 08:00:00');
INSERT INTO HOSTS VALUES (5,'host5','u5',1), (5,'host5b','u5b',NULL), (6,'host6','u6',3);
INSERT INTO SEQUENCE VALUES ('general',100), ('defect',25), ('source',73);
INSERT INTO AUTHORITY VALUES ('admin','all'), ('dev','fix');
INSERT INTO INTEREST VALUES ('dev','open'), ('qa','verify');
INSERT INTO CONFIG VALUES ('severity','1','yes',1,0,'critical'), ('severity','2','no',2,0,NULL);
INSERT INTO CFGRELPROC VALUES ('prc','track'), ('prc2','level');
INSERT INTO CFGCOMPROC VALUES ('prc','dsr'), ('prc2','verify');
INSERT INTO FILESOUT VALUES (42,52,5,'100/01/01 00:00:00','1.2'), (49,59,6,'100/03/02 00:00:00','1.3');
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

// Each accessor owns its cursor: two walks of one module, and a Get of the
// same table, interleave without disturbing each other.
TEST_P(EveryAccessor, WalksAndGetsOfOneTableInterleave) {
    LevelRecord outer{};
    LevelRecord inner{};
    LevelRecord byId{};
    std::vector<int> pairs;
    while (dbgLevelGetByRel(1, outer, 1) == 0) {
        ASSERT_EQ(dbgLevelGetById(byId, outer.ID), 0);
        EXPECT_STREQ(byId.NAME, outer.NAME);
        while (dbgLevelCommittedGetByRel(1, inner, 1) == 0)
            pairs.push_back(outer.ID * 10 + inner.ID);
    }
    EXPECT_EQ(pairs.size(), 4u * 3u);
}

// ---------------------------------------------------------------------------
// Every accessor of every module: the Gets and walks in one table, each
// other shape in one of its own.  Expected rows are
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
// replaces the first.
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
    {
        SCOPED_TRACE("walks by track");
        sameWalks(dbgChangeBulkForTrack(), dbgChangeGetListForTrack, {12, 11, 99}, 13);
        sameWalks(dbgApprovalBulkForTrack(), dbgApprovalGetSequenceForTrack, {11, 12}, 13);
        sameWalks(dbgFixBulkForTrack(), dbgFixGetListForTrack, {11, 99}, 12);
        sameWalks(dbgTestBulkForTrack(), dbgTestGetListForTrack, {12, 11}, 13);
        sameWalks(dbgCoreqBulkForTrack(), dbgCoreqGetListForTrack, {12, 11}, 13);
    }
    {
        SCOPED_TRACE("walks by defect, level, child and user");
        sameWalks(dbgHistoryBulkForDefect(), dbgHistoryGetList, {21, 22}, 23);
        sameWalks(dbgNoteBulkForDefect(), dbgNoteGetList, {22, 21}, 23);
        sameWalks(dbgNoteviewBulkForDefect(), dbgNoteviewGet, {21, 99}, 22);
        sameWalks(dbgVerifyBulkForDefect(), dbgVerifyGetList, {22, 21}, 23);
        sameWalks(dbgLevelmemberBulkForLevel(), dbgLevelmemberGetAllForLevel, {2, 1}, 3);
        sameWalks(dbgCompmemberBulkForChild(), dbgCompmemberGetAllParents, {62, 61}, 63);
        sameWalks(dbgCompmemberBulkForChild2(), dbgCompmemberGetAllParents2, {61, 62}, 63);
        sameWalks(dbgHostBulkForUser(), dbgHostGetList, {5, 0}, 1);
    }
    {
        SCOPED_TRACE("gets by id");
        sameGets(dbgTrackBulkById(), dbgTrackGetById, {15, 11, 99}, 12);
        sameGets(dbgFileBulkById(), dbgFileGetById, {44, 41}, 42);
        sameGets(dbgVersionBulkById(), dbgVersionGetById, {53, 51}, 52);
        sameGets(dbgVersionBulkBySource(), dbgVersionGetById, {71}, 99);
        sameGets(dbgDefectBulkById(), dbgDefectGetById, {22, 21}, 23);
        sameGets(dbgLevelBulkById(), dbgLevelGetById, {3, 1}, 2);
        sameGets(dbgPathBulkById(), dbgPathGetById, {32}, 31);
        sameGets(dbgCompBulkById(), dbgCompGetById, {61, 99}, 62);
        sameGets(dbgUserBulkById(), dbgUserGetById, {0, 5}, 1);
    }
    // Sizes are held by defect, release after release, each release's rows
    // in the order of the walk over one release and defect.
    dbgSizeBulkForDefect().load(std::vector<std::int32_t>{21});
    std::vector<std::string> fromBulk, fromSingle;
    dbgSizeBulkForDefect().forEachHeld(21, [&](const SizeRecord& size) { fromBulk.push_back(bytesOf(size)); });
    for (const std::int32_t release : {1, 2})
        forEachRow(dbgSizeGetSequenceForDefect, [&](const SizeRecord& size) { fromSingle.push_back(bytesOf(size)); },
                   release, 21);
    EXPECT_EQ(fromBulk, fromSingle);
    EXPECT_FALSE(fromSingle.empty());
    dbgSizeBulkForDefect().clear();
}

// Dates are the family's texts; their order is the calendar's, also where
// "100/..." (2000) would sort before "99/..." (1999) as plain bytes.  The
// tracks without a level split at a date: before it into the archive,
// after it on hold, and a track updated at that very time in neither.
//
// A Get with a bulk form is checked against it above, its record laid out
// by a walk; those here have no bulk form or a record no walk reads.
TEST_P(EveryAccessor, GetsAndWalksDeliverTheirRows) {
    using std::tuple;
    const char* const y2k = "100/01/01 00:00:00";
    const char* const lastOf1999 = "99/12/31 23:59:59";
    const AccessorCase cases[] = {
        getCase("dbgLevelGet", dbgLevelGet, tuple{"lev1", 2}, tuple{"lev9", 1}, "LEVELS", "ID=4"),
        getCase("dbgCompGetById", dbgCompGetById, tuple{61}, tuple{99}, "COMPONENTS", "ID=61"),
        getCase("dbgFileGetBySourceIdAndRelease", dbgFileGetBySourceIdAndRelease, tuple{71, 2}, tuple{72, 2},
                "FILES", "ID=43"),
        getCase("dbgFileviewGetById", dbgFileviewGetById, tuple{41}, tuple{99}, "FILEVIEW", "ID=41"),
        getCase("dbgPathGetById", dbgPathGetById, tuple{32}, tuple{99}, "PATH", "ID=32"),
        getCase("dbgReleaseGetByName", dbgReleaseGetByName, tuple{"rel2"}, tuple{"rel9"}, "RELEASES", "ID=2"),
        getCase("dbgReleaseGetById", dbgReleaseGetById, tuple{1}, tuple{9}, "RELEASES", "ID=1"),
        getCase("dbgSequenceGetByName", dbgSequenceGetByName, tuple{"defect"}, tuple{"nosuch"}, "SEQUENCE",
                "NAME='defect'"),
        getCase("dbgUserGetById", dbgUserGetById, tuple{0}, tuple{99}, "USERS", "ID=0"),
        getCase("dbgVersionGetById", dbgVersionGetById, tuple{53}, tuple{99}, "VERSIONS", "ID=53"),
        walkCase("dbgApprovalGetSequenceForTrack", dbgApprovalGetSequenceForTrack, tuple{11}, "APPROVALS",
                 {"TRACKID=11"}),
        walkCase("dbgApproverGetForRelease", dbgApproverGetForRelease, tuple{1}, "APPROVERS", {"RELEASEID=1"}),
        walkCase("dbgAuthorityGetList", dbgAuthorityGetList, tuple{}, "AUTHORITY", {"1=1"}),
        walkCase("dbgLevelGetByRel", dbgLevelGetByRel, tuple{1}, "LEVELS", {"ID IN (1,2,3,5)"}),
        walkCase("dbgLevelGetByRelAndDate", dbgLevelGetByRelAndDate, tuple{1, y2k}, "LEVELS", {"ID IN (1,5)"}),
        walkCase("dbgLevelGetByRelAndDate", dbgLevelGetByRelAndDate, tuple{1, lastOf1999}, "LEVELS", {"ID=1"}),
        walkCase("dbgLevelCommittedGetByRel", dbgLevelCommittedGetByRel, tuple{1}, "LEVELS",
                 {"ID=1", "ID=5", "ID=2"}, true),
        walkCase("dbgLevelmemberGetAllForLevel", dbgLevelmemberGetAllForLevel, tuple{2}, "LEVELMEMBERS",
                 {"LEVELID=2"}),
        walkCase("dbgLevelmemberviewListForTrack", dbgLevelmemberviewListForTrack, tuple{11}, "LEVELMEMBERVIEW",
                 {"TRACKID=11 AND LEVELID IN (1,2)"}),
        walkCase("dbgChangeGetListForTrack", dbgChangeGetListForTrack, tuple{11}, "CHANGES",
                 {"TRACKID=11 AND VERSIONID=52", "TRACKID=11 AND VERSIONID=53", "TRACKID=11 AND VERSIONID=51"},
                 true),
        walkCase("dbgCompmemberGetAllParents", dbgCompmemberGetAllParents, tuple{61}, "COMPMEMBERS",
                 {"CHILDID=61 AND PARENTID IN (62,63)"}),
        walkCase("dbgCompmemberGetAllParents2", dbgCompmemberGetAllParents2, tuple{62}, "COMPMEMBERS",
                 {"PARENTID=64"}),
        walkCase("dbgConfigGetList", dbgConfigGetList, tuple{}, "CONFIG", {"1=1"}),
        walkCase("dbgCoreqGetListForTrack", dbgCoreqGetListForTrack, tuple{12}, "COREQS", {"TRACKID=12"}),
        walkCase("dbgDefectGetListDSR", dbgDefectGetListDSR, tuple{22}, "DEFECTS", {"ID IN (23,24)"}),
        walkCase("dbgEnvGetAllForRelease", dbgEnvGetAllForRelease, tuple{1}, "ENVIRONMENTS",
                 {"NAME IN ('env1','env2')"}),
        walkCase("dbgFilesoutGetAll", dbgFilesoutGetAll, tuple{}, "FILESOUT", {"1=1"}),
        walkCase("dbgFileviewGetAllByRelease", dbgFileviewGetAllByRelease, tuple{2}, "FILEVIEW", {"ID IN (43,44)"}),
        walkCase("dbgFixGetListForTrack", dbgFixGetListForTrack, tuple{11}, "FIX", {"TRACKID=11"}),
        walkCase("dbgHistoryGetList", dbgHistoryGetList, tuple{21}, "HISTORY", {"DEFECTID=21"}),
        walkCase("dbgHostGetList", dbgHostGetList, tuple{5}, "HOSTS", {"NAME IN ('host5','host5b')"}),
        walkCase("dbgInterestGetList", dbgInterestGetList, tuple{}, "INTEREST", {"1=1"}),
        walkCase("dbgNoteGetList", dbgNoteGetList, tuple{21}, "NOTES", {"DEFECTID=21"}),
        walkCase("dbgNoteviewGet", dbgNoteviewGet, tuple{21}, "NOTEVIEW",
                 {"REMARKS='first note'", "REMARKS='second note'"}, true),
        walkCase("dbgSequenceGetList", dbgSequenceGetList, tuple{}, "SEQUENCE", {"1=1"}),
        walkCase("dbgSizeGetSequenceForDefect", dbgSizeGetSequenceForDefect, tuple{2, 21}, "SIZES",
                 {"RELEASEID=2 AND DEFECTID=21"}),
        walkCase("dbgTestGetListForTrack", dbgTestGetListForTrack, tuple{12}, "TESTS", {"TRACKID=12"}),
        walkCase("dbgTrackGetByLevel", dbgTrackGetByLevel, tuple{1, "lev1"}, "TRACKS", {"ID=11"}),
        walkCase("dbgTrackGetByRelease", dbgTrackGetByRelease, tuple{2}, "TRACKS", {"ID=13"}),
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
        walkCase("dbgVerifyGetList", dbgVerifyGetList, tuple{22}, "VERIFY", {"DEFECTID=22"}),
        walkCase("dbgRelProcGetAllList", dbgRelProcGetAllList, tuple{}, "CFGRELPROC", {"1=1"}),
        walkCase("dbgCompProcGetAllList", dbgCompProcGetAllList, tuple{}, "CFGCOMPROC", {"1=1"}),
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
}

// Those with a bulk form are checked against it below.
struct ValueCase {
    const char* accessor;
    std::function<std::int32_t()> run;
    std::int32_t expected;
};

TEST_P(EveryAccessor, ExistsAndCountsAnswer) {
    const ValueCase cases[] = {
        {"dbgLevelExists", [] { return dbgLevelExists("lev3", 1); }, 1},
        {"dbgLevelExists", [] { return dbgLevelExists("lev3", 2); }, 0},
        {"dbgLevelCommittedCountByRel", [] { return dbgLevelCommittedCountByRel(1); }, 3},
        {"dbgLevelCommittedCountByRel", [] { return dbgLevelCommittedCountByRel(2); }, 1},
        {"dbgFileExistsBySourceIdReleaseId", [] { return dbgFileExistsBySourceIdReleaseId(71, 1); }, 1},
        {"dbgFileExistsBySourceIdReleaseId", [] { return dbgFileExistsBySourceIdReleaseId(72, 2); }, 0},
        {"dbgFilesoutviewExistsForRelease", [] { return dbgFilesoutviewExistsForRelease("rel1"); }, 1},
        {"dbgFilesoutviewExistsForRelease", [] { return dbgFilesoutviewExistsForRelease("rel2"); }, 0},
        {"dbgNoteCountAll", [] { return dbgNoteCountAll(0); }, 3},
        {"dbgNoteCountAll", [] { return dbgNoteCountAll(22); }, 1},
        {"dbgReleaseExists", [] { return dbgReleaseExists("rel2"); }, 1},
        {"dbgReleaseExists", [] { return dbgReleaseExists("rel9"); }, 0},
        {"dbgSizeExistsForReleaseInStates", [] { return dbgSizeExistsForReleaseInStates(2); }, 1},
        {"dbgSizeExistsForReleaseInStates", [] { return dbgSizeExistsForReleaseInStates(3); }, 0},
        {"dbgSizeExistsAcceptRejectForDefect", [] { return dbgSizeExistsAcceptRejectForDefect(2, 21); }, 1},
        {"dbgSizeExistsAcceptRejectForDefect", [] { return dbgSizeExistsAcceptRejectForDefect(1, 22); }, 0},
        {"dbgTrackExistsActiveForRelease", [] { return dbgTrackExistsActiveForRelease(2); }, 1},
        {"dbgTrackExistsActiveForRelease", [] { return dbgTrackExistsActiveForRelease(3); }, 0},
        {"dbgVersionCountAll", [] { return dbgVersionCountAll(0); }, 4},
        {"dbgVersionCountAll", [] { return dbgVersionCountAll(53); }, 2},
    };
    for (const ValueCase& c : cases)
        EXPECT_EQ(c.run(), c.expected) << c.accessor;
}

struct ModifyCase {
    const char* accessor;
    std::function<int()> run;
    const char* check;  ///< a number that tells what the statement changed
    std::int32_t expected;
};

// Each case runs alone on the sample family: the test rolls back after it.
// A single form is checked against its bulk form below; those here have
// none, or a bulk case that could not tell this one wrong (other keys, or
// every row of the table taken).
TEST_P(EveryAccessor, DeletesAndUpdatesChangeOnlyTheirRows) {
    const ModifyCase cases[] = {
        {"dbgApproverDeleteForRelease", [] { return dbgApproverDeleteForRelease(1); }, "SELECT COUNT(*) FROM APPROVERS",
         1},
        {"dbgChangeDeleteForTrack", [] { return dbgChangeDeleteForTrack(11); }, "SELECT COUNT(*) FROM CHANGES", 1},
        // Defect 24 names release 9, which does not exist: it alone gets 0.
        {"dbgDefectModifyReleaseId", [] { return dbgDefectModifyReleaseId(0, 0); },
         "SELECT SUM(RELEASEID) + 100 * SUM(CASE WHEN RELEASEID=0 THEN 1 ELSE 0 END) FROM DEFECTS", 106},
        {"dbgEnvDeleteForRelease", [] { return dbgEnvDeleteForRelease(1); }, "SELECT COUNT(*) FROM ENVIRONMENTS", 1},
        {"dbgFixDelete", [] { return dbgFixDelete(11); }, "SELECT COUNT(*) FROM FIX", 1},
        {"dbgHistoryDeleteForDefect", [] { return dbgHistoryDeleteForDefect(21); }, "SELECT COUNT(*) FROM HISTORY", 1},
        {"dbgReleaseDeleteById", [] { return dbgReleaseDeleteById(2); }, "SELECT SUM(ID) FROM RELEASES", 1},
        {"dbgVersionDeleteBySourceId", [] { return dbgVersionDeleteBySourceId(71); }, "SELECT SUM(ID) FROM VERSIONS",
         52},
        // 53 followed 51; 54 follows 53 and keeps its link.
        {"dbgVersionResetPreviousId", [] { return dbgVersionResetPreviousId(51); },
         "SELECT SUM(PREVIOUSID) FROM VERSIONS", 53},
        // Deleting nothing is no error.
        {"dbgSizeDeleteByRelDef", [] { return dbgSizeDeleteByRelDef(1, 23); }, "SELECT COUNT(*) FROM SIZES", 4},
    };
    for (const ModifyCase& c : cases) {
        SCOPED_TRACE(c.accessor);
        EXPECT_EQ(c.run(), 0);
        EXPECT_EQ(number(c.check), c.expected);
        ASSERT_EQ(sqlRollback(), 0);
    }
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

// Each bulk form on a list with ids that have rows, an id without any and
// an id twice leaves its table as its single form leaves it once called for
// every id; pairs of lists take the rows that match both.
TEST_P(EveryAccessor, BulkDeletesAndUpdatesDoWhatTheSingleOnesDoForEachId) {
    const auto each = [](auto single, const Ids& ids) {
        return [=] {
            for (const std::int32_t id : ids)
                single(id);
        };
    };
    const BulkModifyCase cases[] = {
        {"dbgTrackDeleteByIds", "TRACKS", [] { return dbgTrackDeleteByIds(Ids{17, 11, 99, 17}); },
         each(dbgTrackDelete, {17, 11})},
        {"dbgApprovalDeleteForTracks", "APPROVALS", [] { return dbgApprovalDeleteForTracks(Ids{11, 99}); },
         each(dbgApprovalDeleteForTrack, {11})},
        {"dbgFixDeleteForTracks", "FIX", [] { return dbgFixDeleteForTracks(Ids{12, 11}); },
         each(dbgFixDelete, {12, 11})},
        {"dbgTestFreeAllForTracks", "TESTS", [] { return dbgTestFreeAllForTracks(Ids{12, 12}); },
         each(dbgTestFreeAll, {12})},
        {"dbgCoreqDeleteByTracks", "COREQS", [] { return dbgCoreqDeleteByTracks(Ids{11, 13}); },
         each(dbgCoreqDeleteByTrack, {11, 13})},
        {"dbgChangeDeleteForTracks", "CHANGES", [] { return dbgChangeDeleteForTracks(Ids{12, 99}); },
         each(dbgChangeDeleteForTrack, {12})},
        // Release 1 has sizes of defects 21 and 22, release 2 of 21 and 23.
        {"dbgSizeDeleteByRelDefs", "SIZES", [] { return dbgSizeDeleteByRelDefs(1, Ids{21, 23}); },
         [] {
             dbgSizeDeleteByRelDef(1, 21);
             dbgSizeDeleteByRelDef(1, 23);
         }},
        {"dbgSizeDeleteAllForDefects", "SIZES", [] { return dbgSizeDeleteAllForDefects(Ids{21, 99}); },
         each(dbgSizeDeleteAll, {21})},
        {"dbgVerifyDeleteForDefects", "VERIFY", [] { return dbgVerifyDeleteForDefects(Ids{22, 23}); },
         each(dbgVerifyDelete, {22, 23})},
        {"dbgHistoryDeleteForDefects", "HISTORY", [] { return dbgHistoryDeleteForDefects(Ids{22, 99}); },
         each(dbgHistoryDeleteForDefect, {22})},
        {"dbgNoteDeleteForDefects", "NOTES", [] { return dbgNoteDeleteForDefects(Ids{21}); },
         each(dbgNoteDeleteForDefect, {21})},
        {"dbgDefectDeleteByIds", "DEFECTS", [] { return dbgDefectDeleteByIds(Ids{25, 21}); },
         each(dbgDefectDelete, {25, 21})},
        {"dbgVersionDeleteByIds", "VERSIONS", [] { return dbgVersionDeleteByIds(Ids{52, 54}); },
         each(dbgVersionDeleteById, {52, 54})},
        {"dbgVersionDeleteBySourceIds", "VERSIONS", [] { return dbgVersionDeleteBySourceIds(Ids{72, 73}); },
         each(dbgVersionDeleteBySourceId, {72})},
        // 53 follows 51 and 54 follows 53.
        {"dbgVersionResetPreviousIds", "VERSIONS", [] { return dbgVersionResetPreviousIds(Ids{51, 53}); },
         each(dbgVersionResetPreviousId, {51, 53})},
        {"dbgPathDeleteByIds", "PATH", [] { return dbgPathDeleteByIds(Ids{32, 99}); }, each(dbgPathDeleteById, {32})},
        {"dbgLevelDeleteByIds", "LEVELS", [] { return dbgLevelDeleteByIds(Ids{3, 5}); },
         each(dbgLevelDelete, {3, 5})},
        {"dbgLevelmemberDeleteForLevels", "LEVELMEMBERS", [] { return dbgLevelmemberDeleteForLevels(Ids{2, 4}); },
         each(dbgLevelmemberDelete, {2, 4})},
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
}

struct BulkCountCase {
    const char* accessor;
    std::function<std::unordered_map<std::int32_t, std::int32_t>(const Ids&)> bulk;
    std::function<std::int32_t(std::int32_t)> single;
    Ids ids;
};

template <class Set>
std::unordered_map<std::int32_t, std::int32_t> asCounts(Set (*bulk)(std::span<const std::int32_t>), const Ids& ids) {
    std::unordered_map<std::int32_t, std::int32_t> counts;
    for (const std::int32_t id : bulk(ids))
        counts[id] = 1;
    return counts;
}

// Each bulk exists or count answers for every id of its list what the
// single form answers for the id, none for an id without rows.
TEST_P(EveryAccessor, BulkExistsAndCountsAnswerAsTheSingleOnesForEachId) {
    const BulkCountCase cases[] = {
        {"dbgTrackExistsForDefects", [](const Ids& ids) { return asCounts(dbgTrackExistsForDefects, ids); },
         dbgTrackExistsForDefect, {21, 22, 24, 25, 99}},
        // 21 is accepted and 23 abstained; 22's verification is open.
        {"dbgVerifyExistsIncompleteForDefects",
         [](const Ids& ids) { return asCounts(dbgVerifyExistsIncompleteForDefects, ids); },
         dbgVerifyExistsIncomplete, {21, 22, 23, 25}},
        {"dbgSizeExistsForDefects", [](const Ids& ids) { return asCounts(dbgSizeExistsForDefects, ids); },
         dbgSizeExistsForDefect, {21, 22, 24}},
        // File 43 on path 31 is dropped.
        {"dbgFileCountByPathIds", [](const Ids& ids) { return dbgFileCountByPathIds(ids); }, dbgFileCountByPathId,
         {31, 32, 33}},
        {"dbgFileCountBySourceIds", [](const Ids& ids) { return dbgFileCountBySourceIds(ids); },
         dbgFileCountBySourceId, {71, 72, 73, 74}},
        {"dbgLevelmemberCountsForTracks", [](const Ids& ids) { return dbgLevelmemberCountsForTracks(ids); },
         dbgLevelmemberCountForTrackId, {11, 12, 13, 99}},
    };
    for (const BulkCountCase& c : cases) {
        const std::unordered_map<std::int32_t, std::int32_t> counts = c.bulk(c.ids);
        std::set<std::int32_t> answers;
        for (const std::int32_t id : c.ids) {
            // -1 stands for no entry, which an id without rows must get.
            const auto count = counts.find(id);
            const std::int32_t single = c.single(id);
            EXPECT_EQ(count == counts.end() ? -1 : count->second, single == 0 ? -1 : single) << c.accessor << " " << id;
            answers.insert(single);
        }
        EXPECT_GT(answers.size(), 1u) << c.accessor << ": every id answers alike";
    }
    // A source's files, held release after release, are those its single
    // reads by source and release give.
    dbgFileBulkBySource().load(Ids{71, 73});
    std::vector<std::string> fromBulk, fromSingle;
    dbgFileBulkBySource().forEachHeld(71, [&](const FileRecord& file) { fromBulk.push_back(bytesOf(file)); });
    for (const std::int32_t release : {1, 2}) {
        auto file = std::make_unique<FileRecord>();
        if (dbgFileGetBySourceIdAndRelease(*file, 71, release) == 0)
            fromSingle.push_back(bytesOf(*file));
    }
    EXPECT_EQ(fromBulk, fromSingle);
    EXPECT_EQ(fromSingle.size(), 2u);
    dbgFileBulkBySource().clear();
}

// ---------------------------------------------------------------------------
// The views, as the archive and the report query read them.

// Each view names what its rows point at; FILEVIEW keeps the rows whose
// path, version or user is missing.  The accessors read the views whole
// (EveryAccessor); here the joins are checked.
struct ViewCase {
    const char* name;
    const char* select;
    std::vector<Fields> rows;
};

TEST_P(EveryAccessor, ViewsResolveWhatTheirRowsPointAt) {
    const ViewCase cases[] = {
        {"FileViewResolvesNames",
         "SELECT COMPNAME,VERSIONSID,NUVERSIONSID,PATHNAME,NUPATHNAME,RELEASENAME FROM FILEVIEW WHERE ID=41",
         {{"comp61", "1.1", "1.2", "src", "src/new", "rel1"}}},
        {"FileViewKeepsDanglingRows", "SELECT COMPNAME,PATHNAME,VERSIONSID,RELEASENAME FROM FILEVIEW WHERE ID=44",
         {{"root", "", "", "rel2"}}},
        {"LevelMemberViewCarriesLevelTrackOwnerAndDefect",
         "SELECT LEVELID,LEVELNAME,RELEASENAME,TRACKUSERLOGIN,TRACKUSERNAME,DEFECTNAME,DEFECTREFERENCE,DEFECTTYPE "
         "FROM LEVELMEMBERVIEW WHERE TRACKID=13",
         {{"4", "lev1", "rel2", "u5", "User Five", "21", "ref21", "defect"}}},
        {"NoteViewNamesDefectAndAuthor", "SELECT DEFECTPREFIX,DEFECTNAME,USERLOGIN,USERAREA FROM NOTEVIEW WHERE DEFECTID=22",
         {{"f", "22", "u5", "dev"}}},
    };
    for (const ViewCase& c : cases)
        EXPECT_EQ(rowsOf(c.select), c.rows) << c.name;
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
// three-byte characters fits a NAME of 32, and one more ends the run.
TEST_P(FatalAccessor, TextKeyLongerThanItsColumnEndsTheRun) {
    const char* const euro = "\xe2\x82\xac";
    LevelRecord level{};
    EXPECT_EQ(dbgLevelGet(level, repeated(euro, 32), 1), 1) << "32 characters fit";
    expectRunEnds([&] { dbgLevelGet(level, repeated(euro, 33), 1); });
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

TEST_P(FatalAccessor, GetMatchingTwoRowsEndsTheRun) {
    run("INSERT INTO FILES (ID, SOURCEID, RELEASEID) VALUES (45, 71, 2)");
    expectRunEnds([] {
        FileRecord file{};
        dbgFileGetBySourceIdAndRelease(file, 71, 2);
    });
}

}  // namespace
}  // namespace pelo
