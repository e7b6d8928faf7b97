// The populate script byte for byte, and the values and tools it refuses.
#include "archive/writeDbPop.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>

#include "archive/confField.h"
#include "familyDb.h"
#include "support/msg.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

class WriteDbPopTest : public testing::FamilyDbTest {
protected:
    void SetUp() override {
        FamilyDbTest::SetUp();
        archCtx.familyHomeDir = scratch.string();
        defTbl = featTbl = fileTbl = userTbl = {};
    }

    // A script of the dialect with a fresh writer, at the path or else in a new scratch file.
    void start(Dialect dialect, const std::string& path = {}) {
        writer_ = {};
        archCtx.database = dialect;
        archCtx.dbPop.setPath(path.empty() ? (scratch / ("script" + std::to_string(++scripts_))).string() : path);
        ASSERT_EQ(archCtx.dbPop.open(0755), WorkFile::Opened::yes);
    }

    std::string script() {
        archCtx.dbPop.close();
        std::ifstream in(archCtx.dbPop.path());
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A scratch INFORMIXDIR holding the tools named, each a stand-in that copies its input.
    void informixDir(std::initializer_list<const char*> tools, const std::string& dir = "ifx") {
        fs::create_directories(scratch / dir / "bin");
        for (const char* tool : tools) {
            std::ofstream(scratch / dir / "bin" / tool) << "#!/bin/sh\ncat\n";
            fs::permissions(scratch / dir / "bin" / tool, fs::perms::owner_all);
        }
        archCtx.infx_home = (scratch / dir).string();
    }

    DbPopWriter writer_;
    int scripts_ = 0;
};

// Empty nullables are null, cleaned values lose ' ` & ;, an open level has no commit date.
TEST_F(WriteDbPopTest, StatementsByteForByte) {
    const struct { const char* name; std::function<void()> write; const char* bytes; } cases[] = {
        {"ReleaseCleanedAndNullable",
         [this] { writeReleaseInfoToDbPopFile(writer_, {3, "rel1", 4, "yes", "it's a; b", 5, "a", "", "u", 7, "p", "t", "ap", "f", "l", "x"}); },
         "insert into Releases values (3,'rel1',4,'yes',\n  'it s a  b',\n  5,'a',null,\n  'u',7,'p','t','ap','f','l','x');\n"},
        {"LevelWithoutCommitDate", [this] { writeLevelInfoToDbPopFile(writer_, {8, "lvl", 3, 5, "a", "", "u", "open", "prod", 2}); },
         "insert into Levels values (8,'lvl',3,5,\n  'a',null,'u','open',\n  'prod',2);\n"},
        {"Track", [this] { writeTrackInfoToDbPopFile(writer_, {9, 3, 11, 5, "fix", "", "act", "a", "u"}); },
         "\ninsert into Tracks values (9,3,11,5,'fix',\n  null,'act','a','u');\n"},
        {"FeatureHead",
         [this] { writeFeatureInfoToDbPopFile(writer_, {12, "feature", "", "f12", 4, "env", "open", "high", "a;b&c", "r", "an", "lv", "u", "a", "as", "re", "en", 5, 6, 2, "dup", 3}); },
         "\ninsert into Defects (id, type, prefix, name, compId, envName, state,\n"
         "   severity, abstract, reference, answer, levelName, lastUpdate, addDate,\n"
         "   assignDate, responseDate, endDate, originId, ownerId, age, duplicate,\n"
         "   releaseId) values (12, 'feature',null,'f12',4,\n  'env','open','high',\n  'a b c',\n"
         "    'r','an','lv','u','a',\n  'as','re','en',\n  5,6,2,'dup',3);\n"},
        {"FileTakesGivenPathVersionAndBaseName",
         [this] { writeFileInfoToDbPopFile(writer_, {12, 4, 30, 1, 2, 10, 20, "a", "na", "", "nd", "u", "old.c", "text", 3, "", "644"}, 7, 70, "x.c"); },
         "\ninsert into Files values (12,4,30,7,7,70,70,\n  'a','na',null,\n  'nd','u','x.c',\n  'text',3,null,'644');\n"},
    };
    for (const auto& c : cases) {
        start(Dialect::oracle);
        c.write();
        EXPECT_EQ(script(), c.bytes) << c.name;
    }
}

// isql, then 'isql(rf)' (quoted for the shell), then isqlrf; with none, 1388 and nothing written.
TEST_F(WriteDbPopTest, InformixToolIsProbedInOrderWithTheDirectoryQuoted) {
    const struct { std::initializer_list<const char*> tools; std::string tool; } cases[] = {
        {{"isqlrf"}, "$1/bin/isqlrf"}, {{"isqlrf", "isql(rf)"}, "$1/bin/'isql(rf)'"},
        {{"isqlrf", "isql(rf)", "isql"}, "$1/bin/isql"}, {{}, ""}};
    for (const auto& [tools, tool] : cases) {
        informixDir(tools, "ifx dir's $(x) " + tool);
        start(Dialect::informix);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(addLoginLineToDbPopFile(), tool.empty() ? 1 : 0) << tool;
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed + script(), tool.empty() ? msgGet(1388) : tool + "  $2 >>$3 2>&1 <<!\n\n");
    }
}

