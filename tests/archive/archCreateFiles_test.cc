// The work files: which exist after createFiles for each database product,
// version-control kind and destination, with their modes; a file that
// cannot be created ends the run and takes the others with it; and the
// first nine lines of the information file, byte for byte.
#include "archive/archCreateFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "archive/context.h"
#include "familyDb.h"
#include "support/msg.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

using Listing = std::map<std::string, unsigned>;  // file name -> permission bits

class WorkFilesTest : public testing::FamilyDbTest {
protected:
    void SetUp() override {
        FamilyDbTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "fast");
        for (const char* dir : {"home", "arch", "work"})
            fs::create_directories(scratch_ / dir);
        archCtx.familyHomeDir = (scratch_ / "home").string();
        oldMask_ = umask(0);  // the modes asked for, unmasked
    }

    void TearDown() override {
        umask(oldMask_);
        closeWorkFiles();
        FamilyDbTest::TearDown();
    }

    static void closeWorkFiles() {
        ArchiveContext& c = archCtx;
        for (auto [fd, fp] : {std::pair{&c.dbPop_Fd, &c.dbPop_Fp}, {&c.archInfo_Fd, &c.archInfo_Fp},
                              {&c.archUser_Fd, &c.archUser_Fp}, {&c.archExport_Fd, &c.archExport_Fp},
                              {&c.dbLoadNotes_Fd, &c.dbLoadNotes_Fp}, {&c.dbLoadVers_Fd, &c.dbLoadVers_Fp},
                              {&c.vcCleanPVCS_Fd, &c.vcCleanPVCS_Fp},
                              {&c.archVCclean_Fd, &c.archVCclean_Fp},
                              {&c.cpioFileList_Fd, &c.cpioFileList_Fp}})
            closeWorkFile(*fd, *fp);
    }

    // Empty directories and a fresh context for the next case of a table.
    void startOver() {
        closeWorkFiles();
        for (const char* dir : {"home", "arch", "work"}) {
            fs::remove_all(scratch_ / dir);
            fs::create_directories(scratch_ / dir);
        }
        archCtx = {};
        archCtx.familyHomeDir = (scratch_ / "home").string();
    }

    // The run settings and paths the dialog leaves for each destination.
    void archiveTo(const char* destination, const char* database, const char* vctype) {
        ArchiveContext& c = archCtx;
        c.database = database;
        c.vctype = vctype;
        const bool device = std::string(destination) == "device";
        std::string dir = (scratch_ / (device ? "work" : "arch")).string();
        (device ? c.workDirName : c.fileSystemName) = dir;
        if (device)
            c.deviceName = "/dev/rmt0";
        c.dbPopulatePathName = dir + "/PELOarchive.dbData";
        c.archiveInfoPathName = dir + "/PELOarchive.info";
        c.archiveUserPathName = dir + "/PELOarchive.users";
        c.archiveExportPathName = dir + "/PELOarchive.export";
        c.notesDataPathName = dir + "/PELOarchive.notesData";
        c.versionsDataPathName = dir + "/PELOarchive.versionsData";
        if (device) {
            c.vcCleanupPathName = dir + "/PELOarchive.VCcleanup";
            c.cpioFileListPathName = c.familyHomeDir + "/PELOarchive.CPIOlist";
        }
        c.vcCleanPVCSPathName = c.familyHomeDir + "/PELOarchive.PVCS_clean";
    }

    Listing listing(const char* dir) const {
        Listing files;
        for (const auto& entry : fs::directory_iterator(scratch_ / dir)) {
            struct stat status {};
            lstat(entry.path().c_str(), &status);
            files[entry.path().filename().string()] = status.st_mode & 07777;
        }
        return files;
    }

    std::string outputPath() const { return (scratch_ / "stdout").string(); }

    std::string read(const fs::path& path) const {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    mode_t oldMask_ = 0;
};

#define EXPECT_RUN_ENDS(call)                                                \
    EXPECT_EXIT(                                                             \
        {                                                                    \
            std::freopen(outputPath().c_str(), "w", stdout);                 \
            call();                                                          \
        },                                                                   \
        ::testing::ExitedWithCode(1), "")

struct WorkFileCase {
    const char* destination;
    const char* database;
    const char* vctype;
    Listing archiveDir;  // the file system or the working directory
    Listing familyHome;
};

