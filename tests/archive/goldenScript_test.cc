// The populate script of the golden family (golden/family.sql) byte for
// byte: a level archive and a release archive, whose walks differ, and
// every other dialect's framing and literals once.  Each golden holds what
// the walk writes: the script, the users file, for Informix the load files
// of Notes and Versions, and the counts section of the information file.
// A golden is read against the statement table when it changes;
// PELO_WRITE_GOLDEN=1 rewrites them for that reading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/checkArchPrereqs.h"
#include "archive/phases.h"
#include "builtFamily.h"
#include "familyDb.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

const fs::path goldenDir = fs::path(PELO_SOURCE_DIR) / "tests/archive/golden";

/// The family is golden/family.sql, changed by `change` when it is given.
struct GoldenCase { const char* name; Dialect dialect; bool level; const char* change = ""; };

const GoldenCase goldenCases[] = {
    {"OracleLevel", Dialect::oracle, true},     {"OracleRelease", Dialect::oracle, false},
    {"InformixRelease", Dialect::informix, false}, {"SybaseLevel", Dialect::sybase, true},
    {"VqlLevel", Dialect::dizoz, true},
    // No note to load: the script has no load statement for the empty file.
    {"InformixLevelWithoutNotes", Dialect::informix, true, "DELETE FROM NOTES;"},
};

class GoldenScriptTest : public testing::FamilyDbTest, public ::testing::WithParamInterface<GoldenCase> {};

// The archive is asked for as the dialog would: the prerequisite checks
// find its releases, levels, tracks and held tracks.
TEST_P(GoldenScriptTest, WalkWritesTheGolden) {
    const GoldenCase& c = GetParam();
    rows(testing::readText(goldenDir / "family.sql"));
    rows(c.change);
    fs::copy(goldenDir / "configField", scratch / "configField");
    fs::create_directories(scratch / "arch");
    fs::create_directories(scratch / "ifx/bin");
    std::ofstream(scratch / "ifx/bin/isql") << "#!/bin/sh\n";
    fs::permissions(scratch / "ifx/bin/isql", fs::perms::owner_all);
    archCtx.familyHomeDir = scratch.string(), archCtx.infx_home = (scratch / "ifx").string();
    archCtx.database = c.dialect, archCtx.vctype = "sccs";
    archCtx.levelName = c.level ? "lvl1" : "";
    for (const char* release : {"rel1", "rel2", "rel3"})
        if (c.level == (release == std::string("rel2")))
            archCtx.relNameList.listAppend(release);
    ASSERT_EQ(checkArchivePrereqs(), 0);
    archCtx.mode = RunMode::archive, archCtx.fileSystemName = (scratch / "arch").string();
    buildWorkFilePaths();
    createFiles();
    ASSERT_EQ(generateDbPopulateFile(), 0);
    ASSERT_EQ(calculateStorage(), 0);

    std::string written = testing::readText(archCtx.dbPop.path());
    for (WorkFile ArchiveContext::*file : {&ArchiveContext::archUser, &ArchiveContext::dbLoadNotes, &ArchiveContext::dbLoadVers})
        if (c.dialect == Dialect::informix || file == &ArchiveContext::archUser)
            written += "\n==> " + fs::path((archCtx.*file).path()).filename().string() + " <==\n" +
                       testing::readText((archCtx.*file).path());
    const std::string info = testing::readText(archCtx.archInfo.path());
    const auto counts = info.find("\nPELO Objects Archived");
    ASSERT_NE(counts, std::string::npos) << info;
    written += "\n==> PELOarchive.info, counts <==" + info.substr(counts);

    const fs::path golden = goldenDir / (std::string(c.name) + ".golden");
    if (const char* rewrite = std::getenv("PELO_WRITE_GOLDEN"); rewrite && std::string(rewrite) == "1")
        std::ofstream(golden, std::ios::binary) << written;
    EXPECT_EQ(written, testing::readText(golden.string()));
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenScriptTest, ::testing::ValuesIn(goldenCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
