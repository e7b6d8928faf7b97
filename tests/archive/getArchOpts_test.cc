// The dialog and its shared routines, driven in-process: the answers come
// from a file put in place of standard input, the output is captured, and
// the archive context is looked at afterwards.
#include "archive/getArchOpts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/context.h"
#include "support/msg.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(List<std::string>& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C.UTF-8");
        char pattern[] = "/tmp/pelo-dialog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        fs::create_directories(scratch_ / "home");
        fs::create_directories(scratch_ / "arch");
        archCtx.familyHomeDir = (scratch_ / "home").string();
        archCtx.vctype = "sccs";
    }

    void TearDown() override { fs::remove_all(scratch_); }

    void answer(const std::string& answers) {
        fs::path input = scratch_ / "answers";
        std::ofstream(input, std::ios::binary) << answers;
        ASSERT_NE(std::freopen(input.c_str(), "r", stdin), nullptr);
    }

    // Runs the dialog on the answers; output_ gets what it printed.
    int dialog(const std::string& answers) {
        answer(answers);
        ::testing::internal::CaptureStdout();
        int result = getArchiveOptionAndParms();
        output_ = ::testing::internal::GetCapturedStdout();
        return result;
    }

    std::string home() const { return (scratch_ / "home").string(); }
    std::string arch() const { return (scratch_ / "arch").string(); }

    fs::path scratch_;
    std::string output_;
};

// ---- the dialog ---------------------------------------------------------------

TEST_F(DialogTest, RepeatedReleaseNamesAreKeptOnceInOrder) {
    ASSERT_EQ(dialog("1\n2\nr1  r2 r1 \n"), 0);
    EXPECT_EQ(archCtx.archiving, 0);
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1", "r2"}));
    EXPECT_TRUE(archCtx.levelName.empty());
    EXPECT_TRUE(archCtx.dbPopulatePathName.empty()) << "a check-only run builds no paths";
}

TEST_F(DialogTest, BlanksAloneAreNoReleaseNames) {
    EXPECT_EQ(dialog("1\n2\n  \t \n"), 1);
    EXPECT_EQ(output_, std::string(msgFormat(1304)) + msgFormat(1305) + msgFormat(1310) +
                           msgFormat(1382));
}

// A line longer than the limit keeps its first 39999 characters; the rest
// of the line is read and dropped, so the next answer is still in step.
TEST_F(DialogTest, OverlongReleaseLineIsCutAndDialogStaysInStep) {
    std::string line = "r1" + std::string(39995, ' ') + "r2r3" + std::string(100, 'x');
    ASSERT_EQ(dialog("2\n2\n" + line + "\n1\n1\n" + arch() + "\n"), 0) << output_;
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1", "r2"}));
    EXPECT_EQ(archCtx.fileSystemName, arch());
}

TEST_F(DialogTest, LevelArchiveToFileSystemFillsPaths) {
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n1\n1\n" + arch() + "\n"), 0) << output_;
    EXPECT_EQ(archCtx.archiving, 1);
    EXPECT_EQ(archCtx.levelName, "l1");
    EXPECT_EQ(names(archCtx.relNameList), (std::vector<std::string>{"r1"}));
    EXPECT_EQ(archCtx.deleteAfterArchive, 0);
    EXPECT_EQ(archCtx.dbPopulatePathName, arch() + "/PELOarchive.dbData");
    EXPECT_EQ(archCtx.versionsDataPathName, arch() + "/PELOarchive.versionsData");
    EXPECT_EQ(archCtx.vcCleanPVCSPathName, home() + "/PELOarchive.PVCS_clean");
    EXPECT_TRUE(archCtx.vcCleanupPathName.empty());
    EXPECT_TRUE(archCtx.cpioFileListPathName.empty());
    EXPECT_TRUE(archCtx.deviceName.empty());
}

TEST_F(DialogTest, RemovalNeedsItsConfirmation) {
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n2\n1\n1\n" + arch() + "\n"), 0);
    EXPECT_EQ(archCtx.deleteAfterArchive, 0);
    ASSERT_EQ(dialog("2\n1\nl1\nr1\n2\n2\n1\n" + arch() + "\n"), 0);
    EXPECT_EQ(archCtx.deleteAfterArchive, 1);
}

TEST_F(DialogTest, DeviceArchiveWorksInOtherDirectory) {
    fs::create_directories(scratch_ / "work");
    std::string work = (scratch_ / "work").string();
    ASSERT_EQ(dialog("2\n2\nr1\n1\n2\n/dev/nrmt0\n2\n" + work + "\n"), 0) << output_;
    EXPECT_EQ(archCtx.deviceName, "/dev/nrmt0");
    EXPECT_EQ(archCtx.workDirIsFamilyHome, 0);
    EXPECT_EQ(archCtx.archiveInfoPathName, work + "/PELOarchive.info");
    EXPECT_EQ(archCtx.vcCleanupPathName, work + "/PELOarchive.VCcleanup");
    EXPECT_EQ(archCtx.cpioFileListPathName, home() + "/PELOarchive.CPIOlist");
}

