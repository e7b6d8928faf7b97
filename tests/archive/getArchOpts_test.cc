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
#include <tuple>
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

    void TearDown() override { ScratchDirTest::TearDown(); }

    void answer(const std::string& answers) {
        fs::path input = scratch / "answers";
        std::ofstream(input, std::ios::binary) << answers;
        ASSERT_NE(std::freopen(input.c_str(), "r", stdin), nullptr);
    }

    // Runs the dialog on the request and the answers; output_ gets what
    // it printed.
    int dialog(const std::string& answers, const RunRequest& request = {}) {
        answer(answers);
        ::testing::internal::CaptureStdout();
        int result = getArchiveOptionAndParms(request);
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
        {"BlanksAndCrAfterTheDigit", "2\n2 \r\n\tr2 r1\n1\n1\n@ARCH@\n", {"r2", "r1"}},
        {"NamesOnTheAnswerLineStillCount", "2\n2 r1\tr2\n1\n1\n@ARCH@\n", {"r1", "r2"}},
        {"LevelArchiveWithCrLf", "2\r\n1\r\nl1\r\nr3\r\n1\r\n1\r\n@ARCH@\r\n", {"r3"}},
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
        {"ReleaseOfALevel", "1\n1\nl1\nr\xc3\n", "r\xc3", {}},
        {"ReleaseOnTheLine", "1\n2\nr1 r\xe2\x82 r3\n", "r\xe2\x82", {"r1"}},
        {"FileSystem", "2\n2\nr1\n1\n1\n/arch\xfe\n", "/arch\xfe", {"r1"}},
        {"Device", "2\n2\nr1\n1\n2\n/dev/r\x80t\n", "/dev/r\x80t", {"r1"}},
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

// "Yes" to the removal counts only with "yes" to its confirmation.
TEST_F(DialogTest, RemovalNeedsItsConfirmation) {
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n2\n1\n1\n" + arch() + "\n"), 0);
    EXPECT_EQ(archCtx.deleteAfterArchive, 0);
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n2\n2\n1\n" + arch() + "\n"), 0);
    EXPECT_EQ(archCtx.deleteAfterArchive, 1);
}

TEST_F(DialogTest, AnswersAreTokensNotLines) {
    EXPECT_EQ(dialog("1 1 l1 r1"), 0) << output_;
    EXPECT_EQ(archCtx.levelName, "l1");
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
// file is no directory.  "~" is refused like "." and "$".
TEST_F(DialogTest, FileSystemNameLimits) {
    const std::string name195 = "/" + std::string(194, 'a');
    EXPECT_EQ(dialog("2\n2\nr1\n1\n1\n" + name195 + "\n"), 1);
    EXPECT_NE(output_.find(msgGet(1315, name195.c_str())), std::string::npos);
    EXPECT_EQ(output_.find("0010-936"), std::string::npos);

    std::ofstream(scratch / "arch/file") << "";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(validateFileSystem(arch() + "/file"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), msgGet(1315, (arch() + "/file").c_str()));

    EXPECT_EQ(dialog("2\n2\nr1\n1\n1\n/arch~ive\n"), 1);
    EXPECT_NE(output_.find(msgGet(1473, "/arch~ive", "peloarchive")), std::string::npos);
}

TEST_F(DialogTest, RawDeviceNamesAnywhereInThePath) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(validateDevice("/dev/rmt/0"), 0);
    EXPECT_EQ(validateDevice("/dev/nrmt0"), 0);
    EXPECT_EQ(validateDevice("/x/dev/rfd0"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
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

// What a request gives is taken unasked and checked as typed: the request,
// with the rest typed, leaves the context as the same choice all typed.
TEST_F(DialogTest, RequestAnswersItsQuestionsAndTheRestAreAsked) {
    const std::string home = (scratch / "home").string();
    // The run settings, the levels' and releases' names and a work file's path.
    const auto settings = [] {
        const ArchiveContext& c = archCtx;
        return std::tuple(c.mode, c.levelName, names(archCtx.relNameList), c.deleteAfterArchive, c.fileSystemName,
                          c.deviceName, c.workDirName, c.workDirIsFamilyHome, c.dbPop.path());
    };
    const auto fill = [&](std::string text) {
        for (std::size_t at; (at = text.find("@ARCH@")) != std::string::npos;)
            text.replace(at, 6, arch());
        for (std::size_t at; (at = text.find("@HOME@")) != std::string::npos;)
            text.replace(at, 6, home);
        return text;
    };
    RunRequest check, level, device, modeOnly, tooLong, notEmpty;
    check.mode = tooLong.mode = RunMode::checkOnly;
    level.mode = device.mode = modeOnly.mode = notEmpty.mode = RunMode::archive;
    check.releaseNames = {"r1", "r2", "r1"};
    level.levelName = "l1", level.releaseNames = {"r3"}, level.fileSystemName = "@ARCH@", level.removal = true;
    device.releaseNames = {"r1"}, device.deviceName = "/dev/rmt0", device.workDirName = "@HOME@";
    device.removal = false;
    tooLong.levelName = std::string(16, 'l'), tooLong.releaseNames = {"r1"};
    notEmpty.releaseNames = {"r1"}, notEmpty.fileSystemName = "@HOME@/..", notEmpty.removal = false;
    const struct {
        const char* name;
        RunRequest request;
        std::string rest;   // typed after the request's answers
        std::string typed;  // the same choice all typed
        int result;
    } cases[] = {
        {"CheckOnlyReleases", check, "", "1\n2\nr1 r2 r1\n", 0},
        {"LevelWithRemoval", level, "", "2\n1\nl1\nr3\n2\n2\n1\n@ARCH@\n", 0},
        {"DeviceInTheHome", device, "", "2\n2\nr1\n1\n2\n/dev/rmt0\n1\n", 0},
        {"ModeGivenRestTyped", modeOnly, "1\nl2\nr4\n1\n1\n@ARCH@\n", "2\n1\nl2\nr4\n1\n1\n@ARCH@\n", 0},
        {"NameTooLong", tooLong, "", "1\n1\n" + std::string(16, 'l') + "\nr1\n", 1},
        {"DestinationChecked", notEmpty, "", "2\n2\nr1\n1\n1\n@HOME@/..\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunRequest request = c.request;
        for (std::optional<std::string>* name : {&request.fileSystemName, &request.workDirName})
            if (*name)
                **name = fill(**name);
        ASSERT_EQ(dialog(fill(c.typed)), c.result) << output_;
        const std::string typedOutput = output_;
        const auto typed = settings();
        ASSERT_EQ(dialog(fill(c.rest), request), c.result) << output_;
        EXPECT_EQ(settings(), typed);
        EXPECT_EQ(output_.find(msgFormat(1304)), std::string::npos) << "the mode is not asked: " << output_;
        if (c.result != 0) {
            const std::string lastLine = typedOutput.substr(typedOutput.rfind('\n', typedOutput.size() - 2) + 1);
            EXPECT_TRUE(output_.ends_with(lastLine)) << "the same refusal: " << output_;
        }
    }
}

// A scripted request reads nothing: a question it leaves open is refused
// as an invalid answer, with the answers waiting on standard input unread;
// the release line it gives goes through the typed line's checks; and the
// question after cpio is answered without being asked.
TEST_F(DialogTest, ScriptedRequestsReadNothing) {
    RunRequest open;
    open.scripted = true;
    open.mode = RunMode::archive;
    open.releaseLine = "r1 r2";
    EXPECT_EQ(dialog("1\n1\n" + arch() + "\n", open), 1);
    EXPECT_EQ(output_, msgFormat(1307)) << "the removal question is neither asked nor answered";
    EXPECT_EQ(std::getchar(), '1') << "standard input was read";

    RunRequest device = open;
    device.removal = false;
    device.deviceName = "/dev/rmt0";
    device.continueAfterCpio = true;
    ASSERT_EQ(dialog("", device), 0) << output_;
    EXPECT_EQ(output_, "");
    EXPECT_EQ(archCtx.workDirName, archCtx.familyHomeDir) << "no --workdir: the family home";
    EXPECT_EQ(archCtx.workDirIsFamilyHome, 1);
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1", "r2"}));
    answer("2\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(getUserInput(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    RunRequest blank = open;
    blank.mode = RunMode::checkOnly;
    blank.releaseLine = " \t ";
    EXPECT_EQ(dialog("", blank), 1);
    EXPECT_EQ(output_, msgFormat(1382));
    blank.releaseLine = "r1 " + std::string(16, 'r');
    EXPECT_EQ(dialog("", blank), 1);
    EXPECT_EQ(output_, msgGet(1346, std::string(16, 'r').c_str(), 15));
    EXPECT_EQ(names(archCtx.relNameList), std::vector<std::string>{"r1"}) << "the names before it stay";
}

TEST_F(DialogTest, FileTypeFollowsVersionControl) {
    archCtx.vctype = "SCCS";
    EXPECT_EQ(fileType("binary"), 1);
    EXPECT_EQ(fileType("longSp"), 7);
    EXPECT_EQ(fileType("text"), 0);
    archCtx.vctype = "pvcs";
    EXPECT_EQ(fileType("binary"), 2);
    EXPECT_EQ(fileType("longSp"), 7);
    EXPECT_EQ(fileType("long"), 5);
    EXPECT_EQ(fileType("special"), 6);
}

}  // namespace
}  // namespace pelo
