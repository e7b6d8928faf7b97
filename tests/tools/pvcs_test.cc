// The PVCS stand-in as the archive uses it: vlog's entry order and branch
// lines, vdel's silent deletion, and the error words both put on standard
// error.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "support/runner.h"
#include "toolRun.h"

namespace pelo {
namespace {

using testing::builtTool;
using testing::runShell;

class PvcsStandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelo-pvcs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        archive = dir + "/s.42";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    /// Adds a revision whose content is its own number.
    void put(const std::string& revision) {
        std::ofstream(dir + "/work") << "content of " << revision << "\n";
        auto run = runShell(shellQuote(builtTool("pvcs/vput")) + " -r" + shellQuote(revision) +
                            " -aann -d'99/12/31 23:59:59' -m'rev " + revision + "' " +
                            shellQuote(archive) + " " + shellQuote(dir + "/work"));
        ASSERT_EQ(run.status, 0) << run.err;
    }
    testing::ToolRun vlog() { return runShell(shellQuote(builtTool("pvcs/vlog")) + " -br " + shellQuote(archive)); }
    testing::ToolRun vdel(const std::string& revision) {
        return runShell(shellQuote(builtTool("pvcs/vdel")) + " -q -y -r" + shellQuote(revision) + " " +
                        shellQuote(archive));
    }
    /// The revision numbers of the "Rev " entries, in the order printed.
    static std::vector<std::string> entries(const std::string& log) {
        std::vector<std::string> revisions;
        for (std::size_t at = log.find("\nRev "); at != std::string::npos; at = log.find("\nRev ", at + 1))
            revisions.push_back(log.substr(at + 5, log.find('\n', at + 1) - at - 5));
        return revisions;
    }

    std::string dir, archive;
};

TEST_F(PvcsStandInTest, LogListsTrunkNewestFirstWithBranchesAfterTheirBase) {
    for (const char* revision : {"1.0", "1.1", "1.2", "1.1.1.0", "1.1.1.1", "2.0"})
        put(revision);
    auto run = vlog();
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(entries(run.out), (std::vector<std::string>{"2.0", "1.2", "1.1", "1.1.1.1", "1.1.1.0", "1.0"}));
    auto branchLine = run.out.find("Branches:  1.1.1\n");
    ASSERT_NE(branchLine, std::string::npos);
    EXPECT_LT(run.out.find("Rev 1.1\n"), branchLine);
    EXPECT_LT(branchLine, run.out.find("Rev 1.1.1.1\n"));
    EXPECT_EQ(run.out.find("Branches:", branchLine + 1), std::string::npos);
}

TEST_F(PvcsStandInTest, DeleteIsSilentAndKeepsTheOtherRevisions) {
    for (const char* revision : {"1.0", "1.1", "1.2"})
        put(revision);
    auto run = vdel("1.1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(entries(vlog().out), (std::vector<std::string>{"1.2", "1.0"}));
    auto content = runShell(shellQuote(builtTool("pvcs/vget")) + " -r1.2 " + shellQuote(archive));
    EXPECT_EQ(content.out, "content of 1.2\n");
}

TEST_F(PvcsStandInTest, BaseOfALiveBranchCannotBeDeleted) {
    for (const char* revision : {"1.0", "1.1", "1.1.1.0"})
        put(revision);
    auto refused = vdel("1.1");
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("vdel: error"), std::string::npos);
    ASSERT_EQ(vdel("1.1.1.0").status, 0);
    EXPECT_EQ(vdel("1.1").status, 0);
    EXPECT_EQ(entries(vlog().out), (std::vector<std::string>{"1.0"}));
}

TEST_F(PvcsStandInTest, FailuresNameTheToolOnStandardError) {
    auto missing = vlog();
    EXPECT_NE(missing.status, 0);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("vlog: error: cannot open archive"), std::string::npos);
    put("1.0");
    auto noRevision = vdel("1.7");
    EXPECT_NE(noRevision.status, 0);
    EXPECT_NE(noRevision.err.find("vdel: error: revision 1.7 does not exist"), std::string::npos);
    std::ofstream(archive) << "not an archive\n";
    EXPECT_NE(vlog().err.find("is not an archive"), std::string::npos);
}

TEST_F(PvcsStandInTest, DuplicateAndMalformedRevisionsAreRefused) {
    put("1.0");
    std::ofstream(dir + "/work") << "x";
    for (const char* revision : {"1.0", "1.x", "1.2.3", "1.5.1.0"}) {
        auto run = runShell(shellQuote(builtTool("pvcs/vput")) + " -r" + revision + " " + shellQuote(archive) +
                            " " + shellQuote(dir + "/work"));
        EXPECT_NE(run.status, 0) << revision;
        EXPECT_NE(run.err.find("vput: error"), std::string::npos) << revision;
    }
    EXPECT_EQ(entries(vlog().out), (std::vector<std::string>{"1.0"}));
}

}  // namespace
}  // namespace pelo
