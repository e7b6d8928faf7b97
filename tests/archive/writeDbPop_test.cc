// The literals every dialect makes of a text, the populate script's
// framing in each dialect, and the values and tools it refuses.  Every
// kind of statement, byte for byte, is in the goldens of
// goldenScript_test.cc.
#include "archive/writeDbPop.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "archive/confField.h"
#include "archive/dialect.h"
#include "familyDb.h"
#include "support/msg.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

// Every text made an SQL literal that the product reads as the text itself
// and that neither SQL nor, for the Informix here-document, the shell can
// take for anything else.
TEST(DialectTest, HostileValuesStayValues) {
    using Render = std::string (*)(Dialect, std::string_view);
    struct Row {
        const char* name;
        Render render;
        Dialect dialect;
        std::string_view text;
        std::string_view literal;
    };
    const Row rows[] = {
        {"Empty", sqlQuote, Dialect::oracle, "", "''"},
        {"NullableEmptyIsNull", sqlQuoteNullable, Dialect::oracle, "", "null"},
        {"NullableBlankIsQuoted", sqlQuoteNullable, Dialect::sybase, " ", "' '"},
        {"NullableEscapes", sqlQuoteNullable, Dialect::informix, "a'$b", "'a''\\$b'"},
        {"CleanedBlanksTheFour", sqlQuoteCleaned, Dialect::oracle, "it's `a` & b; c",
         "'it s  a    b  c'"},
        {"CleanedStillEscapes", sqlQuoteCleaned, Dialect::informix, "$(x);\\", "'\\$(x) \\\\'"},
        {"CleanedEmptyIsNeverNull", sqlQuoteCleaned, Dialect::dizoz, "", "''"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.render(row.dialect, row.text), row.literal) << row.name;
}

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
        return read(archCtx.dbPop.path());
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

}  // namespace
}  // namespace pelo
