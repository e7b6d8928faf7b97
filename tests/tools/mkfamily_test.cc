// The family builder's promises: histories that agree with the Versions
// rows, version chains that end, binary versions that the reverse
// differences rebuild, products whose tools export, shapes that each change
// one thing, and the same family for the same seed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "db/client.h"
#include "support/runner.h"
#include "toolRun.h"
#include "vc/binaryVersion.h"
#include "vc/location.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using testing::builtTool;
using testing::runShell;
using Rows = std::vector<std::vector<std::string>>;

const char* const cssc = "/usr/lib/x86_64-linux-gnu/cssc";

std::string tempRoot(const char* name) {
    static std::string base = [] {
        char pattern[] = "/tmp/pelo-families-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    return base + "/" + name;
}

/// Builds a tiny family; the arguments are mkfamily options.
std::string buildFamily(const char* name, const std::string& options) {
    std::string root = tempRoot(name);
    auto run = runShell(shellQuote(builtTool("mkfamily/mkfamily")) + " --root=" + shellQuote(root) + " " + options);
    EXPECT_EQ(run.status, 0) << run.err;
    return root;
}

Rows query(const std::string& root, const std::string& sql) {
    Rows rows;
    EXPECT_EQ(sqlConnect(root + "/home/family.db", "test", "test"), 0) << sqlca.sqlerrm;
    {
        SqlCursor cursor(sql);
        EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm;
        SqlRow row;
        while (cursor.fetch(row) == 0) {
            rows.emplace_back();
            for (int i = 0; i < row.columns(); ++i)
                rows.back().push_back(row.textAt(i));
        }
        cursor.close();
    }
    sqlRollbackRelease();
    return rows;
}

/// Every table as sorted lines, by table name.
std::map<std::string, std::vector<std::string>> dumpTables(const std::string& root) {
    std::map<std::string, std::vector<std::string>> tables;
    for (const auto& name : query(root, "SELECT NAME FROM SQLITE_MASTER WHERE TYPE='table'")) {
        auto& lines = tables[name[0]];
        for (const auto& row : query(root, "SELECT * FROM " + name[0])) {
            std::string line;
            for (const auto& field : row)
                line += field + "\x1f";
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
    }
    return tables;
}

std::vector<int> sidFields(const std::string& sid) {
    std::vector<int> fields;
    std::istringstream in(sid);
    for (std::string field; std::getline(in, field, '.');)
        fields.push_back(std::stoi(field));
    return fields;
}

/// SIDs of each source's Versions rows, newest first.
std::map<int, std::vector<std::string>> sidsBySource(const std::string& root) {
    std::map<int, std::vector<std::string>> sids;
    for (const auto& row : query(root, "SELECT SOURCEID,SID FROM VERSIONS"))
        sids[std::stoi(row[0])].push_back(row[1]);
    for (auto& [source, list] : sids)
        std::sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
            return sidFields(a) > sidFields(b);
        });
    return sids;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FamilyBuilderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sccsFamily = buildFamily("sccs", "--db=oracle --vc=sccs --seed=3");
        pvcsFamily = buildFamily("pvcs", "--db=vql --vc=pvcs --seed=3");
    }
    static void TearDownTestSuite() { fs::remove_all(fs::path(tempRoot("x")).parent_path()); }

    static std::string sccsFamily, pvcsFamily;
};
std::string FamilyBuilderTest::sccsFamily, FamilyBuilderTest::pvcsFamily;

TEST_F(FamilyBuilderTest, SccsHistoriesHoldOneDeltaPerVersionNewestFirst) {
    auto sids = sidsBySource(sccsFamily);
    ASSERT_GT(sids.size(), 10u);
    int binaryDirectories = 0;
    for (const auto& [source, expected] : sids) {
        std::string file = sccsFamily + "/home/vc/" + vcLocation(source, vcText);
        if (!fs::exists(file)) {
            file = sccsFamily + "/home/vc/" + vcLocation(source, vcSCCSBinary) + "/s.binary";
            ++binaryDirectories;
        }
        auto run = runShell(std::string(cssc) + "/prs -e -d\":I:\" " + shellQuote(file));
        EXPECT_EQ(run.err, "") << file;
        EXPECT_EQ(lines(run.out), expected) << file;
    }
    EXPECT_GT(binaryDirectories, 0);
}