// Each dialect's framing around a hostile value; a line its reader takes as a command is refused.
TEST_F(WriteDbPopTest, DialectFramingHostileValuesAndRefusedCommandLines) {
    const std::string hostile = "O'Brien $(touch ran) `touch ran` \\ \\$HOME; \"x\"\n!x\n";
    const std::string literal = "'O'" + hostile.substr(1) + "'";  // its quote doubled
    const std::string escaped = "'O''Brien \\$(touch ran) \\`touch ran\\` \\\\ \\\\\\$HOME; \"x\"\n!x\n'";
    const std::map<Dialect, std::array<std::string, 3>> headerEndCommit = {
        {Dialect::oracle, {"", ");\n", "\ncommit;\n"}},
        {Dialect::informix, {"$1/bin/'isql(rf)'  $2 >>$3 2>&1 <<!\n\n", ");\n", "\ncommit work;\n"}},
        {Dialect::sybase, {"begin transaction\ngo\n\n", ")\ngo\n", "\ncommit transaction\ngo\nbegin transaction\ngo\n"}},
        {Dialect::dizoz, {"", ");\n", "\n"}}};
    const struct { Dialect dialect; std::string value, literal; const char* refusedAs = nullptr; } cases[] = {
        {Dialect::oracle, hostile, literal}, {Dialect::informix, hostile, escaped}, {Dialect::sybase, hostile, literal},
        {Dialect::dizoz, hostile, literal}, {Dialect::informix, "a\n!\nb", "", "!"},
        {Dialect::informix, "a\n !\n!x\nb", "'a\n !\n!x\nb'"}, {Dialect::informix, "!\nb!", "'!\nb!'"},
        {Dialect::sybase, "a\n go \nb", "", "go"}, {Dialect::sybase, "a\nGO\nb", "", "go"},
        {Dialect::sybase, "a\n!! rm -r ~\nb", "", "!!"}, {Dialect::sybase, "a\ngone\nb", "'a\ngone\nb'"},
        {Dialect::oracle, "a\n!\ngo\nb", "'a\n!\ngo\nb'"}};
    informixDir({"isql(rf)"});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(dialectSettings(c.dialect).name) + ": " + c.value);
        const auto& [header, end, commit] = headerEndCommit.at(c.dialect);
        start(c.dialect);
        ::testing::internal::CaptureStdout();
        ASSERT_EQ(addLoginLineToDbPopFile(), 0);
        PathRecord path{7, ""};
        c.value.copy(path.NAME, sizeof path.NAME - 1);
        writePathInfoToDbPopFile(writer_, path);
        const bool refused = c.refusedAs != nullptr;
        EXPECT_EQ(addCommitStmtToDbPopFile(writer_), refused ? 1 : 0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  refused ? std::string(msgGet(1333)).append(msgGet(1537, "Path", "ID 7", c.refusedAs)) : "");
        EXPECT_EQ(script(), header + (refused ? "" : "\ninsert into Path values (7," + c.literal + end + commit));
        EXPECT_EQ(writer_.failed, refused);
    }
}

