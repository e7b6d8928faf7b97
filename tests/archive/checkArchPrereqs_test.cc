// The prerequisite checks on a small family written row by row: which
// levels and tracks a passing check hands to the run, and the edges of the
// rules whose outcome depends on more than one row.  Every rule's message,
// as the user sees it, is in the scenarios of the real binary.
#include "archive/checkArchPrereqs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/context.h"
#include "familyDb.h"
#include "support/msg.h"

namespace pelo {
namespace {

// rel2 has four levels: lvl1 to lvl3 committed in that order across the
// turn of the century, lvl4 not committed.  Its tracks: one per committed
// level (202 is in lvl1 and lvl2), and tracks without a level updated
// before lvl3's commit (204), after it (205), exactly at it (206), and one
// in the fix state that no rule looks at (207).  rel1 and rel3 can be
// archived whole.
constexpr const char* familyRows = R"(
INSERT INTO USERS (ID, LOGIN) VALUES (0, 'pelofam'), (1, 'alice');
INSERT INTO RELEASES (ID, NAME) VALUES (1, 'rel1'), (2, 'rel2'), (3, 'rel3');
INSERT INTO LEVELS (ID, NAME, RELEASEID, COMMITDATE, STATE) VALUES
  (11, 'r1a', 1, '99/03/01 10:00:00', 'complete'),
  (12, 'r1b', 1, '99/04/01 10:00:00', 'complete'),
  (21, 'lvl1', 2, '99/11/01 10:00:00', 'complete'),
  (22, 'lvl2', 2, '99/12/01 10:00:00', 'complete'),
  (23, 'lvl3', 2, '100/01/01 10:00:00', 'complete'),
  (24, 'lvl4', 2, NULL, 'integrate'),
  (31, 'r3a', 3, '100/03/01 10:00:00', 'complete');
INSERT INTO TRACKS (ID, RELEASEID, DEFECTID, STATE, ACTUAL, LASTUPDATE) VALUES
  (101, 1, 1, 'complete', 'r1a', '99/02/20 00:00:00'),
  (102, 1, 1, 'complete', NULL, '99/05/01 00:00:00'),
  (201, 2, 1, 'complete', 'lvl1', '99/10/20 00:00:00'),
  (202, 2, 2, 'complete', 'lvl2', '99/11/20 00:00:00'),
  (203, 2, 1, 'complete', 'lvl3', '99/12/20 00:00:00'),
  (204, 2, 1, 'complete', NULL, '99/12/15 00:00:00'),
  (205, 2, 1, 'complete', NULL, '100/02/01 00:00:00'),
  (206, 2, 1, 'complete', NULL, '100/01/01 10:00:00'),
  (207, 2, 1, 'fix', NULL, '99/12/10 00:00:00'),
  (208, 2, 1, 'integrate', 'lvl4', '100/02/10 00:00:00'),
  (301, 3, 1, 'complete', 'r3a', '100/02/20 00:00:00');
INSERT INTO LEVELMEMBERS (LEVELID, TRACKID) VALUES
  (11, 101), (21, 201), (21, 202), (22, 202), (23, 203), (31, 301);
INSERT INTO DEFECTS (ID, TYPE, NAME, STATE) VALUES
  (1, 'defect', 'd1', 'closed'), (2, 'defect', 'd202', 'closed');
)";

class PrereqsTest : public testing::FamilyDbTest {
protected:
    void SetUp() override {
        FamilyDbTest::SetUp();
        rows(familyRows);
    }

    int check(const std::string& level, const std::vector<std::string>& releases,
              const char* vctype = "sccs") {
        archCtx.levelName = level;
        archCtx.vctype = vctype;
        for (const std::string& name : releases)
            archCtx.relNameList.listAppend(name);
        ::testing::internal::CaptureStdout();
        const int result = checkArchivePrereqs();
        output_ = ::testing::internal::GetCapturedStdout();
        return result;
    }

    // The walks promise no order, except that the archive level comes last.
    static std::vector<int> sorted(const IdList& list) {
        std::vector<int> v = ids(list);
        std::sort(v.begin(), v.end());
        return v;
    }