TEST_F(FamilyBuilderTest, EveryVersionChainEndsAtZeroWithinItsSource) {
    for (const std::string& root : {sccsFamily, pvcsFamily}) {
        std::map<int, std::pair<int, int>> versions;  // id -> previous, source
        for (const auto& row : query(root, "SELECT ID,PREVIOUSID,SOURCEID FROM VERSIONS"))
            versions[std::stoi(row[0])] = {std::stoi(row[1]), std::stoi(row[2])};
        for (const auto& [id, link] : versions) {
            int steps = 0, at = id;
            while (at != 0 && steps <= int(versions.size())) {
                ASSERT_TRUE(versions.count(at)) << "version " << id << " leads to missing " << at;
                EXPECT_EQ(versions[at].second, link.second) << "version " << id;
                at = versions[at].first;
                ++steps;
            }
            EXPECT_EQ(at, 0) << "the chain of version " << id << " does not end";
        }
        for (const auto& row : query(root, "SELECT NUVERSIONID,SOURCEID FROM FILES"))
            EXPECT_EQ(versions[std::stoi(row[0])].second, std::stoi(row[1]));
    }
}

TEST_F(FamilyBuilderTest, ReverseDifferencesRebuildEveryBinaryVersion) {
    auto sids = sidsBySource(sccsFamily);
    std::map<std::string, int> sizes;
    for (const auto& row : query(sccsFamily, "SELECT SOURCEID,SID,VERSIZE FROM VERSIONS"))
        sizes[row[0] + ":" + row[1]] = std::stoi(row[2]);
    int rebuilt = 0;
    for (const auto& [source, list] : sids) {
        std::string dir = sccsFamily + "/home/vc/" + vcLocation(source, vcSCCSBinary);
        if (!fs::is_directory(dir))
            continue;
        // Only the newest full copy is kept in the scratch copy, so every
        // older version comes from the chain of differences.
        std::string scratch = tempRoot("binary") + std::to_string(source);
        fs::copy(dir, scratch);
        for (std::size_t k = 1; k < list.size(); ++k)
            fs::remove(scratch + "/" + list[k]);
        for (const std::string& sid : list) {
            std::string out = scratch + "/out", messages;
            ASSERT_GE(vcGetSCCSBinaryFile(scratch + "/" + sid, out.c_str(), &messages), 0) << messages;
            EXPECT_EQ(int(fs::file_size(out)), sizes[std::to_string(source) + ":" + sid]) << dir << " " << sid;
            if (fs::exists(dir + "/" + sid)) {
                EXPECT_EQ(readFile(out), readFile(dir + "/" + sid)) << dir << " " << sid;
            }
            ++rebuilt;
        }
    }
    EXPECT_GT(rebuilt, 2);
}

TEST_F(FamilyBuilderTest, PvcsArchivesListTheirSourceVersionsWithBranches) {
    auto sids = sidsBySource(pvcsFamily);
    int branchRevisions = 0, majorTwo = 0;
    for (const auto& [source, expected] : sids) {
        std::string archive = pvcsFamily + "/home/vc/" + vcLocation(source, vcText);
        auto run = runShell(shellQuote(pvcsFamily + "/vcbin/vlog") + " -br " + shellQuote(archive));
        ASSERT_EQ(run.err, "") << archive;
        std::set<std::string> listed;
        for (const std::string& line : lines(run.out))
            if (line.rfind("Rev ", 0) == 0)
                listed.insert(line.substr(4));
        EXPECT_EQ(listed, std::set<std::string>(expected.begin(), expected.end())) << archive;
        for (const std::string& sid : expected) {
            if (sidFields(sid).size() == 4 && sidFields(sid)[3] == 0) {
                ++branchRevisions;
                std::string base = sid.substr(0, sid.rfind('.', sid.rfind('.') - 1));
                auto branch = run.out.find("Branches:  " + base + ".1");
                EXPECT_LT(run.out.find("Rev " + base + "\n"), branch);
                EXPECT_LT(branch, run.out.find("Rev " + sid + "\n"));
            }
            majorTwo += sid == "2.0";
        }
    }
    EXPECT_GT(branchRevisions, 0);
    EXPECT_EQ(majorTwo, 1);
}

