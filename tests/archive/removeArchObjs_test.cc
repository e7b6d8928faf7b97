// The removal's commit points in a child that a termination signal
// reaches once the defects step has begun: the step commits its defects
// in batches, and the signal ends the run at the first batch's commit,
// with each defect gone whole or kept whole.  And the row copy as the
// removal's gate: a row a delete would take that the copy lacks stops the
// removal, named, before the delete.
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/context.h"
#include "archive/familyDb.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "archive/rowCopy.h"
#include "db/client.h"
#include "db/dbgApproval.h"
#include "db/dbgChange.h"
#include "db/dbgCoreq.h"
#include "db/dbgDefect.h"
#include "db/dbgFix.h"
#include "db/dbgHistory.h"
#include "db/dbgNote.h"
#include "db/dbgSize.h"
#include "db/dbgTest.h"
#include "db/dbgTrack.h"
#include "db/dbgVerify.h"
#include "support/msg.h"

namespace pelo {
namespace {

constexpr int defects = 2500;

/// Standard output of the child: the text goes nowhere, and the defects
/// step's progress line raises SIGTERM, which the run's handler records.
ssize_t signalAtDefects(void*, const char* text, size_t size) {
    if (std::string_view(text, size).find(msgDefault(1546)) != std::string_view::npos)
        raise(SIGTERM);
    return static_cast<ssize_t>(size);
}

class RemovalBatchTest : public testing::FamilyDbTest {
protected:
    std::int32_t count(const std::string& select) {
        SqlRow row;
        EXPECT_EQ(sqlExecute(select, {}, &row), 0) << sqlca.sqlerrm;
        return row.intAt(0);
    }

    /// Every table the two steps delete from, with its rows now.
    std::vector<std::int32_t> counts() {
        std::vector<std::int32_t> all;
        for (const char* table : {"TRACKS", "APPROVALS", "FIX", "TESTS", "COREQS", "CHANGES", "SIZES", "DEFECTS",
                                  "HISTORY", "NOTES", "VERIFY"})
            all.push_back(count(std::string("SELECT COUNT(*) FROM ") + table));
        return all;
    }

    /// Runs the removal of the level archive's track 7 and defect 3, and
    /// returns its result with what it printed in `output`.
    int remove(std::string& output) {
        archCtx.levelName = "lev";
        archCtx.trackIdList.listAppend(7);
        archCtx.defectFeatureIdList.listAppend(3);
        ::testing::internal::CaptureStdout();
        const int result = removeArchivedObjects();
        output = ::testing::internal::GetCapturedStdout();
        return result;
    }

