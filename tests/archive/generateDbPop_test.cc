// The object selection: a family written row by row, each rule's outcome
// named by hand; and built families, whose counters, lists and files must
// equal what independent SQL over the same database says the archive holds.
#include "archive/generateDbPop.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "archive/createDbExport.h"
#include "archive/phases.h"
#include "builtFamily.h"
#include "db/client.h"
#include "familyDb.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using C = ArchiveContext;
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

// What the archive holds, over the walk's releases (ar), levels (al) and tracks (at).  Chains start at
// each file's newest archived change or each release file's version; members only in archive runs.
constexpr const char* expectationSql = R"(
CREATE TEMP TABLE ach AS SELECT * FROM CHANGES WHERE TRACKID IN at;
CREATE TEMP TABLE ad AS SELECT ID FROM DEFECTS WHERE ID IN (SELECT DEFECTID FROM TRACKS WHERE ID IN at);
CREATE TEMP TABLE asz AS SELECT s.* FROM SIZES s WHERE EXISTS (SELECT 1 FROM TRACKS t
  WHERE t.ID IN at AND t.RELEASEID = s.RELEASEID AND t.DEFECTID = s.DEFECTID);
CREATE TEMP TABLE arf AS SELECT * FROM FILES WHERE RELEASEID IN ar AND ID <> 0 AND @RELEASE@;
CREATE TEMP TABLE af AS SELECT DISTINCT FILEID AS ID FROM ach WHERE FILEID IN (SELECT ID FROM FILES)
  UNION SELECT ID FROM arf;
CREATE TEMP TABLE apath AS SELECT DISTINCT PATHID AS ID FROM ach UNION SELECT NUPATHID FROM arf;
CREATE TEMP TABLE av AS WITH RECURSIVE chain(ID) AS (
  SELECT MAX(VERSIONID) FROM ach WHERE FILEID IN (SELECT ID FROM FILES) AND NOT @RELEASE@ GROUP BY FILEID
  UNION SELECT NUVERSIONID FROM arf
  UNION SELECT v.PREVIOUSID FROM VERSIONS v JOIN chain ON v.ID = chain.ID WHERE v.PREVIOUSID <> 0)
  SELECT ID FROM VERSIONS WHERE ID IN chain OR ID IN (SELECT VERSIONID FROM ach);
CREATE TEMP TABLE ac0 AS SELECT COMPID AS ID FROM RELEASES WHERE ID IN ar
  UNION SELECT COMPID FROM FIX WHERE TRACKID IN at UNION SELECT COMPID FROM asz
  UNION SELECT COMPID FROM DEFECTS WHERE ID IN ad UNION SELECT COMPID FROM FILES WHERE ID IN af;
CREATE TEMP TABLE amem AS SELECT DISTINCT PARENTID, CHILDID FROM (
  SELECT PARENTID, CHILDID FROM COMPMEMBERS WHERE CHILDID IN ac0 AND CHILDID <> 2
  UNION SELECT m2.PARENTID, m2.CHILDID FROM COMPMEMBERS m1 JOIN COMPMEMBERS m2 ON m2.CHILDID = m1.PARENTID
  WHERE m1.CHILDID IN ac0 AND m1.PARENTID NOT IN (m1.CHILDID, 2)) WHERE @ARCHIVING@;
CREATE TEMP TABLE acomp AS SELECT ID FROM COMPONENTS
  WHERE ID IN ac0 OR ID IN (SELECT PARENTID FROM amem WHERE PARENTID <> 2);
CREATE TEMP TABLE au AS SELECT ID FROM USERS WHERE ID <> 0 AND ID IN (
  SELECT USERID FROM ENVIRONMENTS WHERE RELEASEID IN ar UNION SELECT USERID FROM APPROVERS WHERE RELEASEID IN ar
  UNION SELECT USERID FROM RELEASES WHERE ID IN ar UNION SELECT USERID FROM LEVELS WHERE ID IN al
  UNION SELECT USERID FROM TRACKS WHERE ID IN at UNION SELECT USERID FROM APPROVALS WHERE TRACKID IN at
  UNION SELECT USERID FROM FIX WHERE TRACKID IN at UNION SELECT USERID FROM TESTS WHERE TRACKID IN at
  UNION SELECT USERID FROM asz UNION SELECT ORIGINID FROM DEFECTS WHERE ID IN ad
  UNION SELECT OWNERID FROM DEFECTS WHERE ID IN ad UNION SELECT USERID FROM HISTORY WHERE DEFECTID IN ad
  UNION SELECT USERID FROM NOTES WHERE DEFECTID IN ad UNION SELECT USERID FROM VERIFY WHERE DEFECTID IN ad
  UNION SELECT USERID FROM VERSIONS WHERE ID IN av UNION SELECT USERID FROM COMPONENTS WHERE ID IN acomp);
)";

