// The work files where the scenarios do not reach: a WorkFile opened for
// appending with its mode, closed once, a failed flush told from a failed
// close; the head of the information file on a full file system, and the
// date's years counted from 1900; the cpio list's line for each place a
// work file can be; the database's share of the space estimate.  Which
// work files a run makes is in archCleanUp_test.cc, with what the
// clean-up removes.
#include "archive/archCreateFiles.h"

#include "archive/archUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "archive/context.h"
#include "archive/phases.h"
#include "archive/workFile.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

using WorkFileTest = ScratchDirTest;

// Reopening appends instead of truncating.  A second close must not close
// the descriptor again: by then its number belongs to the next file opened.
TEST_F(WorkFileTest, OpensWithItsModeAppendsAndClosesOnce) {
    WorkFile file;
    file.setPath((scratch / "list").string());
    const mode_t mask = umask(0);
    ASSERT_EQ(file.open(0751), WorkFile::Opened::yes);
    umask(mask);
    std::fputs("first\n", file.fp());
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(file.fp(), nullptr);
    FILE* next = std::fopen((scratch / "next").c_str(), "w");
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(std::fclose(next), 0) << "the second close took the next file's descriptor";
    ASSERT_EQ(file.open(0644), WorkFile::Opened::yes);
    std::fputs("second\n", file.fp());
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(read("list"), "first\nsecond\n");
    EXPECT_EQ(fs::status(scratch / "list").permissions(), fs::perms(0751));
}

// A full file system fails the flush; a descriptor lost with nothing left
// to flush fails the close alone.
TEST_F(WorkFileTest, FailedFlushIsToldFromFailedClose) {
    WorkFile full;
    full.setPath("/dev/full");
    ASSERT_EQ(full.open(0644), WorkFile::Opened::yes);
    std::fputs("row\n", full.fp());
    EXPECT_FALSE(full.close().flushed);
    WorkFile lost;
    lost.setPath((scratch / "list").string());
    ASSERT_EQ(lost.open(0644), WorkFile::Opened::yes);
    ::close(fileno(lost.fp()));
    const WorkFile::Closed closed = lost.close();
    EXPECT_TRUE(closed.flushed);
    EXPECT_FALSE(closed.closed);
    EXPECT_FALSE(closed.ok());
}

TEST(ArchiveInfoTest, FullFileSystemFailsTheHead) {
    archCtx = {};
    archCtx.archInfo.setPath("/dev/full");
    ASSERT_EQ(archCtx.archInfo.open(0644), WorkFile::Opened::yes);
    archCtx.fileSystemName = "/archive";
    EXPECT_EQ(writeToArchiveInfoFile(), 1);
    archCtx = {};
}

TEST(ArchiveInfoTest, DateYearsCountFrom1900) {
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 5, t.tm_mday = 24, t.tm_hour = 7, t.tm_min = 5, t.tm_sec = 9;
    EXPECT_EQ(formatArchiveDate(t), "126/06/24 07:05:09");
}

// cpio runs in the family home: names there are relative to it, others whole.
TEST(CpioListLineTest, RelativeToTheFamilyHomeOnlyBelowIt) {
    const struct { const char *home, *path; bool workDirIsHome; const char* line; } cases[] = {
        {"/home/fam", "/home/fam/PELOarchive.users", true, "./PELOarchive.users\n"},
        {"/home/fam", "/home/fam/work/PELOarchive.users", false, "./work/PELOarchive.users\n"},
        {"/home/fam", "/home/family/PELOarchive.users", false, "/home/family/PELOarchive.users\n"},
        {"/home/fam", "/tmp/work/PELOarchive.users", false, "/tmp/work/PELOarchive.users\n"},
    };
    for (const auto& c : cases) {
        archCtx = {};
        archCtx.familyHomeDir = c.home, archCtx.workDirIsFamilyHome = c.workDirIsHome;
        archCtx.archUser.setPath(c.path);
        EXPECT_EQ(cpioListLine(&ArchiveContext::archUser), c.line) << c.path;
    }
    archCtx = {};
}

// Rows at their bytes each, notes and versions counted by dialect, the
// sum taken in 32 bits.
TEST(DatabaseShareTest, RowsNotesAndVersionsByDialect) {
    // One release, two users and three files: 246 + 2 * 2233 + 3 * 1257.
    constexpr std::int64_t rows = 8483, filesBefore = 1000;
    const struct {
        const char* name;
        Dialect dialect;
        int allNotes;
        std::int64_t share;
    } cases[] = {
        {"InformixArchivedRowsOnly", Dialect::informix, 50, rows + 2 * 4089 + 3 * 1176},
        {"OracleWholeTables", Dialect::oracle, 50, rows + 50 * 4089 + 70 * 1176},
        {"NoDialectNoRemarks", Dialect::none, 50, rows},
        // 600000 notes of 4089 bytes pass 2^31: the 32-bit sum wraps below zero.
        {"WrapsPast32Bits", Dialect::oracle, 600000, rows + 600000LL * 4089 + 70 * 1176 - (1LL << 32)},
    };
    for (const auto& c : cases) {
        archCtx = {};
        archCtx.mode = RunMode::checkOnly, archCtx.database = c.dialect, archCtx.fileSystemStore = filesBefore;
        archCtx.numReleases = 1, archCtx.numUsers = 2, archCtx.numFiles = 3;
        archCtx.numNotes = 2, archCtx.numVersions = 3, archCtx.allNotes = c.allNotes, archCtx.allVersions = 70;
        EXPECT_EQ(calculateStorage(), 0) << c.name;  // a check-only run: no counts section to write
        EXPECT_EQ(archCtx.fileSystemStore, filesBefore + c.share) << c.name;
    }
    archCtx = {};
}

}  // namespace
}  // namespace pelo
