// The statement runner --verify loads a script with: inserts alone run,
// whatever quoting hides a second statement; and an Informix here-document
// read as the shell would hand it to isql, never run.
#include "archive/scriptReload.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/client.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

struct StatementCase {
    const char* name;
    Dialect dialect;
    std::string script;  ///< OUT stands for a file the statement would make
    int problems;        ///< statements refused or failing
    long run;            ///< statements run
};

const std::vector<StatementCase> statementCases = {
    {"InsertWithSemicolonsInItsLiteral", Dialect::oracle, "insert into Path values (1,'a;b; attach');\n", 0, 1},
    {"CommentBeforeAttach", Dialect::oracle, "/* insert */ attach database 'OUT' as x;\n", 1, 0},
    // The reader takes the quote inside the identifier for a literal's,
    // so the whole line is one statement to it; SQLite sees three.
    {"DeleteBehindAQuotedIdentifier", Dialect::oracle,
     "insert into Path select 1 as \"'\", 'a'; delete from Path; --';\n", 1, 0},
    {"SecondStatementInASybaseBatch", Dialect::sybase, "insert into Path values (2,'x'); delete from Path\ngo\n", 1, 0},
    {"CommitsPassedOver", Dialect::sybase,
     "begin transaction\ngo\ninsert into Path values (3,'y')\ngo\ncommit transaction\ngo\n", 0, 1},
};

void PrintTo(const StatementCase& c, std::ostream* out) { *out << c.name; }

class ScriptReloadTest : public ::testing::TestWithParam<StatementCase> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelo-scriptreload-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream{dir_ / "scratch.db"};
        ASSERT_EQ(sqlConnect((dir_ / "scratch.db").string(), "", ""), 0) << sqlca.sqlerrm;
        createFamilySchema([](const std::string&) { return std::nullopt; });
    }
    void TearDown() override {
        sqlRollbackRelease();
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_P(ScriptReloadTest, RunsInsertsAlone) {
    std::string script = GetParam().script;
    if (const std::size_t out = script.find("OUT"); out != std::string::npos)
        script.replace(out, 3, (dir_ / "made.db").string());
    int problems = 0;
    const long run = runScript(script, {GetParam().dialect, true,
                                        [&](int, const std::string&, std::string_view) { ++problems; }, {}});
    EXPECT_EQ(problems, GetParam().problems);
    EXPECT_EQ(run, GetParam().run);
    EXPECT_FALSE(fs::exists(dir_ / "made.db"));
}

INSTANTIATE_TEST_SUITE_P(Statements, ScriptReloadTest, ::testing::ValuesIn(statementCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HereDocumentTest, GivesWhatTheShellWouldAndRefusesExpansions) {
    const std::string head = "$1/bin/isql  $2 >>$3 2>&1 <<!\n";
    ScriptFault fault;
    const std::string load = "load from \"$4/PELOarchive.notesData\" delimiter \"|\" insert into Notes;\n";
    EXPECT_EQ(hereDocumentStatements(head + "insert into Path values (1,'\\$(x) \\`y\\` a\\\\b \\$HOME');\n" + load + "!\n",
                                     fault),
              "insert into Path values (1,'$(x) `y` a\\b $HOME');\n" + load);
    for (const char* expanded : {"$HOME", "${IFS}", "$44", "$$"}) {
        EXPECT_EQ(hereDocumentStatements(head + "\ninsert into Path values (1,'" + expanded + "');\n!\n", fault),
                  std::nullopt)
            << expanded;
        EXPECT_EQ(fault.line, 3) << expanded;
    }
    EXPECT_EQ(hereDocumentStatements(head + "insert into Path values (1,'`touch x`');\n!\n", fault), std::nullopt);
    EXPECT_EQ(fault.reason, "an unescaped back quote: the shell would run the command it opens");
}

}  // namespace
}  // namespace pelo
