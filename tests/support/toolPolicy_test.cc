#include "support/toolPolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace pelo {
namespace {

using Policy = Verdict (*)(const CommandResult&, ToolWords);

const Policy copy = [](const CommandResult& r, ToolWords) { return copyVerdict(r); };
const Policy listing = listingVerdict;
const Policy deletion = deletionVerdict;
const Policy exporting = exportVerdict;
const Policy cpio = [](const CommandResult& r, ToolWords) { return cpioVerdict(r.ending, r.err); };

constexpr std::string_view vdelWords[] = {"error", "vdel:"};
constexpr std::string_view vqlWords[] = {"SQLSTATE=", "VQL command return code = 4"};

std::string status(int n) { return "0012-008 The command ended with exit status " + std::to_string(n); }

struct PolicyCase {
    const char* name;
    Policy policy;
    const char* command;
    std::vector<std::string> complaints;
    ToolWords words = {};
    std::size_t outSize = stdOutBufSize;
};

// A tool's own words decide first, in the order of its streams; only a
// run they find silent is judged by how it ended.
const PolicyCase policyCases[] = {
    {"CopyComplaintsOutputFirstAndNoStatusBeside", copy, "echo o; echo e >&2; exit 1", {"o\n", "e\n"}},
    {"CopyKilledCountsAsTheShellWould", copy, "kill -KILL $$", {status(137)}},
    {"CopyOverflowIsTheRunnersText", copy, "head -c 200 /dev/zero",
     {"0011-153 The command Standard Output buffer overflowed.\n         There was too much output from the "
      "command:\n         head -c 200 /dev/zero\n"}, {}, 100},
    {"ListingErrorTextWithStatusZero", listing, "echo x >&2", {"x\n"}},
    {"ListingWordsOnlyCount", listing, "echo 'note' >&2; echo fine", {}, vdelWords},
    {"ListingSilentOnWordsButFailed", listing, "echo note >&2; exit 2", {status(2)}, vdelWords},
    {"DeletionWordsOnEitherStream", deletion, "echo 'vdel: gone'; echo 'an error' >&2; exit 1",
     {"vdel: gone\n", "an error\n"}, vdelWords},
    {"ExportWithoutWordsHearsNoText", exporting, "echo error; echo error >&2", {}},
    // A line that turns the tool's failure into text and status 0.
    {"ExportEchoedCodeWithItsWord", exporting, "sh -c 'exit 4' || echo \"VQL command return code = $?.\"",
     {"VQL command return code = 4.\n"}, vqlWords},
    {"CpioReportIsNotJudged", cpio, "echo '1 block' >&2", {}},
    {"CpioFailure", cpio, "echo 'cpio: cannot write' >&2; exit 2", {status(2)}},
};

class ToolPolicyTest : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(ToolPolicyTest, ComplaintsAreTheDesignedTexts) {
    const PolicyCase& c = GetParam();
    std::vector<char> out(c.outSize);
    const CommandResult result = send_command(c.command, out.data(), out.size(), stdErrBuf, stdErrBufSize);
    const Verdict verdict = c.policy(result, c.words);
    EXPECT_EQ(verdict.complaints, c.complaints);
}

INSTANTIATE_TEST_SUITE_P(Policies, ToolPolicyTest, ::testing::ValuesIn(policyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
