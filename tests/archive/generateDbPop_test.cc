// The object selection on a family written row by row, each rule's outcome
// named by hand.  The whole walk of every dialect, byte for byte, is in the
// goldens of goldenScript_test.cc.
#include "archive/generateDbPop.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "archive/phases.h"
#include "builtFamily.h"
#include "familyDb.h"

namespace pelo {
namespace {

using Texts = std::set<std::string>;

// "source:version" for every version collected.
Texts versionTexts() {
    Texts out;
    for (SourceEntry& entry : archCtx.sourceIdList)
        for (int versionId : entry.versionIds)
            out.insert(std::to_string(entry.sourceId) + ":" + std::to_string(versionId));
    return out;
}

Texts matches(const std::string& text, const char* pattern) {
    Texts out;
    const std::regex re(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        out.insert((*it)[1].str());
    return out;
}

// Level lvl1 of rel2 holds track 201, which changes file 12 at its newest version 202, file 11 at 103
// (source 100 runs from rel1's 101 to 104) and file 14, whose Files row is gone.  Of the hold tracks,
// 211 changed file 11 at 102, older than 103: taken.  212 changed file 12 at 202: not taken, nor 213
// (a source nothing collected), nor 214, whose first change in cursor order decides.  Component 5
// hangs below 4, 3 and the root 2; 9 is a parent of the root.
constexpr const char* handFamily = R"(
INSERT INTO USERS (ID, LOGIN) VALUES (0, 'pelo0'), (1, 'pelofam'), (2, 'ann'), (3, 'bob'), (4, 'cid');
INSERT INTO RELEASES (ID, NAME, COMPID, USERID) VALUES (1, 'rel1', 6, 4), (2, 'rel2', 2, 0);
INSERT INTO LEVELS (ID, NAME, RELEASEID, USERID, STATE) VALUES (21, 'lvl1', 2, 2, 'complete');
INSERT INTO TRACKS (ID, RELEASEID, DEFECTID, USERID) VALUES
  (201, 2, 1, 1), (211, 2, 2, 3), (212, 2, 3, 4), (213, 2, 4, 4), (214, 2, 5, 4);
INSERT INTO DEFECTS (ID, TYPE, NAME, COMPID, ORIGINID, OWNERID) VALUES (1, 'defect', 'd1', 3, 2, 2),
  (2, 'feature', 'f2', 5, 2, 2), (3, 'defect', 'd3', 5, 4, 4), (4, 'defect', 'd4', 5, 4, 4),
  (5, 'defect', 'd5', 5, 4, 4);
INSERT INTO FIX (TRACKID, USERID, COMPID, STATE) VALUES (201, 2, 5, 'complete');
INSERT INTO FILES (ID, COMPID, SOURCEID, RELEASEID) VALUES (11, 5, 100, 2), (12, 5, 200, 2), (13, 5, 300, 2);
INSERT INTO PATH (ID, NAME) VALUES (1, 'src/a.c'), (2, 'src/b.c'), (4, 'src/gone.c');
INSERT INTO VERSIONS (ID, PREVIOUSID, SOURCEID, USERID) VALUES (101, 0, 100, 2), (102, 101, 100, 2),
  (103, 102, 100, 2), (104, 103, 100, 4), (201, 0, 200, 2), (202, 201, 200, 2), (301, 0, 300, 4), (401, 0, 400, 2);
INSERT INTO CHANGES (PATHID, TRACKID, FILEID, VERSIONID, LEVELID, TYPE, USERID) VALUES
  (1, 201, 11, 103, 21, 'delta', 2), (2, 201, 12, 202, 21, 'delta', 2), (4, 201, 14, 401, 21, 'delta', 2),
  (1, 211, 11, 102, 0, 'delta', 3), (2, 212, 12, 202, 0, 'delta', 4), (3, 213, 13, 301, 0, 'delta', 4),
  (2, 214, 12, 202, 0, 'delta', 4), (1, 214, 11, 101, 0, 'delta', 4);
INSERT INTO COMPONENTS (ID, NAME, USERID) VALUES
  (2, 'root', 2), (3, 'c3', 2), (4, 'c4', 2), (5, 'c5', 2), (6, 'c6', 4), (8, 'c8', 2), (9, 'c9', 2);
INSERT INTO COMPMEMBERS (PARENTID, CHILDID, RANK, REFERENCE) VALUES
  (2, 3, 0, 0), (3, 4, 0, 0), (4, 5, 0, 0), (4, 6, 0, 0), (9, 2, 0, 0), (8, 9, 0, 0);
)";

using HandFamilyWalkTest = testing::FamilyDbTest;

// Components go two levels up from each collected one (5 and defect 1's 3): the root is written as a
// parent only, and its parent 9 is followed.  User 0 (named by rel2) is never archived.
TEST_F(HandFamilyWalkTest, HoldTracksDestroyedFilesChainsTreeAndUsers) {
    rows(handFamily);
    archCtx.familyHomeDir = scratch.string();  // no configField: no configured columns
    archCtx.database = Dialect::oracle, archCtx.levelName = "lvl1";
    for (auto [list, id] : {std::pair{&archCtx.releaseIdList, 2}, {&archCtx.levelIdList, 21},
                            {&archCtx.trackIdList, 201}, {&archCtx.trackIdHoldList, 211},
                            {&archCtx.trackIdHoldList, 212}, {&archCtx.trackIdHoldList, 213},
                            {&archCtx.trackIdHoldList, 214}})
        list->listAppend(id);
    archCtx.dbPop.setPath((scratch / "PELOarchive.dbData").string());
    archCtx.archUser.setPath((scratch / "PELOarchive.users").string());
    archCtx.rowCopy.setPath((scratch / "PELOarchive.rows.db").string());
    ASSERT_EQ(archCtx.dbPop.open(0755), WorkFile::Opened::yes);
    ASSERT_EQ(archCtx.archUser.open(0644), WorkFile::Opened::yes);
    ASSERT_EQ(generateDbPopulateFile(), 0);
    EXPECT_EQ(ids(archCtx.trackIdList), (std::vector<int>{201, 211}));
    EXPECT_EQ(ids(archCtx.fileIdList), (std::vector<int>{12, 11}));  // file id descending; 14 is gone
    EXPECT_EQ(ids(archCtx.destroyedSourceIdList), std::vector<int>{400});
    // File 11's chain starts at its archived change 103, not at 104, and runs into rel1's 101.
    EXPECT_EQ(versionTexts(), (Texts{"100:101", "100:102", "100:103", "200:201", "200:202", "400:401"}));
    const std::string script = testing::readText(archCtx.dbPop.path());
    EXPECT_EQ(matches(script, R"(insert into CompMembers values \((\d+,\d+),)"), (Texts{"4,5", "3,4", "2,3", "8,9"}));
    EXPECT_EQ(matches(script, R"(insert into Components values \((\d+),)"), (Texts{"3", "4", "5", "8"}));
    EXPECT_EQ(testing::readText(archCtx.archUser.path()), "ann\npelofam\nbob\n");
}

}  // namespace
}  // namespace pelo