TEST_F(FamilyBuilderTest, TablesHoldEveryKindOfRowTheArchiveMeets) {
    const std::string& f = sccsFamily;
    EXPECT_EQ(query(f, "SELECT ID FROM USERS WHERE ID IN (0,1) ORDER BY ID"), (Rows{{"0"}, {"1"}}));
    EXPECT_TRUE(query(f, "SELECT * FROM COMPMEMBERS WHERE CHILDID=2").empty());
    EXPECT_FALSE(query(f, "SELECT * FROM COMPMEMBERS WHERE PARENTID=2").empty());
    EXPECT_EQ(query(f, "SELECT COUNT(*) FROM SEQUENCE WHERE NAME IN ('general','defect','source')"), (Rows{{"3"}}));
    EXPECT_EQ(query(f, "SELECT COUNT(DISTINCT STATE) FROM TRACKS"), (Rows{{"6"}}));
    EXPECT_EQ(query(f, "SELECT COUNT(DISTINCT STATE) FROM LEVELS"), (Rows{{"3"}}));
    EXPECT_FALSE(query(f, "SELECT TRACKID FROM LEVELMEMBERS GROUP BY TRACKID HAVING COUNT(*)>1").empty());
    EXPECT_FALSE(query(f, "SELECT ID FROM TRACKS WHERE ACTUAL IS NULL AND STATE='complete'").empty());
    EXPECT_EQ(query(f, "SELECT MAX(LENGTH(REMARKS)) FROM NOTES"), (Rows{{"32000"}}));
    for (const char* c : {"|", "\"", "'", ";", "\n"})
        EXPECT_FALSE(query(f, std::string("SELECT 1 FROM NOTES WHERE INSTR(REMARKS,'") +
                                  (std::string(c) == "'" ? "''" : c) + "')>0").empty()) << c;
    EXPECT_FALSE(query(f, "SELECT 1 FROM FILES WHERE DROPDATE IS NOT NULL").empty());
    EXPECT_FALSE(query(f, "SELECT 1 FROM FILESOUT").empty());
    auto destroyed = query(f, "SELECT DISTINCT V.SOURCEID FROM CHANGES C JOIN VERSIONS V ON V.ID=C.VERSIONID "
                              "WHERE C.FILEID NOT IN (SELECT ID FROM FILES)");
    ASSERT_EQ(destroyed.size(), 2u);
    for (const auto& row : destroyed)
        EXPECT_TRUE(fs::exists(f + "/home/vc/" + vcLocation(std::stoi(row[0]), vcText)) ||
                    fs::exists(f + "/home/vc/" + vcLocation(std::stoi(row[0]), vcSCCSBinary) + "/s.binary"));
    // Files of several releases share one source.
    EXPECT_FALSE(query(f, "SELECT SOURCEID FROM FILES GROUP BY SOURCEID HAVING COUNT(DISTINCT RELEASEID)=3").empty());
}

TEST_F(FamilyBuilderTest, HomeHoldsMapsConfigurationAndTheInstallationRecord) {
    for (const auto& row : query(sccsFamily, "SELECT R.NAME,L.NAME FROM LEVELS L JOIN RELEASES R ON R.ID=L.RELEASEID"))
        EXPECT_TRUE(fs::exists(sccsFamily + "/home/maps/" + row[0] + "/" + row[1])) << row[1];
    for (const char* file : {"config.ld", "authority.ld", "interest.ld", "cfgcomproc.ld", "cfgrelproc.ld",
                             "configField/DefectConfigTbl", "configField/UserConfigFormat"})
        EXPECT_TRUE(fs::exists(sccsFamily + "/home/" + file)) << file;
    EXPECT_NE(readFile(sccsFamily + "/home/configField/DefectConfigTbl").find("\nno|CUSTOMER|"), std::string::npos);
    // The configured columns exist in the tables they extend.
    EXPECT_FALSE(query(sccsFamily, "SELECT ID FROM DEFECTS WHERE PRIORITY IS NOT NULL").empty());
    EXPECT_FALSE(query(sccsFamily, "SELECT ID FROM USERS WHERE PHONE IS NOT NULL").empty());
    auto env = runShell(". " + shellQuote(pvcsFamily + "/family.env") +
                        " && grep -v '^#' \"$PELO_HOME/install/mkdb\" && echo \"$VQL_HOME\" && "
                        "LD_PRELOAD=libnss_wrapper.so id -un && echo \"$ORACLE_PASS\"");
    EXPECT_EQ(env.status, 0) << env.err;
    auto out = lines(env.out);
    ASSERT_EQ(out.size(), 5u) << env.out;
    EXPECT_EQ(out[1], "database VQL");
    EXPECT_EQ(out[2], pvcsFamily + "/products/dizoz");
    EXPECT_EQ(out[3], "pelofam");
    EXPECT_FALSE(out[4].empty());
}

TEST_F(FamilyBuilderTest, SameSeedBuildsTheSameDatabase) {
    auto again = buildFamily("pvcs-again", "--db=vql --vc=pvcs --seed=3");
    auto other = buildFamily("pvcs-other", "--db=vql --vc=pvcs --seed=4");
    EXPECT_EQ(dumpTables(again), dumpTables(pvcsFamily));
    EXPECT_NE(dumpTables(other), dumpTables(pvcsFamily));
}