TEST_F(WorkFilesTest, EachRunGetsExactlyItsWorkFiles) {
    const WorkFileCase cases[] = {
        {"file system", "oracle", "sccs",
         {{"PELOarchive.dbData", 0755}, {"PELOarchive.export", 0755},
          {"PELOarchive.info", 0644}, {"PELOarchive.users", 0644}},
         {}},
        {"device", "informix", "PVCS",
         {{"PELOarchive.dbData", 0755}, {"PELOarchive.notesData", 0755},
          {"PELOarchive.versionsData", 0755}, {"PELOarchive.info", 0644},
          {"PELOarchive.users", 0644}, {"PELOarchive.VCcleanup", 0644}},
         {{"PELOarchive.CPIOlist", 0755}, {"PELOarchive.PVCS_clean", 0644}}},
        {"file system", "dizoz", "SCCS",
         {{"PELOarchive.dbData", 0755}, {"PELOarchive.info", 0644}, {"PELOarchive.users", 0644}},
         {}},
        {"file system", "sybase", "pvcs",
         {{"PELOarchive.dbData", 0755}, {"PELOarchive.notesData", 0755},
          {"PELOarchive.versionsData", 0755}, {"PELOarchive.info", 0644},
          {"PELOarchive.users", 0644}},
         {{"PELOarchive.PVCS_clean", 0644}}},
        {"device", "dizoz", "sccs",
         {{"PELOarchive.dbData", 0755}, {"PELOarchive.info", 0644}, {"PELOarchive.users", 0644},
          {"PELOarchive.VCcleanup", 0644}},
         {{"PELOarchive.CPIOlist", 0755}}},
    };
    for (const WorkFileCase& c : cases) {
        SCOPED_TRACE(std::string(c.destination) + " " + c.database + " " + c.vctype);
        startOver();
        archiveTo(c.destination, c.database, c.vctype);
        createFiles();
        EXPECT_EQ(archCtx.createdFiles, 1);
        const bool device = std::string(c.destination) == "device";
        EXPECT_EQ(listing(device ? "work" : "arch"), c.archiveDir);
        EXPECT_EQ(listing("home"), c.familyHome);
        EXPECT_EQ(listing(device ? "arch" : "work"), Listing{});
    }
}

// The users file cannot be created (its path leads nowhere): the files
// made before it are removed again and nothing after it is made.
TEST_F(WorkFilesTest, FileThatCannotBeCreatedEndsTheRunAndRemovesTheOthers) {
    archiveTo("file system", "oracle", "pvcs");
    fs::create_symlink(scratch_ / "missing/users", scratch_ / "arch/PELOarchive.users");
    sqlRollbackRelease();
    EXPECT_RUN_ENDS(createFiles);
    EXPECT_EQ(read(outputPath()), std::string(msgGet(1353, archCtx.archiveUserPathName.c_str())) +
                                      msgFormat(1538) + msgFormat(1540));
    EXPECT_EQ(listing("arch"), Listing{});
    EXPECT_EQ(listing("home"), Listing{});
}

// ---- information file -------------------------------------------------------

// The information file with its date line replaced by @DATE@, after
// checking that the date is the time of writing.
std::string withoutDate(std::string text, std::time_t before, std::time_t after) {
    const std::string label = "Date of archive            : ";
    const auto at = text.find(label);
    const auto end = text.find('\n', at);
    if (at == std::string::npos || end == std::string::npos)
        return text;
    const std::string date = text.substr(at + label.size(), end - at - label.size());
    bool matches = false;
    for (std::time_t t = before; t <= after && !matches; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        matches = date == formatArchiveDate(local);
    }
    EXPECT_TRUE(matches) << date;
    return text.replace(at + label.size(), date.size(), "@DATE@");
}

TEST_F(WorkFilesTest, LevelArchiveToDeviceHead) {
    archiveTo("device", "informix", "PVCS");
    archCtx.familyName = "fam01";
    archCtx.deleteAfterArchive = 1;
    archCtx.levelName = "lvl2";
    createFiles();
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(writeToArchiveInfoFile(), 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(withoutDate(read(archCtx.archiveInfoPathName), before, after),
              "Archive log from PELO family : fam01\n"
              "---------------------------------------- \n"
              "\n"
              "Date of archive            : @DATE@\n"
              "PELO server software level : 2.1\n"
              "Database                   : informix\n"
              "Version Control System     : PVCS\n"
              "Data Deleted After Archive?: Yes\n"
              "Archived to device         : /dev/rmt0\n"
              "Type of archive            : level\n"
              "  up to and including level: lvl2\n");
}

TEST_F(WorkFilesTest, ReleaseArchiveNamesReleasesInListOrder) {
    rows("INSERT INTO RELEASES (ID, NAME) VALUES (1, 'r1'), (2, 'r2'), (3, 'r3');");
    archiveTo("file system", "dizoz", "sccs");
    archCtx.releaseIdList.listAppend(2);
    archCtx.releaseIdList.listAppend(1);
    createFiles();
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(writeToArchiveInfoFile(), 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(withoutDate(read(archCtx.archiveInfoPathName), before, after),
              "Archive log from PELO family : pelofam\n"
              "---------------------------------------- \n"
              "\n"
              "Date of archive            : @DATE@\n"
              "PELO server software level : 2.1\n"
              "Database                   : dizoz\n"
              "Version Control System     : sccs\n"
              "Data Deleted After Archive?: No\n"
              "Archived to file system    : " + archCtx.fileSystemName + "\n"
              "Type of archive            : release\n"
              "  release(s) archived      : r2 r1 \n");
}

TEST_F(WorkFilesTest, FullFileSystemFailsTheHead) {
    archCtx.archInfo_Fp = std::fopen("/dev/full", "a");
    ASSERT_NE(archCtx.archInfo_Fp, nullptr);
    archCtx.fileSystemName = "/archive";
    EXPECT_EQ(writeToArchiveInfoFile(), 1);
}

TEST(ArchiveDateTest, YearsCountFrom1900) {
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 5, t.tm_mday = 24, t.tm_hour = 7, t.tm_min = 5, t.tm_sec = 9;
    EXPECT_EQ(formatArchiveDate(t), "126/06/24 07:05:09");
    t.tm_year = 96, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 0;
    EXPECT_EQ(formatArchiveDate(t), "96/01/01 23:59:00");
}

}  // namespace
}  // namespace pelo
