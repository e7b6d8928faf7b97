// An archive, reloaded.  The real binary archives a demo family as the
// family's login; reload runs what it wrote against an empty schema; and
// every reloaded row must be the family's row, in the numbers the archive's
// information file counts.  For each database product, a level and a
// release archive, on SQLite and on PostgreSQL.  In the hostile cases the
// family is mkfamily's hostile family, whose names and texts hold quotes,
// command substitutions, back quotes, backslashes, semicolons, lines "!"
// and "go", non-ASCII text and new-lines: they must come back unchanged,
// and no shell may run what they hold.  In the multibyte cases, on
// PostgreSQL, which counts a column's width in characters, a defect abstract
// of 128 two-byte characters and a note of 20 000 of them fit their columns
// while holding more bytes than the widths say: both must come back byte
// for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "archive/builtFamily.h"
#include "tools/familyTables.h"
#include "tools/removedObjects.h"
#include "tools/scratchFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using namespace pelo::testing;

struct RoundTripCase {
    const char* product;  ///< mkfamily's --db
    Backend backend;
    bool level;  ///< a level archive of rel2 up to r2lvl02; else a release archive of rel1
    bool hostile;  ///< mkfamily --hostile, with the requests its family.txt names
    bool multibyte = false;  ///< an archived note and abstract of two-byte characters, their columns full
};

std::string repeated(const std::string& character, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += character;
    return text;
}

const std::string twoByte = "\xc3\xa9";  // é
const std::string longRemark = repeated(twoByte, 20000);
const std::string fullAbstract = repeated(twoByte, 128);

bool holds(const TableRows& table, const std::string& text) {
    return std::ranges::any_of(table.rows, [&](const Texts& row) { return std::ranges::count(row, text) > 0; });
}

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    const RoundTripCase& c = info.param;
    return std::string(c.backend == Backend::sqlite ? "SQLite_" : "PostgreSQL_") + upper(c.product).substr(0, 1) +
           (c.product + 1) + (c.level ? "_Level" : "_Release") + (c.hostile ? "Hostile" : "") + (c.multibyte ? "Multibyte" : "");
}

class RoundTripTest : public ScratchPairTest<RoundTripCase> {
protected:
    void SetUp() override {
        ScratchPairTest::SetUp();
        if (!IsSkipped())
            dir_ = familyDb_->dir().string();
    }