// The header is flushed at once; a statement's failed write shows at the next commit.
TEST_F(WriteDbPopTest, FullDiskFailsTheHeaderAndTheNextCommit) {
    start(Dialect::sybase, "/dev/full");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(addLoginLineToDbPopFile(), 1);
    start(Dialect::oracle, "/dev/full");
    EXPECT_EQ(addLoginLineToDbPopFile(), 0) << "an Oracle script has no header";
    for (int id = 0; id < 100; ++id)
        writePathInfoToDbPopFile(writer_, {id, "a path long enough that a hundred of them overflow the stream's buffer"});
    EXPECT_EQ(addCommitStmtToDbPopFile(writer_), 1);
    const std::string failure = std::string(msgGet(1333)).append(msgGet(1458, "/dev/full"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), failure + failure) << "header and commit fail alike";
}

// Five configured defect fields: the fourth name starts a line; values from the row, else null.
TEST_F(WriteDbPopTest, ConfiguredColumnsOfDefectsAndUsers) {
    rows("ALTER TABLE DEFECTS ADD COLUMN F1 VARCHAR(16); ALTER TABLE DEFECTS ADD COLUMN F2 VARCHAR(16);"
         "ALTER TABLE DEFECTS ADD COLUMN F3 VARCHAR(16); ALTER TABLE DEFECTS ADD COLUMN F4 INTEGER;"
         "ALTER TABLE DEFECTS ADD COLUMN F5 VARCHAR(16); ALTER TABLE USERS ADD COLUMN REGION VARCHAR(16);"
         "INSERT INTO DEFECTS (ID, TYPE, NAME, F1, F2, F3, F4, F5) VALUES (11, 'defect', 'd11', 'one', NULL, 'it''s', 42, '');"
         "INSERT INTO USERS (ID, LOGIN, REGION) VALUES (5, 'bob', '');");
    fs::create_directory(scratch / "configField");
    std::ofstream(scratch / "configField/DefectConfigTbl") << "yes|F1\nyes|F2\nyes|F3\nyes|F4\nyes|F5\n";
    std::ofstream(scratch / "configField/UserConfigTbl") << "yes|REGION|region|Region|Region|yes|no|text\n";
    readConfigFields(defTbl, "configField/DefectConfigTbl");
    readConfigFields(userTbl, "configField/UserConfigTbl");
    readConfigReport();
    const auto head = [](const std::string& name) {
        return "\ninsert into Defects (id, type, prefix, name, compId, envName, state,\n"
               "  severity, abstract, reference, answer, levelName, lastUpdate, addDate,\n"
               "  assignDate, responseDate, endDate, originId, ownerId, age, duplicate,\n"
               "  releaseId, F1, F2, F3,\n  F4, F5) values (11, 'defect',null,'" + name + "',0,\n"
               "  null,'',null,'',\n    null,null,null,'','',\n  null,null,null,0,0,0,null,0";
    };
    start(Dialect::oracle);
    writeDefectInfoToDbPopFile(writer_, {11, "defect", "", "d11", 0, "", "", "", "", "", "", "", "", "", "", "", "", 0, 0, 0, "", 0});
    writeDefectInfoToDbPopFile(writer_, {11, "defect", "", "nomatch", 0, "", "", "", "", "", "", "", "", "", "", "", "", 0, 0, 0, "", 0});
    writeUserAndHostInfoToDbPopFile(writer_, {5, "bob", "", "no", "", "", "a", "", "u"});
    EXPECT_EQ(script(), head("d11") + ",\n  'one',\n  null,\n  'it''s',\n  '42',\n  null);\n" + head("nomatch") +
                            ",\n  null,\n  null,\n  null,\n  null,\n  null);\n" +
                            "insert into Users values (5,'bob',null,\n  'no',null,null,\n  'a',null,'u',\n  null);\n");
}