    void expectRefusal(const std::string& message) const {
        const std::string tail = msgFormat(1333) + message;
        ASSERT_GE(output_.size(), tail.size()) << output_;
        EXPECT_EQ(output_.substr(output_.size() - tail.size()), tail);
        EXPECT_EQ(output_.find("  Working ."), 0u) << output_;
        for (const IdList* list : {&archCtx.releaseIdList, &archCtx.levelIdList, &archCtx.trackIdList,
                                   &archCtx.trackIdHoldList})
            EXPECT_EQ(list->listSize(), 0);
    }

    std::string output_;
};

using Ids = std::vector<int>;

// lvl3 is committed after lvl2, so the no-level tracks split at its
// commit: 204 goes with the archive, 205 is held, 206 (updated at the
// commit itself) is neither, and 207 is in no rule's state.
TEST_F(PrereqsTest, LevelArchiveTakesEarlierLevelsAndSplitsUnleveledTracks) {
    ASSERT_EQ(check("lvl2", {"rel2"}), 0) << output_;
    EXPECT_EQ(sorted(archCtx.levelIdList), (Ids{21, 22}));
    EXPECT_EQ(ids(archCtx.levelIdList).back(), 22);
    EXPECT_EQ(sorted(archCtx.trackIdList), (Ids{201, 202, 204})) << "202 is in two levels, once";
    EXPECT_EQ(ids(archCtx.trackIdHoldList), (Ids{205}));
    EXPECT_EQ(ids(archCtx.releaseIdList), (Ids{2}));
    EXPECT_EQ(archCtx.relNameList.listSize(), 0);
    // A dot to start, one per step (earlier levels, their tracks, the
    // shared-track test, the no-level tracks, the held ones, the release),
    // one per track of each archived level (201; 202), one per track
    // tested for other levels (201, 202) and one per held track (205).
    EXPECT_EQ(output_, "  Working " + std::string(11, '.') + msgFormat(1333));
}

// A level that does not go with the archive still holds the track.
TEST_F(PrereqsTest, TrackAlsoInLaterLevelIsRefused) {
    rows("INSERT INTO LEVELMEMBERS (LEVELID, TRACKID) VALUES (23, 202);");
    EXPECT_EQ(check("lvl2", {"rel2"}), 1);
    expectRefusal(msgGet(1375, "d202"));
    EXPECT_EQ(check("lvl3", {"rel2"}), 0) << "with lvl3 archived too, every level of 202 goes";
}

TEST_F(PrereqsTest, UnleveledTrackInTestStateIsRefusedOnItsSideOfTheSplit) {
    rows("UPDATE TRACKS SET STATE = 'test' WHERE ID = 205;");
    EXPECT_EQ(check("lvl2", {"rel2"}), 1);
    expectRefusal(msgGet(1389, "rel2", "test"));
    rows("UPDATE TRACKS SET STATE = 'complete' WHERE ID = 205;"
         "UPDATE TRACKS SET STATE = 'test' WHERE ID = 204;");
    EXPECT_EQ(check("lvl2", {"rel2"}), 1);
    expectRefusal(msgGet(1385, "rel2", "test"));
    EXPECT_EQ(check("lvl3", {"rel2"}), 1) << "lvl3 is the last: every such track is held";
    expectRefusal(msgGet(1389, "rel2", "test"));
}

// Names that would lead a level map's path out of its directory, wherever
// the checks meet them: typed, or read from the family for the lists.  The
// tools' bad families show the whole run refusing an earlier level's or a
// typed release's name.
TEST_F(PrereqsTest, NamesThatLeaveTheMapsAreRefused) {
    EXPECT_EQ(check("..", {"rel2"}), 1) << output_;
    expectRefusal(msgGet(1701, ".."));
    rows("UPDATE LEVELS SET NAME = '..' WHERE ID = 31;");
    EXPECT_EQ(check("", {"rel1", "rel3"}), 1) << output_;
    expectRefusal(msgGet(1701, ".."));
}

// Only the names that leave their directory are refused: blanks, dots
// inside a name and new-lines are the name's own.
TEST_F(PrereqsTest, OtherNamesAreTheirOwn) {
    rows("UPDATE LEVELS SET NAME = 'a\nb' WHERE ID = 21; UPDATE LEVELS SET NAME = '..lvl2 .' WHERE ID = 22;");
    ASSERT_EQ(check("..lvl2 .", {"rel2"}), 0) << output_;
    EXPECT_EQ(sorted(archCtx.levelIdList), (Ids{21, 22}));
}

}  // namespace
}  // namespace pelo
