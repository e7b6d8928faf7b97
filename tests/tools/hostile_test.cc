// The hostile family (mkfamily --hostile) against every kind of run: for
// each database product, version-control kind and backend, a check-only
// run, a device archive of the family's level request that removes what it
// archived, a device archive of its release request (whose levels include
// one with a new-line in its name), then a file-system archive of the
// release request with removal.  Each run completes or stops, before
// anything is removed, with the message the case names; the file-system
// archive's script reloads to the family's values; and no value ever reaches a shell, which would leave
// a file CANARY in the family, the archive, the scratch directory or the
// directory the runs start in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/familyTables.h"
#include "tools/removedObjects.h"
#include "tools/scratchFamily.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using namespace pelo::testing;

/// What a run must do: end with "Archive complete." (a check-only run with
/// its estimate), or stop with status 1 and the given text in its output.
struct Outcome {
    const char* stopsWith = nullptr;  ///< null: the run completes
};
constexpr Outcome completes{};
// cpio reads one name a line: a level map named with a new-line cannot be
// listed, and the archive stops before it writes the medium.
constexpr Outcome newLineName{"0011-040"};

struct HostileCase {
    Backend backend;
    const char* product;  ///< mkfamily's --db
    const char* vc;       ///< mkfamily's --vc
    Outcome checkOnly, deviceLevel, deviceRelease, fileSystem;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.product << ' ' << c.vc; }

/// Every product (the script's text) once, every backend with every
/// history kind once: each meets the hostile family alike, and only the
/// release's device archive stops, at the level with a new-line.
std::vector<HostileCase> hostileCases() {
    std::vector<HostileCase> cases;
    for (auto [backend, product, vc] : {std::tuple{Backend::sqlite, "oracle", "sccs"},
                                        {Backend::sqlite, "sybase", "pvcs"},
                                        {Backend::postgres, "informix", "pvcs"},
                                        {Backend::postgres, "vql", "sccs"}})
        cases.push_back({backend, product, vc, completes, completes, newLineName, completes});
    return cases;
}

std::string caseName(const ::testing::TestParamInfo<HostileCase>& info) {
    const HostileCase& c = info.param;
    std::string name = std::string(c.backend == Backend::sqlite ? "SQLite_" : "PostgreSQL_") + c.product + "_" + c.vc;
    for (std::size_t at : {name.find('_') + 1, name.rfind('_') + 1})
        name[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[at])));
    return name;
}

/// Every CANARY file below a directory (not following links).
std::vector<std::string> canaries(const fs::path& dir) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(dir, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
        if (it->path().filename() == "CANARY")
            found.push_back(it->path().string());
    return found;
}

class HostileTest : public ScratchPairTest<HostileCase> {
protected:
    void SetUp() override {
        ScratchPairTest::SetUp();
        if (IsSkipped())
            return;
        dir_ = familyDb_->dir().string();
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                cluster_[name] = value;
    }

    /// The tiny hostile family, and the requests its family.txt names.
    void buildFamily() {
        const HostileCase& c = GetParam();
        const std::string options = std::string("--size=tiny --hostile --db=") + c.product + " --vc=" + c.vc +
                                    familyTargetOptions(*familyDb_);
        family_ = testing::buildFamily(dir_ + "/family", options);
        ASSERT_TRUE(family_.env.contains("PELO_DB")) << "no family.env";
        ASSERT_NE(family_.requests["releaseArchive"], "rel1") << "the family is not the hostile one";
    }

    std::string levelRequest() const {
        return "1\n" + family_.requests.at("levelArchive") + "\n" + family_.requests.at("levelArchiveRelease") + "\n";
    }

    /// The real binary as the family's login, started in the scratch
    /// directory, where a value that reached a shell would leave its CANARY.
    /// Checks the outcome; true when the run completed.
    bool run(const char* what, const std::string& answers, const Outcome& expected) const {
        const std::string output =
            testing::runArchive(family_, answers, cluster_, "cd " + shellQuote(dir_) + " &&");
        if (expected.stopsWith == nullptr) {
            EXPECT_TRUE(output.ends_with("status=0\n")) << what << "\n" << output;
            EXPECT_NE(output.find(answers.starts_with("1") ? "The peloarchive program requires approximately"
                                                           : "Archive complete."),
                      std::string::npos)
                << what << "\n" << output;
            return true;
        }
        EXPECT_TRUE(output.ends_with("status=1\n")) << what << "\n" << output;
        EXPECT_NE(output.find(expected.stopsWith), std::string::npos) << what << "\n" << output;
        return false;
    }

