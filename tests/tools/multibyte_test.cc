// Texts whose characters take more than one byte, archived and reloaded.
// PostgreSQL counts a column's width in characters, so a defect abstract of
// 128 two-byte characters and a note of 20 000 of them fit their columns
// there while holding more bytes than the widths say.  The real binary
// archives a demo family holding them (a release archive to a directory,
// as the family's login), reload runs what it wrote against an empty
// schema, and both texts must come back byte for byte along with every
// other row the archive counts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/familyTables.h"
#include "tools/reloadedRows.h"
#include "tools/scratchFamily.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using namespace pelo::testing;

std::string repeated(const std::string& character, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += character;
    return text;
}

const std::string twoByte = "\xc3\xa9";  // é
const std::string longRemark = repeated(twoByte, 20000);
const std::string fullAbstract = repeated(twoByte, 128);

class MultibyteArchiveTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (const std::string why = openScratchPair(Backend::postgres, family_, reload_); !why.empty())
            GTEST_SKIP() << why;
        dir_ = family_->dir().string();
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }

    void runInScratch(const std::string& command) const {
        const int status = std::system(("cd " + shellQuote(dir_) + " && ( " + command + " ) >output 2>&1").c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << command << "\n" << testing::readText(dir_ + "/output");
    }

    /// The demo family in the scratch database, and the requests its
    /// family.txt names.
    void buildFamily() {
        built_ = testing::buildFamily(dir_ + "/family", std::string("--size=demo --db=") + GetParam() +
                                                                  familyTargetOptions(*family_));
        ASSERT_TRUE(built_.env.contains("PELO_DB")) << "no family.env";
        std::ifstream summary(dir_ + "/family/family.txt");
        for (std::string line; std::getline(summary, line);)  // name=value
            if (const auto eq = line.find('='); eq != std::string::npos)
                requests_[line.substr(0, eq)] = line.substr(eq + 1);
    }

    /// Gives one defect of the archived release the full abstract and one
    /// of its notes the long remark.
    void storeMultibyteTexts() {
        ASSERT_EQ(sqlConnect(built_.env.at("PELO_DB"), family_->user(), family_->password()), 0) << sqlca.sqlerrm;
        const std::string release = requests_.at("releaseArchive");
        const std::string archivedNote =
            "SELECT n.ctid FROM NOTES n JOIN TRACKS t ON t.DEFECTID = n.DEFECTID"
            " JOIN RELEASES r ON r.ID = t.RELEASEID WHERE r.NAME = :b1 LIMIT 1";
        ASSERT_EQ(sqlExecute("UPDATE NOTES SET REMARKS = :b2 WHERE ctid = (" + archivedNote + ")",
                             {{1, release}, {2, longRemark}}),
                  0)
            << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecute("UPDATE DEFECTS SET ABSTRACT = :b2 WHERE ID IN (SELECT DEFECTID FROM NOTES"
                             " WHERE REMARKS = :b1)",
                             {{1, longRemark}, {2, fullAbstract}}),
                  0)
            << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }

    /// A release archive to a directory, no removal, by the real binary
    /// reaching the cluster with the test's login.
    void archive(const std::string& arch) const {
        fs::create_directories(arch);
        std::map<std::string, std::string> cluster;
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                cluster[name] = value;
        const std::string output =
            runArchive(built_, "2\n2\n" + requests_.at("releaseArchive") + "\n1\n1\n" + arch + "\n", cluster);
        ASSERT_NE(output.find("Archive complete"), std::string::npos) << output;
    }

    Tables read(const ScratchDatabase& db, const Tables* like = nullptr) const {
        const std::string target = &db == family_.get() ? built_.env.at("PELO_DB") : db.target();
        return readTablesAt(target, db.user(), db.password(), like);
    }

    std::unique_ptr<ScratchDatabase> family_, reload_;
    std::string dir_;
    BuiltFamily built_;
    std::map<std::string, std::string> requests_;  ///< family.txt
};

bool holds(const TableRows& table, const std::string& text) {
    return std::ranges::any_of(table.rows, [&](const Texts& row) { return std::ranges::count(row, text) > 0; });
}

TEST_P(MultibyteArchiveTest, TextsOfTheirWidthInCharactersComeBackWhole) {
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    ASSERT_NO_FATAL_FAILURE(storeMultibyteTexts());
    const std::string arch = dir_ + "/arch";
    ASSERT_NO_FATAL_FAILURE(archive(arch));
    const std::string dialect = GetParam() == std::string("vql") ? "dizoz" : GetParam();
    ASSERT_NO_FATAL_FAILURE(runInScratch(shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" +
                                         dialect + " --target=" + shellQuote(reload_->target()) + " --login=" +
                                         shellQuote(reload_->user()) + " --password=" +
                                         shellQuote(reload_->password()) + " --create-schema " + shellQuote(arch)));
    Tables reloaded = read(*reload_);
    Tables family = read(*family_, &reloaded);
    ASSERT_TRUE(holds(family["NOTES"], longRemark)) << "the family holds the long remark";
    EXPECT_TRUE(holds(reloaded["NOTES"], longRemark)) << "the long remark came back whole";
    EXPECT_TRUE(holds(reloaded["DEFECTS"], fullAbstract)) << "the abstract of 128 characters came back whole";
    expectReloadedFamily(family, reloaded, arch, GetParam(), false);
}

// Informix writes the notes of the archived defects itself, into its load
// file; the others export the table with the product's tool.
INSTANTIATE_TEST_SUITE_P(PostgreSQL, MultibyteArchiveTest, ::testing::Values("informix", "oracle"));

}  // namespace
}  // namespace pelo
