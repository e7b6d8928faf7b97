// The work files of a run, from the dialog's paths through createFiles to
// the clean-up of a failed run: which files are made, with which modes,
// and which the clean-up takes away, also when the run ends otherwise.
// The clean-up runs in a death-test child; the parent looks at what is
// left.
#include "archive/archCleanUp.h"

#include <sys/stat.h>  // umask

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "archive/context.h"
#include "archive/phases.h"
#include "support/msg.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

// "dir/name" of each file and directory below the home, archive and work
// directories, without the "PELOarchive." of the work files, with its
// permission bits.
using Listing = std::map<std::string, unsigned>;
using Names = std::set<std::string>;

class CleanUpTest : public ScratchDirTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "fast");
        ScratchDirTest::SetUp();
        mask_ = umask(0);  // the modes asked for, unmasked
        archCtx = {};
    }

    void TearDown() override {
        umask(mask_);
        archCtx = {};
        ScratchDirTest::TearDown();
    }

    // A fresh context and empty directories; the work files as the dialog
    // names them and as createFiles makes them.
    void runUnderWay(bool device, Dialect database, const char* vctype) {
        archCtx = {};
        for (const char* dir : {"home", "arch", "work"}) {
            fs::remove_all(scratch / dir);
            fs::create_directories(scratch / dir);
        }
        ArchiveContext& c = archCtx;
        c.familyHomeDir = (scratch / "home").string();
        c.database = database;
        c.vctype = vctype;
        const std::string dir = (scratch / (device ? "work" : "arch")).string();
        (device ? c.workDirName : c.fileSystemName) = dir;
        if (device)
            c.deviceName = "/dev/rmt0";
        buildWorkFilePaths();
        createFiles();
    }

    Listing listing() const {
        Listing files;
        for (const char* dir : {"home", "arch", "work"}) {
            for (const auto& entry : fs::recursive_directory_iterator(scratch / dir)) {
                std::string name = fs::relative(entry.path(), scratch).string();
                if (const auto at = name.find("PELOarchive."); at != std::string::npos)
                    name.erase(at, 12);
                files[name] = static_cast<unsigned>(entry.symlink_status().permissions());
            }
        }
        return files;
    }

    Names names() const {
        Names result;
        for (const auto& file : listing())
            result.insert(file.first);
        return result;
    }

    // Runs the clean-up in a death-test child, its standard output kept in
    // a file for output().
    void cleanUpInChild(void (*cleanUp)()) {
        const std::string out = (scratch / "stdout").string();
        EXPECT_EXIT({ std::freopen(out.c_str(), "w", stdout); cleanUp(); },
                    ::testing::ExitedWithCode(1), "");
    }

    std::string output() const { return read("stdout"); }

    mode_t mask_ = 0;
};

// A device run makes its work files in the working directory and the
// home.  Every work file the run has a path for exists before the clean-up
// (the export tools write some of them); it takes only those its run made.
// What a file-system archive copies there, the failed whole runs of
// archiveFiles_test.cc find gone.
TEST_F(CleanUpTest, DeviceRunMakesAndRemovesItsWorkFiles) {
    runUnderWay(true, Dialect::informix, "PVCS");
    EXPECT_EQ(listing(), (Listing{{"work/dbData", 0755}, {"work/notesData", 0755}, {"work/versionsData", 0755},
                                  {"work/info", 0644}, {"work/users", 0644}, {"work/VCcleanup", 0644},
                                  {"home/CPIOlist", 0755}, {"home/PVCS_clean", 0644}, {"work/manifest", 0644}}));
    for (const WorkFileEntry& entry : workFileTable())
        if (const std::string& path = (archCtx.*entry.file).path(); !path.empty())
            std::ofstream(path, std::ios::app).flush();
    cleanUpInChild(cleanUpAndExit);
    EXPECT_EQ(names(), Names{"work/export"});
}

// Without memory no command can run: the copies stay, the work files go.
TEST_F(CleanUpTest, NoMemoryRemovesOnlyWorkFiles) {
    runUnderWay(false, Dialect::oracle, "PVCS");
    fs::create_directories(scratch / "arch/maps/r1");
    cleanUpInChild(cleanUpAndExitNoMem);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540));
    EXPECT_EQ(names(), (Names{"arch/maps", "arch/maps/r1"}));
}

// After cpio the work files belong to the device: nothing is removed.
TEST_F(CleanUpTest, FilesHandedToCpioStay) {
    runUnderWay(true, Dialect::oracle, "sccs");
    archCtx.createdFiles = 0;
    const Listing before = listing();
    ASSERT_FALSE(before.empty());
    cleanUpInChild(cleanUpAndExit);
    EXPECT_EQ(listing(), before);
}

// Once removal has begun the archive is the only copy of what went: every
// file it wrote stays, and the user is told where it is.
TEST_F(CleanUpTest, InterruptedRemovalKeepsTheArchive) {
    runUnderWay(false, Dialect::oracle, "PVCS");
    fs::create_directories(scratch / "arch/maps/r1");
    std::ofstream(scratch / "arch/authority.ld") << "x";
    std::ofstream(archCtx.dbPop.path()) << "INSERT";
    const Names before = names();
    archCtx.deleteAfterArchive = archCtx.deleteStarted = archCtx.keepArchive = 1;
    const std::string archive = archCtx.fileSystemName;
    cleanUpInChild(cleanUpAndExit);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(output(), std::string(msgFormat(1538)) + msgFormat(1540) + msgFormat(1376) + msgGet(1700, archive.c_str()));
}

}  // namespace
}  // namespace pelo