Texts column(const std::string& sql) {
    Texts values;
    SqlCursor cursor(sql);
    EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm << "\n" << sql;
    for (SqlRow row; cursor.fetch(row) == 0;)
        values.insert(row.textAt(0));
    return values;
}

/// The rows of a table of a row copy; -1 when it cannot be read.
int copiedRows(const std::string& path, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_stmt* select = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, (std::string("SELECT COUNT(*) FROM ") + table).c_str(), -1, &select, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(select) == SQLITE_ROW)
        rows = sqlite3_column_int(select, 0);
    sqlite3_finalize(select);
    sqlite3_close(db);
    return rows;
}

// A level archive of rel2 to r2lvl02, or a release archive of rel1.
struct WalkCase { const char *name, *product; bool level, archiving; };

class BuiltFamilyWalkTest : public ::testing::TestWithParam<WalkCase> {
protected:
    void TearDown() override {
        fs::remove_all(arch_);
        archCtx = {};
        sqlRollbackRelease();
        unsetenv("PELO_DB");
    }
    std::string arch_;
};

// Set up as a run's dialog would; the walk and its counts are set against the SQL, then an archive's files.
TEST_P(BuiltFamilyWalkTest, CountsListsAndFilesMatchTheFamily) {
    const WalkCase& c = GetParam();
    const testing::BuiltFamily& family = testing::builtFamily(c.product);
    archCtx = {};
    ASSERT_EQ(sqlConnect(family.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    setenv("PELO_DB", family.env.at("PELO_DB").c_str(), 1);  // where the stand-ins find the family
    archCtx.familyName = "pelofam", archCtx.familyHomeDir = family.home;
    archCtx.database = dialectNamed(c.product == std::string("vql") ? "dizoz" : c.product);
    for (auto [member, name] : {std::pair{&C::orac_home, "ORACLE_HOME"}, {&C::orac_dba_pass, "ORACLE_PASS"},
                                {&C::syb_home, "SYBASE"}, {&C::syb_pass, "SYBASE_PASS"}, {&C::xw_home, "VQL_HOME"},
                                {&C::infx_home, "INFORMIXDIR"}})
        if (family.env.contains(name))
            archCtx.*member = family.env.at(name);
    archCtx.levelName = c.level ? "r2lvl02" : "";
    archCtx.relNameList.listAppend(c.level ? "rel2" : "rel1");
    ASSERT_EQ(checkArchivePrereqs(), 0);
    const bool exports = archCtx.database != Dialect::informix;  // else Notes and Versions go by load file
    arch_ = testing::scratchDir() + "/walk-" + c.name;
    fs::create_directories(arch_);
    archCtx.mode = c.archiving ? RunMode::archive : RunMode::checkOnly, archCtx.fileSystemName = arch_;
    buildWorkFilePaths();
    if (c.archiving)
        createFiles();
    ASSERT_EQ(generateDbPopulateFile(), 0);
    EXPECT_EQ(calculateStorage(), 0);
    EXPECT_EQ(fs::is_empty(arch_), !c.archiving) << "a check-only run writes no file";

    std::string sql = std::regex_replace(expectationSql, std::regex("@RELEASE@"), c.level ? "0" : "1");
    sql = std::regex_replace(sql, std::regex("@ARCHIVING@"), c.archiving ? "1" : "0");
    for (auto [name, list] :
         {std::pair{"ar", &archCtx.releaseIdList}, {"al", &archCtx.levelIdList}, {"at", &archCtx.trackIdList}}) {
        std::string table = std::string("CREATE TEMP TABLE ") + name + " (ID INTEGER);";
        for (int id : *list)
            table += std::string("INSERT INTO ") + name + " VALUES (" + std::to_string(id) + ");";
        sql = table + sql;
    }
    ASSERT_EQ(sqlExecuteScript(sql), 0) << sqlca.sqlerrm;
    const std::pair<int C::*, std::string> counters[] = {
        {&C::numLevels, "al"}, {&C::numTracks, "at"}, {&C::numChanges, "ach"}, {&C::numDefectsFeatures, "ad"},
        {&C::numSizes, "asz"}, {&C::numNotes, "NOTES WHERE DEFECTID IN ad"}, {&C::numFiles, "af"},
        {&C::numPaths, c.archiving ? "apath" : "apath WHERE 0"}, {&C::numVersions, "av"}, {&C::numCompMbrs, "amem"},
        {&C::numComponents, "acomp"}, {&C::numUsers, "au"}, {&C::allNotes, exports ? "NOTES" : "NOTES WHERE 0"},
        {&C::numHosts, "HOSTS WHERE USERID IN au"}, {&C::allVersions, exports ? "VERSIONS" : "VERSIONS WHERE 0"},
    };
    for (const auto& [counter, rows] : counters)
        EXPECT_EQ(archCtx.*counter, std::stoi(*column("SELECT COUNT(*) FROM " + rows).begin())) << rows;
    EXPECT_GT(archCtx.numChanges, 0) << "the family gives the walk nothing to do";
    EXPECT_EQ(versionTexts(), column("SELECT SOURCEID || ':' || ID FROM VERSIONS WHERE ID IN av"));
    const auto idTexts = [](const IdList& list) {
        Texts out;
        for (int id : list)
            out.insert(std::to_string(id));
        return out;
    };
    EXPECT_EQ(idTexts(archCtx.fileIdList), column("SELECT ID FROM af"));
    EXPECT_EQ(idTexts(archCtx.pathIdList), column("SELECT ID FROM apath"));
    if (!c.archiving)
        return;
    // The row copy holds every row counted, the rows the script leaves out
    // or changes included.
    const std::pair<int C::*, const char*> copied[] = {
        {&C::numReleases, "RELEASES"}, {&C::numEnvironments, "ENVIRONMENTS"}, {&C::numApprovers, "APPROVERS"},
        {&C::numLevels, "LEVELS"}, {&C::numLevelMembers, "LEVELMEMBERS"}, {&C::numTracks, "TRACKS"},
        {&C::numChanges, "CHANGES"}, {&C::numApprovals, "APPROVALS"}, {&C::numFixes, "FIX"},
        {&C::numTests, "TESTS"}, {&C::numCoreqs, "COREQS"}, {&C::numDefectsFeatures, "DEFECTS"},
        {&C::numHistory, "HISTORY"}, {&C::numNotes, "NOTES"}, {&C::numVerify, "VERIFY"}, {&C::numSizes, "SIZES"},
        {&C::numFiles, "FILES"}, {&C::numPaths, "PATH"}, {&C::numVersions, "VERSIONS"},
        {&C::numComponents, "COMPONENTS"}, {&C::numCompMbrs, "COMPMEMBERS"}, {&C::numUsers, "USERS"},
        {&C::numHosts, "HOSTS"}, {&C::numSequence, "SEQUENCE"}, {&C::numAuthority, "AUTHORITY"},
        {&C::numInterest, "INTEREST"}, {&C::numConfig, "CONFIG"}, {&C::numCfgRelProc, "CFGRELPROC"},
        {&C::numCfgComProc, "CFGCOMPROC"},
    };
    for (const auto& [counter, table] : copied)
        EXPECT_EQ(copiedRows(archCtx.rowCopy.path(), table), archCtx.*counter) << table;
    const std::string info = testing::readText(arch_ + "/PELOarchive.info");  // in the layout restore reads
    EXPECT_TRUE(info.starts_with("\nPELO Objects Archived\n--------------------- \nReleases         = 1\n")) << info;
    EXPECT_TRUE(info.ends_with("\nSequence         = " + std::to_string(archCtx.numSequence) + "\n")) << info;
    if (!exports) {
        // The here-document ends; each archived row is a load file record of 5 or 11 '|'-ended fields.
        const std::string script = testing::readText(arch_ + "/PELOarchive.dbData");
        EXPECT_TRUE(script.ends_with("\n!\n"));
        EXPECT_NE(script.find("delimiter \"|\" insert into Notes;\n\ncommit work;"), std::string::npos);
        EXPECT_EQ(std::ranges::count(testing::readText(arch_ + "/PELOarchive.notesData"), '|'), 5 * archCtx.numNotes);
        EXPECT_EQ(std::ranges::count(testing::readText(arch_ + "/PELOarchive.versionsData"), '|'),
                  11 * archCtx.numVersions);
        return;
    }
    ASSERT_EQ(export_Notes_Versions(), 0);  // the product's tool (its stand-in) exports both tables whole
    std::string exported;
    for (WorkFile C::*file : {&C::archExport, &C::dbLoadNotes, &C::dbLoadVers})
        exported += testing::readText((archCtx.*file).path());
    for (auto [head, rows] : {std::pair{"NOTES 5 ", archCtx.allNotes}, {"VERSIONS 11 ", archCtx.allVersions}})
        EXPECT_NE(exported.find(std::string("PELO-EXPORT 1 ") + head + std::to_string(rows) + "\n"), std::string::npos);
}

const WalkCase walkCases[] = {
    {"LevelCheckOnly", "oracle", true, false},         {"ReleaseCheckOnly", "oracle", false, false},
    {"LevelArchiveInformix", "informix", true, true},  {"ReleaseArchiveInformix", "informix", false, true},
    {"LevelArchiveOracle", "oracle", true, true},      {"ReleaseArchiveSybase", "sybase", false, true},
    {"LevelArchiveVql", "vql", true, true},
};

INSTANTIATE_TEST_SUITE_P(Walks, BuiltFamilyWalkTest, ::testing::ValuesIn(walkCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
