// reload runs an archive's populate script against an empty family
// database.  Each dialect's script below is written by hand in the layout
// the archive writes, holding the same hostile values; reloaded, every one
// must give back exactly those values, and no value may reach the shell.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "db/backends.h"
#include "db/client.h"
#include "db/schema.h"
#include "support/commandLine.h"
#include "support/runner.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

const Texts intendedPaths = {"O'Brien; semi;colon 'go' — Grüße 日本語",
                             "$(touch CANARY) `touch CANARY` back\\slash \\$HOME", "two\nlines;\ngo\n", "commit work"};
const Texts intendedNotes = {"it's; `touch CANARY` \\ ü\ngo\n"};

/// The load files write a '|' of the remarks as '!', so that is what an
/// Informix archive gives back.
Texts intendedVersions(const std::string& dialect) {
    return {std::string("\nfirst line empty; pipe") + (dialect == "informix" ? "!" : "|") + "bar", ""};
}

// The stand-ins' export format ('\' escapes) and the Informix load files.
const char* const notesExport = R"(PELO-EXPORT 1 NOTES 5 1
DEFECTID|USERID|ACTION|ADDDATE|REMARKS
10|1|note|99/12/31 23:59:59|it's; `touch CANARY` \\ ü\ngo\n
)";
const char* const versionsExport = R"(PELO-EXPORT 1 VERSIONS 11 2
ID|PREVIOUSID|SOURCEID|USERID|RAWLINES|CODELINES|COMMENTLINES|REMARKS|CHANGEDATE|SID|VERSIZE
5|0|7|1|10|8|2|\nfirst line empty; pipe\|bar|99/12/31 23:59:59|1.1|100
6|5|7|1|0|0|0||100/01/01 00:00:00|1.2|0
)";
const char* const notesLoad = "10|1|note|99/12/31 23:59:59|it's; `touch CANARY` \\ ü\ngo\n|\n";
const char* const versionsLoad = R"(5|0|7|1|10|8|2|
first line empty; pipe!bar|99/12/31 23:59:59|1.1|100|
6|5|7|1|0|0|0|null|100/01/01 00:00:00|1.2|0|
)";

struct ReloadCase {
    const char* dialect;
    const char* script;
    const char* message = "";  ///< for a failing script: what standard error must say
};

