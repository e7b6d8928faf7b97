// The command line: which lines make a scripted run, which leave the
// dialog to ask, and the one fault each refused line reports.  What the
// dialog does with the answers, the dialog's tests show; what the real
// binary prints and leaves behind, the scenarios.
#include "archive/runRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelo {
namespace {

RunRequest parse(std::vector<const char*> args) {
    args.insert(args.begin(), "peloarchive");
    return parseRunRequest(static_cast<int>(args.size()), args.data());
}

// Lines the program runs: interactive ones leave every answer open.
TEST(RunRequestTest, InteractiveLinesLeaveTheDialogToAsk) {
    const struct {
        const char* name;
        std::vector<const char*> args;
        bool force;
    } cases[] = {
        {"NoArgument", {}, false},
        {"ForceAlone", {"-F"}, true},
        {"EndOfOptions", {"--"}, false},
        {"SummaryOnly", {"--json", "/tmp/s.json"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunRequest request = parse(c.args);
        EXPECT_EQ(request.action, RequestAction::run);
        EXPECT_FALSE(request.scripted);
        EXPECT_EQ(request.force, c.force);
        EXPECT_FALSE(request.mode || request.levelName || request.releaseLine || request.fileSystemName ||
                     request.deviceName || request.removal);
    }
}

// What the scripted scenarios do not show of a complete line: values
// after '=', -F among the options, and no --remove answering the removal
// question no.
TEST(RunRequestTest, CompleteScriptedLineAnswersEveryMenu) {
    const RunRequest request = parse({"-F", "--level=l1", "--release=r1", "--to", "/arch"});
    ASSERT_EQ(request.action, RequestAction::run);
    EXPECT_TRUE(request.scripted);
    EXPECT_TRUE(request.force);
    EXPECT_EQ(request.mode, RunMode::archive);
    EXPECT_EQ(request.levelName, "l1");
    EXPECT_EQ(request.releaseNames, std::vector<std::string>{"r1"});
    EXPECT_EQ(request.fileSystemName, "/arch");
    EXPECT_EQ(request.removal, false);
}

// Each refused line, with the message and the options it names: the first
// fault found.  The pairs that exclude each other and the options that need
// another are tables; a row of each kind stands for the rest.
TEST(RunRequestTest, RefusedLinesNameTheirFault) {
    const struct {
        const char* name;
        std::vector<const char*> args;
        int message;
        const char* subject;
        const char* other;
    } cases[] = {
        {"UnknownOption", {"--frobnicate"}, 1717, "--frobnicate", ""},
        {"ArgumentAfterOptions", {"--check", "--releases", "r1", "--", "r2"}, 1717, "r2", ""},
        {"ValueToAFlag", {"--check=yes"}, 1717, "--check=yes", ""},
        {"MissingValue", {"--releases", "r1", "--to"}, 1718, "--to", ""},
        {"LevelWithoutRelease", {"--check", "--level", "l1"}, 1708, "--level", "--release"},
        {"NothingToArchive", {"--check"}, 1708, "--check", "--level|--releases"},
        {"NoDestination", {"--releases", "r1"}, 1708, "--releases", "--check|--to|--device"},
        {"RemoveWithoutConfirmation", {"--releases", "r1", "--to", "/a", "--remove"}, 1708, "--remove", "--yes-remove"},
        {"LevelAndReleases", {"--check", "--level", "l1", "--release", "r1", "--releases", "r2"}, 1719, "--level",
         "--releases"},
        {"CheckWithDestination", {"--check", "--releases", "r1", "--to", "/a"}, 1719, "--check", "--to"},
        {"DestinationTwice", {"--releases", "r1", "--to", "/a", "--to", "/b"}, 1719, "--to", "--to"},
        {"VerifyEmptyPath", {"--verify="}, 1718, "--verify", ""},
        {"VerifyWithAnArchive", {"--releases", "r1", "--to", "/a", "--verify", "/b"}, 1719, "--verify",
         "--releases"},
        {"VerifyWithSummary", {"--json", "/s", "--verify", "/a"}, 1719, "--verify", "--json"},
        {"DryRunWithoutRestore", {"--dry-run"}, 1708, "--dry-run", "--restore"},
        {"RestoreEmptyPath", {"--restore="}, 1718, "--restore", ""},
        {"RestoreTwice", {"--restore", "/a", "--restore", "/b"}, 1719, "--restore", "--restore"},
        {"RestoreWithAnArchiveRun", {"--restore", "/a", "--releases", "r1"}, 1719, "--restore", "--releases"},
        {"RestoreWithSummary", {"--json", "/s", "--restore", "/a"}, 1719, "--restore", "--json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunRequest request = parse(c.args);
        ASSERT_EQ(request.action, RequestAction::usageError);
        ASSERT_TRUE(request.usageError);
        EXPECT_EQ(request.usageError->message, c.message);
        EXPECT_EQ(request.usageError->subject, c.subject);
        EXPECT_EQ(request.usageError->other, c.other);
    }
}

// --restore takes its archive, and with it --dry-run and -F alone.
TEST(RunRequestTest, RestoreTakesDryRunAndForceAlone) {
    for (const bool dryRun : {false, true}) {
        const RunRequest request = dryRun ? parse({"--dry-run", "-F", "--restore", "/a"}) : parse({"--restore", "/a"});
        EXPECT_EQ(request.action, RequestAction::restore);
        EXPECT_EQ(request.restorePath, "/a");
        EXPECT_EQ(request.dryRun, dryRun);
        EXPECT_EQ(request.force, dryRun);
    }
}

// --help and --version win where they stand; a fault before them does not.
TEST(RunRequestTest, HelpAndVersionEndTheReading) {
    EXPECT_EQ(parse({"--help"}).action, RequestAction::help);
    EXPECT_EQ(parse({"--verify", "/a", "--help"}).action, RequestAction::help);
    EXPECT_EQ(parse({"--check", "--help", "--frobnicate"}).action, RequestAction::help);
    EXPECT_EQ(parse({"--version", "x"}).action, RequestAction::version);
    EXPECT_EQ(parse({"--vers"}).action, RequestAction::version) << "a unique abbreviation, as getopt_long allows";
    EXPECT_EQ(parse({"--frobnicate", "--help"}).action, RequestAction::usageError);
}

}  // namespace
}  // namespace pelo