    /// The row copy the archive would have made of the track's and the
    /// defects' rows, with the first row of table `left` left out (none
    /// when it is nullopt), as the path the removal reads.
    void writeRowCopy(std::int32_t trackId, std::span<const std::int32_t> defectIds,
                      std::optional<CopyTable> left = std::nullopt) {
        archCtx.rowCopy.setPath((scratch / "PELOarchive.rows.db").string());
        RowCopy copy;
        ASSERT_EQ(copy.create(archCtx.rowCopy.path()), 0);
        bool skipped = false;
        const auto take = [&](CopyTable table) {
            return [&, table](const auto& row) {
                if (table == left && !skipped)
                    skipped = true;
                else
                    copy.copy(row);
            };
        };
        if (TrackRecord track{}; trackId != 0 && dbgTrackGetById(track, trackId) == 0) {
            take(CopyTable::tracks)(track);
            forEachRow(dbgApprovalGetSequenceForTrack, take(CopyTable::approvals), trackId);
            forEachRow(dbgFixGetListForTrack, take(CopyTable::fixes), trackId);
            forEachRow(dbgTestGetListForTrack, take(CopyTable::tests), trackId);
            forEachRow(dbgCoreqGetListForTrack, take(CopyTable::coreqs), trackId);
            forEachRow(dbgChangeGetListForTrack, take(CopyTable::changes), trackId);
            forEachRow(dbgSizeGetSequenceForDefect, take(CopyTable::sizes), track.RELEASEID, track.DEFECTID);
        }
        for (const std::int32_t defectId : defectIds) {
            DefectRecord defect{};
            ASSERT_EQ(dbgDefectGetById(defect, defectId), 0);
            take(CopyTable::defects)(defect);
            forEachRow(dbgHistoryGetList, take(CopyTable::history), defectId);
            forEachRow(dbgNoteGetList, take(CopyTable::notes), defectId);
            forEachRow(dbgVerifyGetList, take(CopyTable::verify), defectId);
        }
        ASSERT_EQ(copy.finish(), 0);
    }
};

TEST_F(RemovalBatchTest, SignalEndsTheDefectsStepAtABatchCommit) {
    GTEST_FLAG_SET(death_test_style, "fast");
    rows("WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT id + 1 FROM n WHERE id < " + std::to_string(defects) +
         ") INSERT INTO DEFECTS(ID, TYPE, NAME, STATE, RELEASEID) SELECT id, 'defect', id, 'closed', 1 FROM n;"
         "INSERT INTO HISTORY SELECT ID, 5, 'open', '99/01/01 10:00:00' FROM DEFECTS;");
    ASSERT_EQ(sqlCommit(), 0);
    std::vector<std::int32_t> defectIds;
    for (int id = 1; id <= defects; ++id)
        defectIds.push_back(id);
    ASSERT_NO_FATAL_FAILURE(writeRowCopy(0, defectIds));
    // The child opens its own session: one a fork shares is no session.
    const std::string database = (scratch / "family.db").string();
    sqlRollbackRelease();
    EXPECT_EXIT(
        {
            stdout = fopencookie(nullptr, "w", {nullptr, signalAtDefects, nullptr, nullptr});
            sqlConnect(database, "family", "secret");
            archCtx.connectedToDb = 1;
            archCtx.levelName = "lev";  // a level archive: no releases step
            for (int id = 1; id <= defects; ++id)
                archCtx.defectFeatureIdList.listAppend(id);
            sigInit();
            removeArchivedObjects();
        },
        ::testing::ExitedWithCode(1), "");
    ASSERT_EQ(sqlConnect(database, "family", "secret"), 0) << sqlca.sqlerrm;
    const std::int32_t removed = defects - count("SELECT COUNT(*) FROM DEFECTS");
    EXPECT_GE(removed, 1) << "the run ended before the first batch committed";
    EXPECT_LE(removed, 1000) << "the signal was not honoured at the first batch's commit";
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORY"), defects - removed) << "a defect went without its history";
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORY WHERE DEFECTID NOT IN(SELECT ID FROM DEFECTS)"), 0);
}

// A level archive's track 7 of release 1 and its defect 3, with a row in
// every table that the tracks and defects steps delete from.
constexpr const char* trackAndDefect = R"(
INSERT INTO TRACKS (ID, RELEASEID, DEFECTID, USERID, STATE) VALUES (7, 1, 3, 5, 'complete');
INSERT INTO APPROVALS VALUES (7, 5, 'accept', '99/01/01 10:00:00', '99/01/02 10:00:00'),
  (7, 6, 'accept', '99/01/01 10:00:00', '99/01/02 11:00:00');
INSERT INTO FIX VALUES (7, 5, 9, 'complete', '99/01/01 10:00:00', '99/01/01 10:00:00');
INSERT INTO TESTS VALUES (7, 'env1', 5, 'accept', '99/01/01 10:00:00', '99/01/01 10:00:00');
INSERT INTO COREQS VALUES (7, 70);
INSERT INTO CHANGES VALUES (1, 7, 11, 101, 0, 'delta', 5);
INSERT INTO SIZES VALUES (3, 9, 5, '99/01/01 10:00:00', '99/01/01 10:00:00', 'accept', 'it''s `big` & wide;', 1);
INSERT INTO DEFECTS (ID, TYPE, NAME, STATE, RELEASEID) VALUES (3, 'defect', 'd3', 'closed', 1);
INSERT INTO HISTORY VALUES (3, 5, 'open', '99/01/01 10:00:00');
INSERT INTO NOTES VALUES (3, 5, 'open', '99/01/01 10:00:00', 'a note');
INSERT INTO VERIFY VALUES (3, 5, 'originator', 'accept', '99/01/01 10:00:00', '99/01/01 10:00:00');
)";

/// The row left out of the copy, the step that meets it and the key it is
/// named by.
struct MissingRowCase {
    const char* name;
    CopyTable left;
    const char* named;  ///< the message's table and key lines
    bool tracksStep;    ///< else the defects step, after the tracks went
};

void PrintTo(const MissingRowCase& c, std::ostream* out) { *out << c.name; }

const MissingRowCase missingRowCases[] = {
    {"Track", CopyTable::tracks, "The TRACKS row\n         ID=7\n", true},
    {"Approval", CopyTable::approvals,
     "The APPROVALS row\n         TRACKID=7, USERID=5, STATE=accept, ADDDATE=99/01/01 10:00:00, "
     "LASTUPDATE=99/01/02 10:00:00\n",
     true},
    {"Size", CopyTable::sizes, "The SIZES row\n         DEFECTID=3, COMPID=9,", true},
    {"Defect", CopyTable::defects, "The DEFECTS row\n         ID=3\n", false},
    {"Note", CopyTable::notes, "The NOTES row\n         DEFECTID=3, USERID=5, ACTION=open, ADDDATE=99/01/01 10:00:00\n",
     false},
};

class MissingRowTest : public RemovalBatchTest, public ::testing::WithParamInterface<MissingRowCase> {};

// The step that meets the row stops before its first delete; the tracks
// step before it has gone, committed, when the row is the defects step's.
TEST_P(MissingRowTest, StopsTheRemovalBeforeTheDeleteThatWouldTakeIt) {
    const MissingRowCase& c = GetParam();
    rows(trackAndDefect);
    const std::int32_t defectIds[] = {3};
    ASSERT_NO_FATAL_FAILURE(writeRowCopy(7, defectIds, c.left));
    std::string output;
    EXPECT_EQ(remove(output), 1);
    const std::string expected = std::string("\n0012-012 The peloarchive program cannot continue.  ") + c.named;
    EXPECT_NE(output.find(expected), std::string::npos) << output;
    EXPECT_NE(output.find("is not in the row copy of the archive, " + archCtx.rowCopy.path() + "."), std::string::npos)
        << output;
    const std::vector<std::int32_t> now = counts();
    const std::vector<std::int32_t> trackRows(now.begin(), now.begin() + 7), defectRows(now.begin() + 7, now.end());
    EXPECT_EQ(trackRows, (c.tracksStep ? std::vector<std::int32_t>{1, 2, 1, 1, 1, 1, 1}
                                       : std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(defectRows, (std::vector<std::int32_t>{1, 1, 1, 1}));
}

INSTANTIATE_TEST_SUITE_P(RowCopy, MissingRowTest, ::testing::ValuesIn(missingRowCases),
                         [](const ::testing::TestParamInfo<MissingRowCase>& info) { return info.param.name; });

// With every row in the copy the same removal takes them all.
TEST_F(RemovalBatchTest, RowsTheCopyHoldsAreRemoved) {
    rows(trackAndDefect);
    const std::int32_t defectIds[] = {3};
    ASSERT_NO_FATAL_FAILURE(writeRowCopy(7, defectIds));
    std::string output;
    EXPECT_EQ(remove(output), 0);
    EXPECT_EQ(output.find("0012-01"), std::string::npos) << output;
    EXPECT_EQ(counts(), std::vector<std::int32_t>(11, 0)) << "TRACKS to VERIFY, in the steps' order";
}

// A copy that is not there proves nothing: the removal stops at once.
TEST_F(RemovalBatchTest, MissingCopyStopsTheRemoval) {
    rows(trackAndDefect);
    archCtx.rowCopy.setPath((scratch / "PELOarchive.rows.db").string());
    std::string output;
    EXPECT_EQ(remove(output), 1);
    EXPECT_NE(output.find("0012-013 The peloarchive program cannot continue.  The row copy of\n         the archive, " +
                          archCtx.rowCopy.path() + ", cannot be used."),
              std::string::npos)
        << output;
    EXPECT_EQ(count("SELECT COUNT(*) FROM TRACKS"), 1);
}

// A copy the disk stops taking: the inserts run beside the walk, so their
// failure reaches the walk at finish, which names it once and commits
// nothing.
TEST_F(RemovalBatchTest, CopyTheDiskStopsTakingFailsAtFinish) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::string path = (scratch / "PELOarchive.rows.db").string();
    const std::string printed = (scratch / "printed").string();
    EXPECT_EXIT(
        {
            std::freopen(printed.c_str(), "w", stdout);
            // Past 1 MB every write fails with EFBIG instead of a signal.
            signal(SIGXFSZ, SIG_IGN);
            rlimit size{};
            getrlimit(RLIMIT_FSIZE, &size);
            size.rlim_cur = 1 << 20;
            setrlimit(RLIMIT_FSIZE, &size);
            RowCopy copy;
            if (copy.create(path) != 0)
                std::_Exit(2);
            // Six MB of notes: more than SQLite keeps before it writes.
            auto note = std::make_unique<NoteRecord>();
            std::memset(note->REMARKS, 'r', 30000);
            for (int i = 0; i < 200; ++i) {
                note->DEFECTID = i;
                copy.copy(*note);
            }
            const int finished = copy.finish();
            std::fflush(stdout);
            std::_Exit(finished == 1 ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
    std::ifstream file(printed);
    const std::string output{std::istreambuf_iterator<char>(file), {}};
    const std::string named = "0012-013 The peloarchive program cannot continue.  The row copy of\n         the archive, " +
                              path + ", cannot be used.";
    EXPECT_NE(output.find(named), std::string::npos) << output;
    EXPECT_EQ(output.find("0012-013", output.find(named) + 1), std::string::npos) << "named more than once\n" << output;
}

}  // namespace
}  // namespace pelo