const ReloadCase oracle{"oracle", R"SQL(
insert into Path values (1,'O''Brien; semi;colon ''go'' — Grüße 日本語');
insert into Path values (2,'$(touch CANARY) `touch CANARY` back\slash \$HOME');

commit;

insert into Path values (3,'two
lines;
go
');
insert into Path values (4,'commit work');

commit; 
)SQL"};

const ReloadCase goodScripts[] = {
    oracle,
    {"sybase", R"SQL(begin transaction
go

insert into Path values (1,'O''Brien; semi;colon ''go'' — Grüße 日本語')
go
insert into Path values (2,'$(touch CANARY) `touch CANARY` back\slash \$HOME')
go

commit transaction
go
begin transaction
go 
insert into Path values (3,'two
lines;
go
')
go
insert into Path values (4,'commit work')
go

commit transaction
go
)SQL"},
    {"informix", R"SQL($1/bin/isql  $2 >>$3 2>&1 <<!


insert into Path values (1,'O''Brien; semi;colon ''go'' — Grüße 日本語');
insert into Path values (2,'\$(touch CANARY) \`touch CANARY\` back\\slash \\\$HOME');
insert into Path values (3,'two
lines;
go
');
insert into Path values (4,'commit work');

load from "$4/PELOarchive.notesData" delimiter "|" insert into Notes;

commit work;

load from "$4/PELOarchive.versionsData" delimiter "|" insert into Versions;

commit work;

!
)SQL"}};

const ReloadCase badScripts[] = {
    {"oracle", "insert into Path values (1,'kept?');\n\ncommit;\n\ninsert into Nowhere values (2,'x');\n",
     "PELOarchive.dbData line 5: no such table: Nowhere"},
    {"sybase", "begin transaction\ngo\n\ninsert into Path values (1,'open)\ngo\n",
     "PELOarchive.dbData line 4: a quoted literal is never closed"},
    {"informix", "$1/bin/isql  $2 >>$3 2>&1 <<!\n\ninsert into Path values (1,'a\n!\ntouch CANARY\n');\n!\n",
     "PELOarchive.dbData line 4: a line \"!\" ends the here-document"},
    {"informix", "$1/bin/isql  $2 >>$3 2>&1 <<!\n\ninsert into Path values (1,'$(touch CANARY)');\n!\n",
     "PELOarchive.dbData line 3: an unescaped \"$(\""},
    {"informix", "$1/bin/isql  $2 >>$3 2>&1 <<!\n\ninsert into Path values (1,'x');\ninsert into Nowhere values (1);\n!\n",
     "insert into Nowhere values (1): no such table: Nowhere"}};

class ReloadTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        fs::create_directory(scratch / "archive");
        target_ = (scratch / "family.db").string();
    }

    /// The archive of a case: its script and the Notes and Versions rows.
    void writeArchive(const ReloadCase& c) {
        const fs::path archive = scratch / "archive";
        const bool load = c.dialect == std::string("informix");
        std::ofstream(archive / "PELOarchive.dbData") << c.script;
        if (c.dialect == std::string("oracle")) {
            std::ofstream(archive / "PELOarchive.export") << notesExport << versionsExport;
        } else {
            std::ofstream(archive / "PELOarchive.notesData") << (load ? notesLoad : notesExport);
            std::ofstream(archive / "PELOarchive.versionsData") << (load ? versionsLoad : versionsExport);
        }
    }

    /// Runs reload on the archive in the scratch directory, where a value
    /// the shell ran would leave its CANARY.  The exit status.
    int reload(const std::string& dialect, bool createSchema, std::string& err) {
        CommandLine line("cd");
        line.arg(scratch.string()).text(" &&").arg(PELO_BINARY_DIR "/tools/reload/reload");
        if (createSchema)
            line.text(" --create-schema");
        line.text(" --dialect=").quoted(dialect).text(" --target=").quoted(target_);
        line.text(" --login=").quoted(user_).text(" --password=").quoted(password_);
        line.arg((scratch / "archive").string()).text(" >/dev/null 2>reload.err; echo $?");
        std::vector<char> out(64), unused(4096);
        send_command(line, out.data(), out.size(), unused.data(), unused.size());
        std::ifstream in(scratch / "reload.err");
        err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return std::atoi(out.data());
    }

    /// The first column of every row of the query.
    Texts column(const char* sql) const {
        EXPECT_EQ(sqlConnect(target_, user_, password_), 0) << sqlca.sqlerrm;
        Texts values;
        SqlCursor cursor(sql);
        EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm;
        for (SqlRow row; cursor.fetch(row) == 0;)
            values.push_back(row.textAt(0));
        sqlRollbackRelease();
        return values;
    }

    void reloadAndExpectEveryValue(const ReloadCase& c) {
        writeArchive(c);
        std::string err;
        ASSERT_EQ(reload(c.dialect, true, err), 0) << err;
        EXPECT_EQ(err, "");
        EXPECT_EQ(column("SELECT NAME FROM PATH ORDER BY ID"), intendedPaths);
        EXPECT_EQ(column("SELECT REMARKS FROM NOTES ORDER BY DEFECTID"), intendedNotes);
        EXPECT_EQ(column("SELECT REMARKS FROM VERSIONS ORDER BY ID"), intendedVersions(c.dialect));
        EXPECT_EQ(column("SELECT SID FROM VERSIONS ORDER BY ID"), (Texts{"1.1", "1.2"}));
        EXPECT_FALSE(fs::exists(scratch / "CANARY"));
    }
    std::string target_, user_ = "test", password_ = "test";
};

class ReloadScriptTest : public ReloadTest, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(ReloadScriptTest, GivesBackEveryValueAndRunsNone) { reloadAndExpectEveryValue(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Reload, ReloadScriptTest, ::testing::ValuesIn(goodScripts),
                         [](const auto& info) { return std::string(info.param.dialect); });

class ReloadFailureTest : public ReloadTest, public ::testing::WithParamInterface<ReloadCase> {};

// A failure names the line or the statement, and nothing of the script is
// left behind (the Informix failures all come before a "commit work").
TEST_P(ReloadFailureTest, NamesTheStatementAndKeepsNothing) {
    writeArchive(GetParam());
    std::ofstream{target_};
    ASSERT_EQ(sqlConnect(target_, user_, password_), 0);
    ASSERT_EQ(sqlExecuteScript(familySchemaSql()), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0);
    sqlRollbackRelease();
    std::string err;
    EXPECT_EQ(reload(GetParam().dialect, false, err), 1);
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
    EXPECT_EQ(column("SELECT ID FROM PATH"), Texts{});
    EXPECT_FALSE(fs::exists(scratch / "CANARY"));
}

INSTANTIATE_TEST_SUITE_P(Reload, ReloadFailureTest, ::testing::ValuesIn(badScripts),
                         [](const auto& info) { return std::string(info.param.dialect) + std::to_string(info.index); });

}  // namespace
}  // namespace pelo
