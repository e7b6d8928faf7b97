// The dialog and its shared routines, driven in-process: the answers come
// from a file put in place of standard input, the output is captured, and
// the archive context is looked at afterwards.  What a refusal prints, and
// where a whole run puts its work files, the scenarios of the real binary
// show; here are the answers whose effect only the context shows, and the
// limits no scenario reaches.
#include "archive/getArchOpts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/context.h"
#include "support/msg.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(List<std::string>& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

class DialogTest : public ScratchDirTest {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C.UTF-8");
        ScratchDirTest::SetUp();
        fs::create_directories(scratch / "home");
        fs::create_directories(scratch / "arch");
        archCtx.familyHomeDir = (scratch / "home").string();
        archCtx.vctype = "sccs";
        archCtx.scripted = archCtx.continueAfterCpio = false;
    }

    void answer(const std::string& answers) {
        fs::path input = scratch / "answers";
        std::ofstream(input, std::ios::binary) << answers;
        ASSERT_NE(std::freopen(input.c_str(), "r", stdin), nullptr);
    }

    // Runs the dialog on the request and the answers; output_ gets what
    // it printed.
    int dialog(const std::string& answers) {
        answer(answers);
        ::testing::internal::CaptureStdout();
        int result = getArchiveOptionAndParms(RunRequest{});
        output_ = ::testing::internal::GetCapturedStdout();
        return result;
    }

    std::string arch() const { return (scratch / "arch").string(); }
    std::string output_;
};

TEST_F(DialogTest, RepeatedReleaseNamesAreKeptOnceInOrder) {
    ASSERT_EQ(dialog("1\n2\nr1  r2 r1 \n"), 0);
    EXPECT_EQ(archCtx.mode, RunMode::checkOnly);
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1", "r2"}));
    EXPECT_TRUE(archCtx.levelName.empty());
    EXPECT_TRUE(archCtx.dbPop.path().empty()) << "a check-only run builds no paths";
}

// A line longer than the limit keeps its first 39999 characters; the rest
// of the line is read and dropped, so the next answer is still in step.
TEST_F(DialogTest, OverlongReleaseLineIsCutAndDialogStaysInStep) {
    std::string line = "r1" + std::string(39995, ' ') + "r2r3" + std::string(100, 'x');
    ASSERT_EQ(dialog("2\n2\n" + line + "\n1\n1\n" + arch() + "\n"), 0) << output_;
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1", "r2"}));
    EXPECT_EQ(archCtx.fileSystemName, arch());
}

