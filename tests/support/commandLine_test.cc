#include "support/commandLine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/runner.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

std::string outputOf(const CommandLine& command) {
    stdOutBuf[0] = stdErrBuf[0] = '\0';
    send_command(command, stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize);
    EXPECT_STREQ(stdErrBuf, "") << command.str();
    return stdOutBuf;
}

// Whatever a value holds, the shell hands it to the program as one
// argument, unchanged, and runs nothing of it.
TEST(CommandLineTest, ValuesReachTheProgramAsOneWordAndRunNothing) {
    const fs::path scratch = fs::temp_directory_path() / ("pelo-cmd-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string canary = (scratch / "CANARY").string();
    for (std::string value : {std::string(), std::string("two  words"), std::string("it's"),
                              "$(touch " + canary + ")", std::string("line\nbreak"), std::string("$HOME *"),
                              "; touch " + canary, std::string("-n")}) {
        EXPECT_EQ(outputOf(CommandLine("printf '[%s]'").arg(value)), "[" + value + "]");
        EXPECT_EQ(outputOf(CommandLine("printf '[%s]' -r").quoted(value)), "[-r" + value + "]");
    }
    EXPECT_FALSE(fs::exists(canary));
    fs::remove_all(scratch);
}

// Fixed text keeps its blanks and its meaning to the shell (a glob after a
// quoted directory stays outside the quotes), and nothing is put between
// pieces.
TEST(CommandLineTest, FixedTextStaysAsWritten) {
    EXPECT_EQ(CommandLine("exp  ").quoted("fam").text("/").quoted("pw").str(), "exp  'fam'/'pw'");
    EXPECT_EQ(CommandLine("rm -fr").arg("/a b").text("/*.ld").str(), "rm -fr '/a b'/*.ld");
}

// A line of plain words starts its program without a shell, each value one
// argument however it is glued; anything a shell would read differently,
// or a built-in, goes to the shell.
TEST(CommandLineTest, PlainWordsRunWithoutAShell) {
    using Words = std::vector<std::string>;
    const CommandLine rmdel = CommandLine().quoted("/tools dir/rmdel").text(" -r").quoted("1.2'3").arg("/a $b");
    ASSERT_NE(rmdel.plainWords(), nullptr);
    EXPECT_EQ(*rmdel.plainWords(), (Words{"/tools dir/rmdel", "-r1.2'3", "/a $b"}));
    for (const CommandLine& shellOnly : {CommandLine("cat").arg("x").text(" | cpio -o >").quoted("d"),
                                         CommandLine("prs -d\":I:\"").arg("f"), CommandLine("rm -fr").arg("d").text("/*.ld")})
        EXPECT_EQ(shellOnly.plainWords(), nullptr) << shellOnly.str();
    // The program gets its arguments as the shell would have passed them, and
    // no shell stands between it and the caller: a shell started by the line
    // names the test as its parent.
    EXPECT_EQ(outputOf(CommandLine("printf").arg("%s|").arg("a 'b' $(c)").arg("`d`")), "a 'b' $(c)|`d`|");
    EXPECT_EQ(outputOf(CommandLine("sh").arg("-c").arg("echo $PPID")), std::to_string(getpid()) + "\n");
    EXPECT_EQ(outputOf(CommandLine("cd").arg("/").text(" && echo in")), "in\n");
}

}  // namespace
}  // namespace pelo