// User 1 and its hosts take general+1, as Sequence records; "source" is the greatest source archived.
TEST_F(WriteDbPopTest, UserOneAndTheGlobalTablesPerDialect) {
    rows("INSERT INTO SEQUENCE VALUES ('defect', 7), ('general', 41), ('other', 5), ('source', 99);"
         "INSERT INTO HOSTS VALUES (1, 'h1', 'l1', 9), (1, 'h2', 'l2', 9), (2, 'other', 'l3', 9);"
         "INSERT INTO AUTHORITY VALUES ('admin', 'create'); INSERT INTO INTEREST VALUES ('dev', 'notify');"
         "INSERT INTO CONFIG VALUES ('t','n','yes',1,2,''); INSERT INTO CFGRELPROC VALUES ('r','c'); INSERT INTO CFGCOMPROC VALUES ('k','c');");
    for (int source : {3, 17, 5})
        archCtx.sourceIdList.listAppendUnique(SourceEntry{source, {}});
    // The statement end; the commit after each host and Sequence, after Authority to Cfgrelproc, after Cfgcomproc.
    const struct { Dialect dialect; const char *end, *commit, *middle, *last; } cases[] = {
        {Dialect::oracle, ";", "\ncommit; \n", "\ncommit; \n", "\ncommit; \n"},
        {Dialect::sybase, "\ngo", "\ncommit transaction\ngo\nbegin transaction\ngo \n", "", "\ncommit transaction\ngo\n"},
        {Dialect::dizoz, ";", "", "", ""},
    };
    const UserRecord userOne{1, "fam", "", "yes", "", "", "a", "", "u"};
    for (const auto& c : cases) {
        SCOPED_TRACE(dialectSettings(c.dialect).name);
        archCtx.numSequence = 0;
        start(c.dialect);
        EXPECT_EQ(writeUserAndHostInfoToDbPopFile(writer_, userOne), 2) << "the user's hosts";
        EXPECT_EQ(takeGlobalTables(writer_), 0);
        const std::string end = c.end + std::string("\n");
        EXPECT_EQ(script(), "insert into Users values (42,'fam',null,\n  'yes',null,null,\n  'a',null,'u')" + end +
                                "insert into Hosts values (42,'h1',\n  'l1',0)" + end + c.commit +
                                "insert into Hosts values (42,'h2',\n  'l2',0)" + end + c.commit +
                                "insert into Sequence values ('defect',7)" + end + "insert into Sequence values ('general',42)" +
                                end + "insert into Sequence values ('source',17)" + end + c.commit +
                                "insert into Authority values ('admin','create')" + end + c.middle +
                                "insert into Interest values ('dev','notify')" + end + c.middle +
                                "insert into Config values ('t','n',\n  'yes',1,2,\n  null)" + end + c.middle +
                                "insert into Cfgrelproc values ('r','c')" + end + c.middle + "insert into Cfgcomproc values ('k','c')" +
                                end + c.last);
        EXPECT_EQ(archCtx.numSequence, 4) << "every sequence counted";
    }
    archCtx.mode = RunMode::checkOnly;
    start(Dialect::oracle);
    EXPECT_EQ(takeGlobalTables(writer_), 0);
    EXPECT_EQ(script(), "") << "a check-only run only counts";
    const int globals = archCtx.numAuthority + archCtx.numInterest + archCtx.numConfig + archCtx.numCfgRelProc + archCtx.numCfgComProc;
    EXPECT_EQ(globals, 20) << "a check-only run counts the same rows";
}

}  // namespace
}  // namespace pelo
