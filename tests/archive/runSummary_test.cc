// The end of a run as a script sees it: which status each way of failing
// exits with, and a summary file that cannot be written.  The summary of
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

// Each way a run can fail, scripted and typed.  A typed run keeps the
// statuses it always had.
TEST_F(RunSummaryTest, FailureStatusNamesWhatFailed) {
    const struct {
        const char* name;
        ExitStatus set;
        bool notVerified;
        bool removalStarted;
        ExitStatus scripted;
    } cases[] = {
        {"AnyFailure", ExitStatus::failed, false, false, ExitStatus::failed},
        {"RemovalInterruptedOrFailed", ExitStatus::failed, false, true, ExitStatus::removalFailed},
        {"NotVerifiedBeforeRemovalStarted", ExitStatus::failed, true, true, ExitStatus::notVerified},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool scripted : {true, false}) {
            reset();
            archCtx.scripted = scripted;
            setFailureStatus(c.set);
            archCtx.archiveNotVerified = c.notVerified;
            archCtx.deleteAfterArchive = archCtx.keepArchive = archCtx.deleteStarted = c.removalStarted ? 1 : 0;
            EXPECT_EQ(failureStatus(), scripted ? c.scripted : ExitStatus::failed) << scripted;
        }
    }
    reset();
    EXPECT_EQ(finishedStatus(), ExitStatus::done);
    archCtx.archiveNotVerified = true;
    EXPECT_EQ(finishedStatus(), ExitStatus::done) << "a typed run ends with 0 as designed";
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
