// The error words that judge an export tool's output, and the export's failures seen from
// outside; the exports that succeed run against the stand-ins in the scenarios
// and the tools' round trips.
#include "archive/createDbExport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "archive/context.h"
#include "builtFamily.h"
#include "support/commandLine.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

TEST(AnalyzeErrors, JudgesByTheProductsWords) {
    const struct { Dialect dialect; const char* text; int error; } cases[] = {
        {Dialect::oracle, "Export terminated successfully without warnings.", 0},
        {Dialect::oracle, "no terrors here", 1},  // inside a longer word counts
        {Dialect::oracle, "Export Abnormally ended", 1}, {Dialect::oracle, "ABORTED", 1},
        {Dialect::oracle, "Msg 20001, Level 16, State 1:", 0}, {Dialect::sybase, "the State of things", 1},
        {Dialect::sybase, "Starting copy...\n12 rows copied.", 0}, {Dialect::sybase, "an error", 0},
        {Dialect::dizoz, "SQL3001C  failed  SQLSTATE=58030", 1}, {Dialect::dizoz, "VQL command return code = 81.", 1},
        {Dialect::dizoz, "VQL command return code = 127.", 0},  // only 4 and 8 lead
        {Dialect::informix, "Msg error ABORT SQLSTATE=", 0},
    };
    for (const auto& c : cases) {
        archCtx.database = c.dialect;
        EXPECT_EQ(analyzeErrors(c.text), c.error) << dialectSettings(c.dialect).name << ": " << c.text;
    }
    archCtx = {};
}

// A variable for the run and the message (@DIR@: scratch).
struct FailureCase { const char *name, *variable, *value, *message; };

class ArchiveRunFailureTest : public ::testing::TestWithParam<FailureCase> {};

// The real binary level-archives a built family as its login (nss_wrapper); the run ends with
// status 1 and the message, leaving no work file.
TEST_P(ArchiveRunFailureTest, EndsTheRunAndLeavesNoWorkFile) {
    const FailureCase& c = GetParam();
    const testing::BuiltFamily& family = testing::builtFamily("oracle");
    const std::string dir = testing::scratchDir(), arch = dir + "/arch";
    const auto withDir = [&](const char* text) { return std::regex_replace(text, std::regex("@DIR@"), dir); };
    fs::remove_all(arch);
    fs::create_directories(arch);
    fs::create_directories(dir + "/silent/bin");  // an export tool that says nothing and writes nothing
    fs::copy_file("/bin/true", dir + "/silent/bin/exp", fs::copy_options::skip_existing);
    const std::string output = testing::runArchive(family, "2\n1\nr2lvl02\nrel2\n1\n1\n" + arch + "\n",
                                                   {{c.variable, withDir(c.value)}});
    EXPECT_TRUE(output.ends_with("status=1\n")) << output;
    EXPECT_NE(output.find(withDir(c.message)), std::string::npos) << output;
    EXPECT_TRUE(fs::is_empty(arch)) << "work files left in the archive directory";
    for (const auto& entry : fs::directory_iterator(family.home))
        EXPECT_FALSE(entry.path().filename().string().starts_with("PELOarchive.")) << entry.path();
}

const FailureCase failureCases[] = {
    {"ExportToolReportsAnError", "PELO_DBPRODUCT_FAIL", "exp",
     "0011-019 The peloarchive program cannot continue.  The database export\n"
     "         file, @DIR@/arch/PELOarchive.export, cannot be created."},
    {"EmptyOracleExport", "ORACLE_HOME", "@DIR@/silent",
     "0011-027 The peloarchive program cannot continue.  The file,\n"
     "         @DIR@/arch/PELOarchive.export was written with a length of 0."},
};

INSTANTIATE_TEST_SUITE_P(Failures, ArchiveRunFailureTest, ::testing::ValuesIn(failureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