TEST_F(FamilyBuilderTest, CommitDatesRunInOrderAcrossTheCentury) {
    auto byDate = query(sccsFamily, "SELECT ID,COMMITDATE FROM LEVELS WHERE COMMITDATE IS NOT NULL ORDER BY COMMITDATE");
    ASSERT_GT(byDate.size(), 4u);
    for (std::size_t i = 1; i < byDate.size(); ++i)
        EXPECT_LT(std::stoi(byDate[i - 1][0]), std::stoi(byDate[i][0])) << byDate[i][1];
    EXPECT_EQ(byDate.front()[1].substr(0, 3), "99/");
    EXPECT_EQ(byDate.back()[1].substr(0, 4), "100/");
}

TEST_F(FamilyBuilderTest, LoginAndUidReachThePasswdEntryAndUserOne) {
    auto root = buildFamily("login", "--vc=pvcs --login=fam_x --uid=4242");
    EXPECT_EQ(readFile(root + "/passwd").rfind("fam_x:x:4242:", 0), 0u);
    EXPECT_NE(readFile(root + "/passwd").find(":" + root + "/home:"), std::string::npos);
    EXPECT_EQ(query(root, "SELECT LOGIN,SUPERUSER FROM USERS WHERE ID=1"), (Rows{{"fam_x", "yes"}}));
}

TEST_F(FamilyBuilderTest, RefusesAnOccupiedRootAndUnknownOptions) {
    std::string tool = shellQuote(builtTool("mkfamily/mkfamily"));
    auto occupied = runShell(tool + " --root=" + shellQuote(sccsFamily));
    EXPECT_EQ(occupied.status, 1);
    EXPECT_NE(occupied.err.find("exists already"), std::string::npos);
    for (const char* bad : {"--break=nope", "--login=Bad-Name", "--db=db9", "--vc=cvs", "--size=huge", "--colour"}) {
        auto run = runShell(tool + " --root=" + shellQuote(tempRoot("refused")) + " " + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_EQ(run.err.rfind("mkfamily: ", 0), 0u) << bad;
        EXPECT_FALSE(fs::exists(tempRoot("refused") + "/home")) << bad;
    }
}

/// Each shape against the unshaped family of the same seed: the tables
/// whose rows differ, and how many rows differ in all.
struct ShapeCase {
    const char* shape;
    std::set<std::string> tables;
    std::size_t changedRows;  ///< rows removed plus rows added
};

class FamilyShapeTest : public FamilyBuilderTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(FamilyShapeTest, ShapeChangesOnlyWhatItsRuleLooksAt) {
    const ShapeCase& shape = GetParam();
    auto shaped = dumpTables(buildFamily(shape.shape, std::string("--db=vql --vc=pvcs --seed=3 --break=") + shape.shape));
    auto plain = dumpTables(pvcsFamily);
    std::set<std::string> tables;
    std::size_t changed = 0;
    for (const auto& [table, rows] : plain) {
        std::vector<std::string> difference;
        std::set_symmetric_difference(rows.begin(), rows.end(), shaped[table].begin(), shaped[table].end(),
                                      std::back_inserter(difference));
        if (!difference.empty())
            tables.insert(table);
        changed += difference.size();
    }
    EXPECT_EQ(tables, shape.tables);
    EXPECT_EQ(changed, shape.changedRows);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FamilyShapeTest,
    ::testing::Values(ShapeCase{"no-user0", {"USERS"}, 1}, ShapeCase{"level-not-complete", {"LEVELS"}, 2},
                      ShapeCase{"checked-out", {"FILESOUT"}, 2}, ShapeCase{"shared-checked-out", {"FILESOUT"}, 1},
                      ShapeCase{"earlier-level-not-complete", {"LEVELS"}, 2},
                      ShapeCase{"track-not-complete", {"TRACKS"}, 2},
                      ShapeCase{"track-in-later-level", {"LEVELMEMBERS"}, 1},
                      ShapeCase{"unleveled-track-not-complete", {"TRACKS"}, 2},
                      ShapeCase{"held-track-not-complete", {"TRACKS"}, 2},
                      ShapeCase{"release-level-not-complete", {"LEVELS"}, 2},
                      ShapeCase{"release-track-active", {"TRACKS"}, 2}, ShapeCase{"sizes-ready", {"SIZES"}, 2},
                      ShapeCase{"dsr-defect-sized", {"DEFECTS"}, 2}),
    [](const auto& info) {
        std::string name = info.param.shape;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

}  // namespace
}  // namespace pelo
