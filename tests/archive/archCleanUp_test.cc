// The clean-up exit: what it prints and what it removes, by the flags of
// the archive context.  Each case runs in a death-test child, whose
// standard output goes to a file the parent reads afterwards.
#include "archive/archCleanUp.h"

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/sem.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "archive/context.h"
#include "support/msg.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

class CleanUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "fast");
        char pattern[] = "/tmp/pelo-cleanup-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        fs::create_directories(scratch_ / "home");
        fs::create_directories(scratch_ / "arch");
        archCtx = {};
        archCtx.familyHomeDir = (scratch_ / "home").string();
    }

    void TearDown() override { fs::remove_all(scratch_); }

    // A file-system archive of an Oracle family under PVCS that has made
    // its work files and copied some maps, histories and load files.
    void fileSystemArchiveUnderWay() {
        ArchiveContext& c = archCtx;
        c.fileSystemName = (scratch_ / "arch").string();
        c.database = "oracle";
        c.vctype = "PVCS";
        c.dbPopulatePathName = c.fileSystemName + "/PELOarchive.dbData";
        c.archiveInfoPathName = c.fileSystemName + "/PELOarchive.info";
        c.archiveUserPathName = c.fileSystemName + "/PELOarchive.users";
        c.archiveExportPathName = c.fileSystemName + "/PELOarchive.export";
        c.vcCleanPVCSPathName = c.familyHomeDir + "/PELOarchive.PVCS_clean";
        open(c.dbPop_Fd, c.dbPop_Fp, c.dbPopulatePathName);
        open(c.archInfo_Fd, c.archInfo_Fp, c.archiveInfoPathName);
        open(c.archUser_Fd, c.archUser_Fp, c.archiveUserPathName);
        open(c.archExport_Fd, c.archExport_Fp, c.archiveExportPathName);
        open(c.vcCleanPVCS_Fd, c.vcCleanPVCS_Fp, c.vcCleanPVCSPathName);
        c.createdFiles = 1;
        fs::create_directories(scratch_ / "arch/maps/r1");
        fs::create_directories(scratch_ / "arch/vc/a");
        fs::create_directories(scratch_ / "arch/configField");
        std::ofstream(scratch_ / "arch/authority.ld") << "x";
    }

    static void open(int& fd, FILE*& fp, const std::string& path) {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
        fp = fdopen(fd, "a");
        std::fputs("row\n", fp);
    }

    std::string outputPath() const { return (scratch_ / "stdout").string(); }

    std::string output() const {
        std::ifstream file(outputPath());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    fs::path scratch_;
};

#define EXPECT_CLEANUP_EXIT(call)                                                         \
    EXPECT_EXIT(                                                                          \
        {                                                                                 \
            std::freopen(outputPath().c_str(), "w", stdout);                              \
            call();                                                                       \
        },                                                                                \
        ::testing::ExitedWithCode(1), "")

TEST_F(CleanUpTest, NothingCreatedOnlyPrints) {
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540));
}

TEST_F(CleanUpTest, FileSystemArchiveIsEmptiedAgain) {
    fileSystemArchiveUnderWay();
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540));
    EXPECT_TRUE(fs::is_empty(scratch_ / "arch"));
    EXPECT_FALSE(fs::exists(scratch_ / "home/PELOarchive.PVCS_clean"));
}

// Without memory no command can run: the copies stay, the work files go.
TEST_F(CleanUpTest, NoMemoryRemovesOnlyWorkFiles) {
    fileSystemArchiveUnderWay();
    EXPECT_CLEANUP_EXIT(cleanUpAndExitNoMem);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540));
    EXPECT_FALSE(fs::exists(scratch_ / "arch/PELOarchive.dbData"));
    EXPECT_FALSE(fs::exists(scratch_ / "arch/PELOarchive.export"));
    EXPECT_TRUE(fs::exists(scratch_ / "arch/maps/r1"));
    EXPECT_TRUE(fs::exists(scratch_ / "arch/authority.ld"));
}

