// The hostile family (mkfamily --hostile), whose names and texts hold
// quotes, command substitutions, back quotes, backslashes, semicolons, lines
// "!" and "go", non-ASCII text and new-lines, archived for each database
// product, version-control kind and backend (its check-only runs and the
// script's text are the differential test's): a device archive of its level
// request with removal; a device archive of its release request, which
// stops before anything is removed at a level with a new-line in its name;
// a file-system archive of the release request with removal.  Each script
// reloads into an empty schema to the family's rows as they were, each
// archive passes --verify (the device's until it is cut short), and no
// value ever reaches a shell, which would leave a file CANARY behind.  On
// PostgreSQL, which counts a column's width in characters, a defect abstract
// of 128 two-byte characters and a note of 20 000 of them fit their columns
// while holding more bytes than the widths say, and come back byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
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

// cpio reads one name a line: a level map named with a new-line cannot be
// listed, and the archive stops before it writes the medium.
const char* const newLineName = "0011-040";

struct HostileCase {
    const char* name;
    Backend backend;
    const char* product;  ///< mkfamily's --db
    const char* vc;       ///< mkfamily's --vc
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

/// Every product (the script's text) once, every backend with every
/// history kind once: each meets the hostile family alike, and only the
/// release's device archive stops, at the level with a new-line.  The
/// multibyte texts are on Informix, which writes the notes of the archived
/// defects itself, into its load file, and on VQL, whose tool exports them.
const HostileCase hostileCases[] = {
    {"SQLite_Oracle_Sccs", Backend::sqlite, "oracle", "sccs"},
    {"SQLite_Sybase_Pvcs", Backend::sqlite, "sybase", "pvcs"},
    {"PostgreSQL_Informix_Pvcs", Backend::postgres, "informix", "pvcs"},
    {"PostgreSQL_Vql_Sccs", Backend::postgres, "vql", "sccs"},
};

const std::string twoByte = "\xc3\xa9";  // é
const std::string longRemark = [] {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += twoByte;
    return text;
}();
const std::string fullAbstract = longRemark.substr(0, 128 * twoByte.size());

bool holds(const TableRows& table, const std::string& text) {
    return std::ranges::any_of(table.rows, [&](const Texts& row) { return std::ranges::count(row, text) > 0; });
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
    /// The tiny hostile family, and the requests its family.txt names.
    void buildFamily() {
        const HostileCase& c = GetParam();
        const std::string options = std::string("--size=tiny --hostile --db=") + c.product + " --vc=" + c.vc +
                                    familyTargetOptions(*familyDb_);
        family_ = testing::buildFamily(dir() + "/family", options);
        ASSERT_TRUE(family_.env.contains("PELO_DB")) << "no family.env";
        ASSERT_NE(family_.requests["releaseArchive"], "rel1") << "the family is not the hostile one";
    }

    /// Gives one defect of the archived release the full abstract and one
    /// of its notes the long remark (PostgreSQL: rows named by their ctid).
    void storeMultibyteTexts() {
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        const std::string archivedNote =
            "SELECT n.ctid FROM NOTES n JOIN TRACKS t ON t.DEFECTID = n.DEFECTID"
            " JOIN RELEASES r ON r.ID = t.RELEASEID WHERE r.NAME = :b1 LIMIT 1";
        ASSERT_EQ(sqlExecute("UPDATE NOTES SET REMARKS = :b2 WHERE ctid = (" + archivedNote + ")",
                             {{1, family_.requests.at("releaseArchive")}, {2, longRemark}}),
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

    /// The real binary as the family's login, started in the scratch
    /// directory, where a value that reached a shell would leave its CANARY.
    /// It must end with "Archive complete.", or stop with status 1 and
    /// stopsWith in its output; true when the run completed.
    bool run(const char* what, const std::string& answers, const char* stopsWith = nullptr) const {
        const std::string output =
            testing::runArchive(family_, answers, clusterVariables(), "cd " + shellQuote(dir()) + " &&");
        if (stopsWith == nullptr) {
            EXPECT_TRUE(output.ends_with("status=0\n")) << what << "\n" << output;
            EXPECT_NE(output.find("Archive complete."), std::string::npos) << what << "\n" << output;
            return true;
        }
        EXPECT_TRUE(output.ends_with("status=1\n")) << what << "\n" << output;
        EXPECT_NE(output.find(stopsWith), std::string::npos) << what << "\n" << output;
        return false;
    }

    Tables read(const ScratchDatabase& db) const {
        const std::string target = &db == familyDb_.get() ? family_.env.at("PELO_DB") : db.target();
        return readTablesAt(target, db.user(), db.password());
    }

    /// Reloads the archive in `arch` into db: it must give back the family
    /// as it was before the run, with the hostile values.  The reloaded tables.
    Tables expectReloaded(const std::string& arch, const ScratchDatabase& db, const Tables& before, bool level) const {
        const std::string reload = reloadArchive(arch, GetParam().product, db);
        EXPECT_TRUE(reload.ends_with("status=0\n")) << reload;
        const Tables reloaded = read(db);
        expectReloadedFamily(before, reloaded, arch, GetParam().product, level);
        EXPECT_GT(reloaded.at("CHANGES").rows.size(), 0u) << arch << " holds no change";
        const auto hostile = [](const Texts& row) {
            return std::ranges::any_of(row, [](const std::string& value) { return value.find("$(touch CANARY)") != std::string::npos; });
        };
        for (const char* table : {"PATH", "DEFECTS", "USERS"})
            EXPECT_TRUE(std::ranges::any_of(reloaded.at(table).rows, hostile)) << arch << ": " << table;
        return reloaded;
    }

    /// --verify of the archive in path, which leaves its scratch directory
    /// empty; the output.
    std::string verify(const std::string& path) const {
        const std::string tmp = dir() + "/tmp";
        fs::create_directories(tmp);
        const std::string output = verifyArchive(family_.env.at("PELO_VCBIN"), path, tmp);
        EXPECT_TRUE(fs::is_empty(tmp)) << "the scratch directory was left";
        return output;
    }

    void expectVerified(const std::string& path) const {
        const std::string output = verify(path);
        EXPECT_NE(output.find("peloarchive --verify: " + path + ": verified, "), std::string::npos) << output;
        EXPECT_TRUE(output.ends_with(" files\nstatus=0\n")) << output;
    }

    std::string dir() const { return familyDb_->dir().string(); }

    BuiltFamily family_;
};

TEST_P(HostileTest, EveryRunCompletesOrStopsAndNothingRuns) {
    const HostileCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    if (c.backend == Backend::postgres) {
        ASSERT_NO_FATAL_FAILURE(storeMultibyteTexts());
    }

    // The device archive: the level request with removal, the family home
    // as the working directory.  What cpio wrote must unpack to the level
    // maps the family held before, which the removal then took away, and
    // to a script that reloads to the family's rows.
    const Tables levelBefore = read(*familyDb_);
    const auto mapsBefore = readFiles(family_.home + "/maps");
    const ShortDevice device;
    ASSERT_FALSE(device.dir().empty()) << "no short scratch directory for the device";
    const std::string levelRequest =
        "1\n" + family_.requests.at("levelArchive") + "\n" + family_.requests.at("levelArchiveRelease") + "\n";
    if (run("device archive of the level with removal", "2\n" + levelRequest + "2\n2\n2\n" + device.path() + "\n1\n1\n")) {
        const std::string unpacked = dir() + "/unpacked";
        fs::create_directories(unpacked);
        ASSERT_EQ(std::system(("cd " + shellQuote(unpacked) + " && cpio -idm --quiet <" + shellQuote(device.path()) +
                               " 2>/dev/null").c_str()), 0);
        const std::string level =
            family_.requests.at("levelArchiveRelease") + "/" + family_.requests.at("levelArchive");
        EXPECT_TRUE(fs::exists(unpacked + "/maps/" + level)) << "the requested level's map is not on the medium";
        EXPECT_GE(expectRemovedMapsArchived(mapsBefore, readFiles(family_.home + "/maps"), readFiles(unpacked + "/maps")),
                  2u)
            << "the level request archives and removes two levels";
        const ScratchDatabase levelDb(c.backend);
        expectReloaded(unpacked, levelDb, levelBefore, true);
        expectVerified(device.path());
        fs::resize_file(device.path(), fs::file_size(device.path()) / 2);
        const std::string cut = verify(device.path());
        EXPECT_TRUE(cut.ends_with("status=1\n")) << cut;
        EXPECT_NE(cut.find("peloarchive --verify: " + device.path() + ": "), std::string::npos) << cut;
        EXPECT_EQ(cut.find("verified"), std::string::npos) << cut;
    }
    fs::remove(device.path());
    const std::string releaseRequest = "2\n" + family_.requests.at("releaseArchive") + "\n";
    const Tables before = read(*familyDb_);
    if (!run("device archive of the release", "2\n" + releaseRequest + "1\n2\n" + device.path() + "\n1\n1\n",
             newLineName)) {
        EXPECT_FALSE(fs::exists(device.path())) << "the medium was written";
        const Tables after = read(*familyDb_);
        for (const auto& [table, keyColumns] : scriptTables)
            EXPECT_EQ(after.at(table).rows.size(), before.at(table).rows.size()) << table << " lost rows";
    }

    // The file-system archive of the release request, removing what it
    // archived; its script reloads to the family's rows as they were.
    const std::string arch = dir() + "/arch";
    fs::create_directories(arch);
    const std::string answers = "2\n" + releaseRequest + "2\n2\n1\n" + arch + "\n";
    if (run("file-system archive with removal", answers)) {
        const Tables reloaded = expectReloaded(arch, *reloadDb_, before, false);
        expectVerified(arch);
        EXPECT_NE(readText(arch + "/PELOarchive.manifest").find("\n# keeps "), std::string::npos) << "no history trimmed";
        EXPECT_GT(reloaded.at("RELEASES").rows.size(), 0u) << "the archive holds no release";
        if (c.backend == Backend::postgres) {
            ASSERT_TRUE(holds(before.at("NOTES"), longRemark)) << "the family holds the long remark";
            EXPECT_TRUE(holds(reloaded.at("NOTES"), longRemark)) << "the long remark came back whole";
            EXPECT_TRUE(holds(reloaded.at("DEFECTS"), fullAbstract)) << "the abstract of 128 characters came back whole";
        }
    }

    for (const fs::path& place : {fs::path(dir()), fs::path(device.dir()), fs::current_path()})
        EXPECT_EQ(canaries(place), std::vector<std::string>{}) << "a value ran as a command";
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileTest, ::testing::ValuesIn(hostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