TEST_F(DialogTest, DeviceArchiveCanWorkInFamilyHome) {
    ASSERT_EQ(dialog("2\n2\nr1\n1\n2\n/dev/rmt/0\n1\n"), 0) << output_;
    EXPECT_EQ(archCtx.workDirName, home());
    EXPECT_EQ(archCtx.workDirIsFamilyHome, 1);
}

TEST_F(DialogTest, AnswersAreTokensNotLines) {
    EXPECT_EQ(dialog("1 1 l1 r1"), 0) << output_;
    EXPECT_EQ(archCtx.levelName, "l1");
}

TEST_F(DialogTest, InvalidAnswersEndTheDialog) {
    const std::vector<std::string> invalid = {"x\n",   "12\n",   "\xc3\xa9\n", "0\n",
                                              "1\n4\n", "1\n 13\n", std::string("\0\n", 2)};
    for (const std::string& answers : invalid) {
        EXPECT_EQ(dialog(answers), 1) << answers;
        EXPECT_NE(output_.find(msgFormat(1307)), std::string::npos) << answers;
    }
}

// A name far longer than any buffer is refused, never stored whole.
TEST_F(DialogTest, HugeNameIsRefused) {
    EXPECT_EQ(dialog("1\n1\n" + std::string(200000, 'a') + "\nr1\n"), 1);
    EXPECT_NE(output_.find("0010-920"), std::string::npos);
    EXPECT_LT(output_.size(), 20000u);
}

// A cut token must not end in half a character, which the length check
// could not count.
TEST_F(DialogTest, HugeMultibyteNameIsCutAtWholeCharacter) {
    std::string name;
    for (int i = 0; i < 5000; ++i)
        name += "\xe2\x82\xac";  // three bytes each
    EXPECT_EQ(dialog("1\n1\n" + name + "\nr1\n"), 1);
    EXPECT_NE(output_.find("0010-920"), std::string::npos);
}

TEST_F(DialogTest, FileSystemNameWithShellCharacters) {
    for (const char* name : {"/arch~ive", "/ar$chive"}) {
        EXPECT_EQ(dialog(std::string("2\n2\nr1\n1\n1\n") + name + "\n"), 1);
        EXPECT_NE(output_.find(msgGet(1473, name, "peloarchive")), std::string::npos) << name;
    }
}

// 195 characters are allowed; the directory check then decides.
TEST_F(DialogTest, FileSystemNameLengthLimit) {
    std::string name195 = "/" + std::string(194, 'a');
    EXPECT_EQ(dialog("2\n2\nr1\n1\n1\n" + name195 + "\n"), 1);
    EXPECT_NE(output_.find("0010-907"), std::string::npos);
    EXPECT_EQ(output_.find("0010-936"), std::string::npos);
}

// ---- shared routines ----------------------------------------------------------

TEST_F(DialogTest, CheckLenCountsCharactersNotBytes) {
    std::string e15;
    for (int i = 0; i < 15; ++i)
        e15 += "\xc3\xa9";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(checkLen(e15, 16), 0);
    EXPECT_EQ(checkLen(e15 + "x", 16), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), msgGet(1346, (e15 + "x").c_str(), 15));
}

TEST_F(DialogTest, ValidateFileSystem) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(validateFileSystem(arch()), 0);
    EXPECT_EQ(validateFileSystem(arch() + "/none"), 1);
    std::ofstream(scratch_ / "arch/.hidden") << "";
    EXPECT_EQ(validateFileSystem(arch() + "/.hidden"), 1);
    EXPECT_EQ(validateFileSystem(arch()), 1);
    std::string expected = msgGet(1315, (arch() + "/none").c_str());
    expected += msgGet(1315, (arch() + "/.hidden").c_str());
    expected += msgGet(1316, arch().c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
}

TEST_F(DialogTest, ValidateDeviceWantsRawDevice) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(validateDevice("/dev/rmt/0"), 0);
    EXPECT_EQ(validateDevice("/dev/nrmt0"), 0);
    EXPECT_EQ(validateDevice("/x/dev/rfd0"), 0);
    EXPECT_EQ(validateDevice("/dev/mt0"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), msgGet(1475, "/dev/mt0"));
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

TEST(InitMemTest, BlockIsZeroFilled) {
    MemBlock block = initMem(4096);
    ASSERT_NE(block, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(block.get());
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
}

}  // namespace
}  // namespace pelo