// A device archive removes its work files and lists but runs no command.
TEST_F(CleanUpTest, DeviceArchiveRemovesItsLists) {
    ArchiveContext& c = archCtx;
    c.deviceName = "/dev/rmt0";
    c.database = "informix";
    c.vctype = "sccs";
    c.workDirName = c.familyHomeDir;
    c.notesDataPathName = c.workDirName + "/PELOarchive.notesData";
    c.cpioFileListPathName = c.familyHomeDir + "/PELOarchive.CPIOlist";
    c.vcCleanupPathName = c.workDirName + "/PELOarchive.VCcleanup";
    c.archiveExportPathName = c.workDirName + "/PELOarchive.export";  // not Oracle: kept
    open(c.dbLoadNotes_Fd, c.dbLoadNotes_Fp, c.notesDataPathName);
    open(c.cpioFileList_Fd, c.cpioFileList_Fp, c.cpioFileListPathName);
    open(c.archVCclean_Fd, c.archVCclean_Fp, c.vcCleanupPathName);
    open(c.archExport_Fd, c.archExport_Fp, c.archiveExportPathName);
    fs::create_directories(scratch_ / "home/maps");
    c.createdFiles = 1;
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_FALSE(fs::exists(scratch_ / "home/PELOarchive.notesData"));
    EXPECT_FALSE(fs::exists(scratch_ / "home/PELOarchive.CPIOlist"));
    EXPECT_FALSE(fs::exists(scratch_ / "home/PELOarchive.VCcleanup"));
    EXPECT_TRUE(fs::exists(scratch_ / "home/PELOarchive.export"));
    EXPECT_TRUE(fs::exists(scratch_ / "home/maps"));
}

// After cpio the work files belong to the device: nothing is removed.
TEST_F(CleanUpTest, FilesHandedToCpioStay) {
    fileSystemArchiveUnderWay();
    archCtx.createdFiles = 0;
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_TRUE(fs::exists(scratch_ / "arch/PELOarchive.dbData"));
    EXPECT_TRUE(fs::exists(scratch_ / "arch/maps/r1"));
}

TEST_F(CleanUpTest, HeldSemaphoreIsRemoved) {
    archCtx.semval = semget(IPC_PRIVATE, 1, IPC_CREAT | 0600);
    ASSERT_GE(archCtx.semval, 0);
    archCtx.semaphoreSet = 1;
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_EQ(semctl(archCtx.semval, 0, GETVAL), -1) << "the set still exists";
}

TEST_F(CleanUpTest, SemaphoreNotHeldIsLeftAlone) {
    archCtx.semval = semget(IPC_PRIVATE, 1, IPC_CREAT | 0600);
    ASSERT_GE(archCtx.semval, 0);
    archCtx.semaphoreSet = 0;
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_EQ(semctl(archCtx.semval, 0, GETVAL), 0);
    semctl(archCtx.semval, 0, IPC_RMID);
}

TEST_F(CleanUpTest, InterruptedRemovalIsReported) {
    archCtx.deleteAfterArchive = 1;
    archCtx.deleteStarted = 1;
    EXPECT_CLEANUP_EXIT(cleanUpAndExit);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540) + msgFormat(1376));
}

TEST_F(CleanUpTest, FreeArchiveListsEmptiesKeptLists) {
    archCtx.releaseIdList.listAppend(1);
    archCtx.defectFeatureIdList.listAppend(2);
    archCtx.sourceIdList.listAppend(SourceEntry{});
    freeArchiveLists();
    EXPECT_EQ(archCtx.releaseIdList.listSize(), 0);
    EXPECT_EQ(archCtx.defectFeatureIdList.listSize(), 0);
    EXPECT_EQ(archCtx.sourceIdList.listSize(), 0);
}

}  // namespace
}  // namespace pelo