    /// Runs the command in the scratch directory, where a value that
    /// reached a shell would leave its CANARY; fails the test unless it
    /// ends with status 0.
    void runInScratch(const std::string& command) const {
        const int status = std::system(("cd " + shellQuote(dir_) + " && ( " + command + " ) >output 2>&1").c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << command << "\n" << testing::readText(dir_ + "/output");
    }

    /// The demo family: on SQLite in its default database, on PostgreSQL in
    /// the scratch database as the cluster's login, which is then the
    /// family's.  env_ gets what its family.env exports.
    void buildFamily() {
        const std::string command = shellQuote(PELO_BINARY_DIR "/tools/mkfamily/mkfamily") +
                              " --size=demo --db=" + GetParam().product + " --root=" + shellQuote(dir_ + "/family") +
                              (GetParam().hostile ? " --hostile" : "") + familyTargetOptions(*familyDb_);
        ASSERT_NO_FATAL_FAILURE(runInScratch(command));
        std::ifstream envFile(dir_ + "/family/family.env");
        for (std::string line; std::getline(envFile, line);)  // export NAME='value'
            if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
                env_[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
        ASSERT_TRUE(env_.contains("PELO_DB")) << "no family.env";
        std::ifstream summary(dir_ + "/family/family.txt");
        for (std::string line; std::getline(summary, line);)  // name=value
            if (const auto eq = line.find('='); eq != std::string::npos)
                requests_[line.substr(0, eq)] = line.substr(eq + 1);
    }

    /// Gives one defect of the archived release the full abstract and one
    /// of its notes the long remark (PostgreSQL: rows named by their ctid).
    void storeMultibyteTexts() {
        ASSERT_EQ(sqlConnect(env_.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        const std::string archivedNote =
            "SELECT n.ctid FROM NOTES n JOIN TRACKS t ON t.DEFECTID = n.DEFECTID"
            " JOIN RELEASES r ON r.ID = t.RELEASEID WHERE r.NAME = :b1 LIMIT 1";
        ASSERT_EQ(sqlExecute("UPDATE NOTES SET REMARKS = :b2 WHERE ctid = (" + archivedNote + ")",
                             {{1, requests_.at("releaseArchive")}, {2, longRemark}}),
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

    /// The real binary, as the family's login through nss_wrapper, with the
    /// dialog's answers on its input: archive to a directory, no removal.
    void archive(const std::string& arch) const {
        fs::create_directories(arch);
        const std::string request = GetParam().level ? "1\n" + requests_.at("levelArchive") + "\n" +
                                                           requests_.at("levelArchiveRelease") + "\n"
                                                     : "2\n" + requests_.at("releaseArchive") + "\n";
        std::ofstream(dir_ + "/answers") << "2\n" << request << "1\n1\n" << arch << "\n";
        std::map<std::string, std::string> env = env_;
        env["PATH"] = "/usr/bin:/bin", env["LANG"] = "C.UTF-8", env["LD_PRELOAD"] = "libnss_wrapper.so";
        env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
        // The cluster and its login, for the utility and for the products'
        // tools (the VQL tool's command line names no password).
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                env[name] = value;
        std::string command = "env -i";
        for (const auto& [name, value] : env)
            command += " " + name + "=" + shellQuote(value);
        ASSERT_NO_FATAL_FAILURE(runInScratch(command + " " + shellQuote(PELO_BINARY_DIR "/src/peloarchive") +
                                             " <answers && grep -q 'Archive complete' output"));
    }

    Tables read(const ScratchDatabase& db, const Tables* like = nullptr) const {
        const std::string target = &db == familyDb_.get() ? env_.at("PELO_DB") : db.target();
        return readTablesAt(target, db.user(), db.password(), like);
    }

    std::string dir_;
    std::map<std::string, std::string> env_;
    std::map<std::string, std::string> requests_;  ///< family.txt
};

TEST_P(RoundTripTest, ReloadGivesBackTheFamilyRows) {
    const RoundTripCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    if (c.multibyte) {
        ASSERT_NO_FATAL_FAILURE(storeMultibyteTexts());
    }
    const std::string arch = dir_ + "/arch";
    ASSERT_NO_FATAL_FAILURE(archive(arch));
    ASSERT_TRUE(fs::exists(arch + "/configField/DefectConfigTbl")) << "the archive holds the field tables";
    const std::string dialect = c.product == std::string("vql") ? "dizoz" : c.product;
    ASSERT_NO_FATAL_FAILURE(runInScratch(shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" +
                                         dialect + " --target=" + shellQuote(reloadDb_->target()) + " --login=" +
                                         shellQuote(reloadDb_->user()) + " --password=" +
                                         shellQuote(reloadDb_->password()) + " --create-schema " + shellQuote(arch)));
    Tables reloaded = read(*reloadDb_);
    Tables family = read(*familyDb_, &reloaded);  // a field switched off is not archived
    expectReloadedFamily(family, reloaded, arch, c.product, c.level);
    if (c.multibyte) {
        ASSERT_TRUE(holds(family["NOTES"], longRemark)) << "the family holds the long remark";
        EXPECT_TRUE(holds(reloaded["NOTES"], longRemark)) << "the long remark came back whole";
        EXPECT_TRUE(holds(reloaded["DEFECTS"], fullAbstract)) << "the abstract of 128 characters came back whole";
    }
    EXPECT_GT(reloaded["CHANGES"].rows.size(), 0u) << "the archive holds no change";
    const auto hostile = [](const Texts& row) {
        return std::ranges::any_of(row, [](const std::string& value) { return value.find("$(touch CANARY)") != std::string::npos; });
    };
    for (const char* table : {"PATH", "NOTES", "VERSIONS", "DEFECTS", "COMPONENTS", "USERS", "HOSTS"})
        EXPECT_EQ(std::ranges::any_of(reloaded[table].rows, hostile), c.hostile) << table;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
        EXPECT_NE(entry.path().filename(), "CANARY") << entry.path();
}

// Each product's script on both backends and both requests; hostile names
// on its level archive, which writes its files' base names from their
// paths (hostile_test.cc reloads the hostile release archives).
std::vector<RoundTripCase> roundTripCases() {
    std::vector<RoundTripCase> cases;
    for (const char* product : {"oracle", "informix", "sybase", "vql"})
        for (auto [backend, level, hostile] : {std::tuple{Backend::sqlite, true, false},
                                               {Backend::postgres, false, false}, {Backend::postgres, true, true}})
            cases.push_back({product, backend, level, hostile});
    // Informix writes the notes of the archived defects itself, into its
    // load file; the others export the table with the product's tool.
    for (const char* product : {"informix", "oracle"})
        cases.push_back({product, Backend::postgres, false, false, true});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, RoundTripTest, ::testing::ValuesIn(roundTripCases()), caseName);

}  // namespace
}  // namespace pelo
