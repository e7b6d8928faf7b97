// The head of the information file where the scenarios do not reach: a
// full file system, and the date's years counted from 1900; the cpio
// list's line for each place a work file can be.  Which work
// files a run makes is in archCleanUp_test.cc, with what the clean-up
// removes.
#include "archive/archCreateFiles.h"

#include "archive/archUtil.h"

#include <gtest/gtest.h>

#include <ctime>

#include "archive/context.h"

namespace pelo {
namespace {

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
    t.tm_year = 96, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 0;
    EXPECT_EQ(formatArchiveDate(t), "96/01/01 23:59:00");
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

}  // namespace
}  // namespace pelo