// Answers typed on a terminal that sends CR LF, or with blanks around the
// digit, choose as the bare digit does, also where the release names are
// read as a line after the menu answer.
TEST_F(DialogTest, CarriageReturnsAndBlanksAroundAnswers) {
    const struct {
        const char* name;
        std::string answers;
        std::vector<std::string> releases;
    } cases[] = {
        {"CrLfAfterEveryAnswer", "2\r\n2\r\nr1 r2\r\n1\r\n1\r\n@ARCH@\r\n", {"r1", "r2"}},
        {"BlanksAroundTheDigits", " 2 \n 2 \t\nr1\n 1 \n 1 \n@ARCH@\n", {"r1"}},
        {"NamesOnTheAnswerLineStillCount", "2\n2 r1\tr2\n1\n1\n@ARCH@\n", {"r1", "r2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string answers = c.answers;
        answers.replace(answers.find("@ARCH@"), 6, arch());
        ASSERT_EQ(dialog(answers), 0) << output_;
        EXPECT_EQ(names(archCtx.relNameList), c.releases);
        EXPECT_EQ(archCtx.fileSystemName, arch());
    }
    EXPECT_EQ(dialog("1\n2\n \r\n"), 1) << "a line of blanks and CR names no release";
    EXPECT_NE(output_.find(msgFormat(1382)), std::string::npos);

    answer("2\r\n 1 \n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(getUserInput(), 1);
    EXPECT_EQ(getUserInput(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(msgFormat(1487)) + msgFormat(1487));
}

// A name that is not UTF-8 (the tests' locale) ends the dialog with 1705
// naming it, wherever it is asked; the names before it on the release line
// stay in the list.
TEST_F(DialogTest, NamesThatAreNotTextOfTheLocaleAreRefused) {
    const struct {
        const char* name;
        std::string answers;
        std::string refused;
        std::vector<std::string> releases;
    } cases[] = {
        {"Level", "1\n1\nl\xff\nr1\n", "l\xff", {}},
        {"ReleaseOnTheLine", "1\n2\nr1 r\xe2\x82 r3\n", "r\xe2\x82", {"r1"}},
        {"WorkingDirectory", "2\n2\nr1\n1\n2\n/dev/rmt0\n2\n/w\xc0\xaf\n", "/w\xc0\xaf", {"r1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dialog(c.answers), 1);
        const std::string message = msgGet(1705, c.refused.c_str());
        ASSERT_NE(message.find("0012-006 The name, " + c.refused + ","), std::string::npos) << message;
        ASSERT_GE(output_.size(), message.size()) << output_;
        EXPECT_EQ(output_.substr(output_.size() - message.size()), message) << "the dialog ends with 1705";
        EXPECT_EQ(names(archCtx.relNameList), c.releases);
    }
}

// "Yes" to the removal counts only with "yes" to its confirmation.  The
// answers are tokens, not lines.
TEST_F(DialogTest, RemovalNeedsItsConfirmation) {
    ASSERT_EQ(dialog("2 1 l1 r1 2 1 1 " + arch() + "\n"), 0) << output_;
    EXPECT_EQ(archCtx.levelName, "l1");
    EXPECT_EQ(archCtx.deleteAfterArchive, 0);
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n2\n2\n1\n" + arch() + "\n"), 0);
    EXPECT_EQ(archCtx.deleteAfterArchive, 1);
}

TEST_F(DialogTest, InvalidAnswersEndTheDialog) {
    for (const std::string& answers :
         {std::string("x\n"), std::string("\xc3\xa9\n"), std::string("0\n"), std::string("1\n4\n"),
          std::string("1\n 13\n"), std::string("\0\n", 2)}) {
        EXPECT_EQ(dialog(answers), 1) << answers;
        EXPECT_NE(output_.find(msgFormat(1307)), std::string::npos) << answers;
    }
}

// A name far longer than any buffer is refused, never stored whole, and a
// cut token must not end in half a character, which the length check
// could not count.
TEST_F(DialogTest, HugeNamesAreRefused) {
    std::string euros;
    for (int i = 0; i < 5000; ++i)
        euros += "\xe2\x82\xac";  // three bytes each
    for (const std::string& name : {std::string(200000, 'a'), euros}) {
        EXPECT_EQ(dialog("1\n1\n" + name + "\nr1\n"), 1);
        EXPECT_NE(output_.find("0010-920"), std::string::npos);
        EXPECT_LT(output_.size(), 20000u);
    }
}

// 195 characters are allowed, then the directory check decides: a plain
// file is no directory.
TEST_F(DialogTest, FileSystemNameLimits) {
    const std::string name195 = "/" + std::string(194, 'a');
    EXPECT_EQ(dialog("2\n2\nr1\n1\n1\n" + name195 + "\n"), 1);
    EXPECT_NE(output_.find(msgGet(1315, name195.c_str())), std::string::npos);
    EXPECT_EQ(output_.find("0010-936"), std::string::npos);

    std::ofstream(scratch / "arch/file") << "";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(validateFileSystem(arch() + "/file"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), msgGet(1315, (arch() + "/file").c_str()));
}

TEST_F(DialogTest, GetUserInputAsksAgainOnlyAfterInvalidAnswer) {
    archCtx.deleteAfterArchive = 1;
    answer("x\n1\n2\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(getUserInput(), 2);
    EXPECT_EQ(getUserInput(), 0);
    archCtx.deleteAfterArchive = 0;
    EXPECT_EQ(getUserInput(), 1);
    EXPECT_EQ(getUserInput(), 1) << "no more input must not ask forever";
    std::string expected = std::string(msgFormat(1488)) + msgFormat(1307) + msgFormat(1488) +
                           msgFormat(1487) + msgFormat(1487);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
}  // namespace pelo
