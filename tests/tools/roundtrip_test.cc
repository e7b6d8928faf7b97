// An archive, reloaded.  The real binary archives a demo family as the
// family's login; reload runs what it wrote against an empty schema; and
// every reloaded row must be the family's row, in the numbers the archive's
// information file counts.  For each database product, a level and a
// release archive, on SQLite and on PostgreSQL.  In the hostile cases the
// family is mkfamily's hostile family, whose names and texts hold quotes,
// command substitutions, back quotes, backslashes, semicolons, lines "!"
// and "go", non-ASCII text and new-lines: they must come back unchanged,
// and no shell may run what they hold.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "tools/familyTables.h"
#include "tools/reloadedRows.h"
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
};

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    const RoundTripCase& c = info.param;
    return std::string(c.backend == Backend::sqlite ? "SQLite_" : "PostgreSQL_") + upper(c.product).substr(0, 1) +
           (c.product + 1) + (c.level ? "_Level" : "_Release") + (c.hostile ? "Hostile" : "");
}

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {
protected:
    void SetUp() override {
        if (const std::string why = openScratchPair(GetParam().backend, family_, reload_); !why.empty())
            GTEST_SKIP() << why;
        dir_ = family_->dir().string();
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
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
                              (GetParam().hostile ? " --hostile" : "") + familyTargetOptions(*family_);
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
        const std::string target = &db == family_.get() ? env_.at("PELO_DB") : db.target();
        return readTablesAt(target, db.user(), db.password(), like);
    }

    std::unique_ptr<ScratchDatabase> family_, reload_;
    std::string dir_;
    std::map<std::string, std::string> env_;
    std::map<std::string, std::string> requests_;  ///< family.txt
};

TEST_P(RoundTripTest, ReloadGivesBackTheFamilyRows) {
    const RoundTripCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    const std::string arch = dir_ + "/arch";
    ASSERT_NO_FATAL_FAILURE(archive(arch));
    ASSERT_TRUE(fs::exists(arch + "/configField/DefectConfigTbl")) << "the archive holds the field tables";
    const std::string dialect = c.product == std::string("vql") ? "dizoz" : c.product;
    ASSERT_NO_FATAL_FAILURE(runInScratch(shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" +
                                         dialect + " --target=" + shellQuote(reload_->target()) + " --login=" +
                                         shellQuote(reload_->user()) + " --password=" +
                                         shellQuote(reload_->password()) + " --create-schema " + shellQuote(arch)));
    Tables reloaded = read(*reload_);
    Tables family = read(*family_, &reloaded);  // a field switched off is not archived
    expectReloadedFamily(family, reloaded, arch, c.product, c.level);
    EXPECT_GT(reloaded["CHANGES"].rows.size(), 0u) << "the archive holds no change";
    const auto hostile = [](const Texts& row) { return joined(row).find("$(touch CANARY)") != std::string::npos; };
    for (const char* table : {"PATH", "NOTES", "VERSIONS", "DEFECTS", "COMPONENTS", "USERS", "HOSTS"})
        EXPECT_EQ(std::ranges::any_of(reloaded[table].rows, hostile), c.hostile) << table;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
        EXPECT_NE(entry.path().filename(), "CANARY") << entry.path();
}

// Hostile names on both requests of every product: the level archive
// writes its files' base names from their paths, the release archive its
// whole release.
std::vector<RoundTripCase> roundTripCases() {
    std::vector<RoundTripCase> cases;
    for (Backend backend : {Backend::sqlite, Backend::postgres})
        for (const char* product : {"oracle", "informix", "sybase", "vql"})
            for (auto [level, hostile] : {std::pair{true, false}, {false, false}, {true, true}, {false, true}})
                cases.push_back({product, backend, level, hostile});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, RoundTripTest, ::testing::ValuesIn(roundTripCases()), caseName);

}  // namespace
}  // namespace pelo