    Tables read(const std::string& target, const ScratchDatabase& login) const {
        return readTablesAt(target, login.user(), login.password());
    }

    std::string dir_;
    std::map<std::string, std::string> cluster_;
    BuiltFamily family_;
};

TEST_P(HostileTest, EveryRunCompletesOrStopsAndNothingRuns) {
    const HostileCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    run("check-only run", "1\n" + levelRequest(), c.checkOnly);

    // The device archive: the level request with removal, the family home
    // as the working directory.  What cpio wrote must unpack to the level
    // maps the family held before, which the removal then took away.
    const std::string mapsBefore = dir_ + "/mapsBefore";
    fs::copy(family_.home + "/maps", mapsBefore, fs::copy_options::recursive);
    const ShortDevice device;
    ASSERT_FALSE(device.dir().empty()) << "no short scratch directory for the device";
    if (run("device archive of the level with removal", "2\n" + levelRequest() + "2\n2\n2\n" + device.path() + "\n1\n1\n",
            c.deviceLevel)) {
        const std::string unpacked = dir_ + "/unpacked";
        fs::create_directories(unpacked);
        ASSERT_EQ(std::system(("cd " + shellQuote(unpacked) + " && cpio -idm --quiet <" + shellQuote(device.path()) +
                               " 2>/dev/null").c_str()), 0);
        const std::string level =
            family_.requests.at("levelArchiveRelease") + "/" + family_.requests.at("levelArchive");
        EXPECT_TRUE(fs::exists(unpacked + "/maps/" + level)) << "the requested level's map is not on the medium";
        std::size_t unpackedMaps = 0;
        for (const auto& entry : fs::recursive_directory_iterator(unpacked + "/maps"))
            if (entry.is_regular_file()) {
                ++unpackedMaps;
                const std::string relative = fs::relative(entry.path(), unpacked + "/maps").string();
                EXPECT_EQ(readText(entry.path().string()), readText(mapsBefore + "/" + relative)) << relative;
                EXPECT_FALSE(fs::exists(family_.home + "/maps/" + relative)) << "the removal left " << relative;
            }
        EXPECT_GE(unpackedMaps, 2u) << "the level request archives two levels";
    }
    fs::remove(device.path());
    const std::string releaseRequest = "2\n" + family_.requests.at("releaseArchive") + "\n";
    if (!run("device archive of the release", "2\n" + releaseRequest + "1\n2\n" + device.path() + "\n1\n1\n",
             c.deviceRelease)) {
        EXPECT_FALSE(fs::exists(device.path())) << "the medium was written";
    }

    // The file-system archive of the release request, removing what it
    // archived; its script reloads to the family's rows as they were.
    const Tables before = read(family_.env.at("PELO_DB"), *familyDb_);
    const std::string arch = dir_ + "/arch";
    fs::create_directories(arch);
    const std::string answers = "2\n" + releaseRequest + "2\n2\n1\n" + arch + "\n";
    if (run("file-system archive with removal", answers, c.fileSystem)) {
        const std::string dialect = c.product == std::string("vql") ? "dizoz" : c.product;
        const std::string reload = shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" + dialect +
                                   " --target=" + shellQuote(reloadDb_->target()) + " --login=" +
                                   shellQuote(reloadDb_->user()) + " --password=" +
                                   shellQuote(reloadDb_->password()) + " --create-schema " + shellQuote(arch) +
                                   " >" + shellQuote(dir_ + "/reload.out") + " 2>&1";
        ASSERT_EQ(std::system(("cd " + shellQuote(dir_) + " && " + reload).c_str()), 0)
            << readText(dir_ + "/reload.out");
        const Tables reloaded = read(reloadDb_->target(), *reloadDb_);
        expectReloadedFamily(projected(before, reloaded), reloaded, arch, c.product, false);
        EXPECT_GT(reloaded.at("RELEASES").rows.size(), 0u) << "the archive holds no release";
    } else {
        const Tables after = read(family_.env.at("PELO_DB"), *familyDb_);
        for (const auto& [table, keyColumns] : scriptTables)
            EXPECT_EQ(after.at(table).rows.size(), before.at(table).rows.size()) << table << " lost rows";
    }

    for (const fs::path& place : {fs::path(dir_), fs::path(device.dir()), fs::current_path()})
        EXPECT_EQ(canaries(place), std::vector<std::string>{}) << "a value ran as a command";
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileTest, ::testing::ValuesIn(hostileCases()), caseName);

}  // namespace
}  // namespace pelo
