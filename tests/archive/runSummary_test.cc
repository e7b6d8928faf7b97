// The end of a run as a script sees it: the status of a run that could not
// verify its archive, and a summary file that cannot be written.  The summary of
// real runs, written whole, the scenarios check.
#include "archive/runSummary.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "archive/context.h"
#include "support/msg.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

class RunSummaryTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        reset();
    }
    void TearDown() override {
        reset();
        ScratchDirTest::TearDown();
    }
    static void reset() {
        ArchiveContext& c = archCtx;
        c.scripted = false;
        c.archiveNotVerified = false;
        c.keepArchive = c.deleteAfterArchive = c.deleteStarted = 0;
        c.mode = RunMode::archive;
        setFailureStatus(ExitStatus::failed);
    }
};

// The statuses of each way a scripted run fails the scenarios show; a
// typed run that could not verify its archive still ends as designed.
TEST_F(RunSummaryTest, TypedRunEndsWithZeroWhereAScriptedOneIsNotVerified) {
    archCtx.archiveNotVerified = true;
    EXPECT_EQ(finishedStatus(), ExitStatus::done);
    archCtx.scripted = true;
    EXPECT_EQ(finishedStatus(), ExitStatus::notVerified);
}

// A directory that cannot take the summary gives 1709 and, after a
// completed run only, the failed status.
TEST_F(RunSummaryTest, SummaryThatCannotBeWrittenIsReported) {
    RunRequest request;
    request.summaryPath = (scratch / "missing/summary.json").string();
    beginRunSummary(request);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(endRunWith(ExitStatus::done), 1);
    EXPECT_EQ(endRunWith(ExitStatus::usage), 2);
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.substr(0, output.size() / 2),
              msgGet(1709, "peloarchive", request.summaryPath->c_str(), "No such file or directory"));

    beginRunSummary(RunRequest{});
    EXPECT_EQ(endRunWith(ExitStatus::done), 0) << "no --json, nothing to write";
}

// A name that is not UTF-8 does not cost the summary.
TEST_F(RunSummaryTest, SummaryKeepsOddNames) {
    beginRunSummary(RunRequest{});
    archCtx.levelName = "l\xff";
    const nlohmann::json summary = nlohmann::json::parse(runSummaryJson(ExitStatus::failed));
    EXPECT_EQ(summary["choices"]["level"], "l\xef\xbf\xbd");
    EXPECT_EQ(summary["bytes"], nullptr) << "nothing measured yet";
    archCtx.levelName.clear();
}

}  // namespace
}  // namespace pelo
