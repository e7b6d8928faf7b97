// A restore undoes a removal.  The real binary archives a family as its
// login and removes what it archived; "--restore" then puts it back.  The
// family must end as it was before the archive: every table row for row,
// and every file of its home byte for byte.  A restore that meets rows or
// files the family holds otherwise names each and writes nothing; one that
// is stopped leaves the family as it found it; a dry run changes nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "archive/runRequest.h"
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

struct RestoreCase {
    const char* name;
    Backend backend;
    const char* vc;  ///< mkfamily's --vc
    bool level;      ///< the family's level request; else its release request
    bool hostile;
    bool device = false;  ///< onto a device through cpio; else into a directory
};

void PrintTo(const RestoreCase& c, std::ostream* out) { *out << c.name; }

using Files = std::map<std::string, std::string>;

class RestoreTest : public ::testing::TestWithParam<RestoreCase> {
protected:
    void SetUp() override {
        std::unique_ptr<ScratchDatabase> unused;
        if (const std::string why = openScratchPair(GetParam().backend, familyDb_, unused); !why.empty())
            GTEST_SKIP() << why;
        arch_ = familyDb_->dir().string() + "/arch";
        cluster_ = clusterVariables();
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }

    void buildFamily() {
        const RestoreCase& c = GetParam();
        // The demo family's release request takes whole histories; the
        // hostile family is the tiny one.
        const std::string options = std::string(c.hostile ? "--size=tiny --hostile" : "--size=demo") +
                                    " --db=oracle --vc=" + c.vc + familyTargetOptions(*familyDb_);
        family_ = testing::buildFamily(familyDb_->dir().string() + "/family", options);
        ASSERT_TRUE(family_.env.contains("PELO_DB")) << "no family.env";
    }

    /// The archive of the family's request into arch_ (or onto the
    /// device), removing what it archived.
    void archiveWithRemoval() {
        fs::create_directories(arch_);
        const std::string medium =
            GetParam().device ? "2\n" + device_.path() + "\n1\n1\n" : "1\n" + arch_ + "\n";
        const std::map<std::string, std::string>& r = family_.requests;
        const std::string request = GetParam().level
                                        ? "1\n" + r.at("levelArchive") + "\n" + r.at("levelArchiveRelease") + "\n"
                                        : "2\n" + r.at("releaseArchive") + "\n";
        const std::string output = runArchive(family_, "2\n" + request + "2\n2\n" + medium, cluster_);
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    }

    /// What a PVCS family's owner does with the list the removal leaves:
    /// removes each history it names.  The number removed.
    std::size_t removeListedHistories() const {
        std::ifstream list(family_.home + "/PELOarchive.PVCS_clean");
        std::size_t removed = 0;
        for (std::string line; std::getline(list, line);)
            if (line.starts_with(family_.home + "/vc/"))
                removed += fs::remove(line);
        return removed;
    }

    /// The real binary's restore of arch_ with the options; its output ends with "status=N".
    std::string restore(const std::string& options = "") const {
        return capture("cd " + shellQuote(familyDb_->dir().string()) + " && " + archiveCommand(family_, cluster_) +
                       " --restore " + shellQuote(archive()) + options + " </dev/null 2>&1; echo \"status=$?\"");
    }

    /// Every table, rows in order, so two reads compare row for row.
    Tables tables() const {
        Tables read = readTables(family_.env.at("PELO_DB"), *familyDb_);
        for (auto& [name, table] : read)
            std::ranges::sort(table.rows);
        return read;
    }

    /// The home's files but an SQLite family's database, whose pages a
    /// restore lays out anew: its rows are what tables() compares.
    Files home() const {
        Files files = readFiles(family_.home);
        const std::string& database = family_.env.at("PELO_DB");
        if (database.starts_with(family_.home + "/"))
            std::erase_if(files, [&](const auto& file) {
                return file.first.starts_with(database.substr(family_.home.size() + 1));
            });
        return files;
    }

    std::string archive() const { return GetParam().device ? device_.path() : arch_; }

    std::unique_ptr<ScratchDatabase> familyDb_;
    ShortDevice device_;
    std::map<std::string, std::string> cluster_;
    std::string arch_;
    BuiltFamily family_;
};

void expectSameTables(const Tables& expected, const Tables& found, const std::string& when) {
    for (const auto& [name, table] : expected) {
        const Rows& rows = found.at(name).rows;
        std::vector<const Texts*> missing, extra;
        for (const Texts& row : table.rows)
            if (!std::ranges::binary_search(rows, row))
                missing.push_back(&row);
        for (const Texts& row : rows)
            if (!std::ranges::binary_search(table.rows, row))
                extra.push_back(&row);
        EXPECT_EQ(rows.size(), table.rows.size()) << when << ": " << name;
        for (std::size_t i = 0; i < std::min<std::size_t>(3, missing.size()); ++i)
            ADD_FAILURE() << when << ": " << name << " lacks " << briefRow(*missing[i]);
        for (std::size_t i = 0; i < std::min<std::size_t>(3, extra.size()); ++i)
            ADD_FAILURE() << when << ": " << name << " holds " << briefRow(*extra[i]);
    }
}

void expectSameFiles(const Files& expected, const Files& found, const std::string& when) {
    for (const auto& [path, bytes] : expected) {
        const auto there = found.find(path);
        if (there == found.end())
            ADD_FAILURE() << when << ": the home lacks " << path;
        else
            EXPECT_TRUE(there->second == bytes) << when << ": " << path << " differs";
    }
    for (const auto& [path, bytes] : found)
        EXPECT_TRUE(expected.contains(path)) << when << ": the home holds " << path;
}

const RestoreCase restoreCases[] = {
    {"SQLite_Sccs_Release", Backend::sqlite, "sccs", false, false},
    {"PostgreSQL_Sccs_Level", Backend::postgres, "sccs", true, false},
    {"SQLite_Pvcs_Level", Backend::sqlite, "pvcs", true, false},
    {"PostgreSQL_Pvcs_Release", Backend::postgres, "pvcs", false, false},
    {"SQLite_Sccs_Release_Hostile", Backend::sqlite, "sccs", false, true},
    {"SQLite_Sccs_Release_Device", Backend::sqlite, "sccs", false, false, true},
};

TEST_P(RestoreTest, RestoreAfterRemovalGivesTheFamilyBack) {
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    const Tables before = tables();
    const Files homeBefore = home();
    ASSERT_NO_FATAL_FAILURE(archiveWithRemoval());
    if (GetParam().vc == std::string("pvcs") && !GetParam().level) {
        EXPECT_GT(removeListedHistories(), 0u) << "the removal listed no history";
    }
    ASSERT_NE(tables().at("LEVELS").rows, before.at("LEVELS").rows) << "the removal took no level";
    ASSERT_NE(home(), homeBefore) << "the removal took no file";

    const std::string output = restore();
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    EXPECT_NE(output.find("peloarchive --restore: " + archive() + ": "), std::string::npos) << output;
    expectSameTables(before, tables(), "after the restore");
    expectSameFiles(homeBefore, home(), "after the restore");
}

INSTANTIATE_TEST_SUITE_P(Kinds, RestoreTest, ::testing::ValuesIn(restoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The restores that must leave the family as they found it, one after
// another on the SCCS family's release archive after its removal.
class RestoreRefusalTest : public RestoreTest {
protected:
    void expectUnchanged(const std::string& when) const {
        expectSameTables(removed_, tables(), when);
        expectSameFiles(homeRemoved_, home(), when);
    }

    /// A history the removal took, by its place below the home.
    std::string removedHistory() const {
        for (const auto& entry : fs::recursive_directory_iterator(arch_ + "/vc"))
            if (entry.is_regular_file() && !fs::exists(family_.home + "/" + fs::relative(entry.path(), arch_).string()))
                return fs::relative(entry.path(), arch_).string();
        return {};
    }

    // A dry run names what it would put back and changes nothing.
    void dryRun() const {
        const std::string output = restore(" --dry-run");
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
        EXPECT_NE(output.find("The restore would put back:\n"), std::string::npos) << output;
        EXPECT_NE(output.find("  RELEASES: 1 rows, 0 set back\n"), std::string::npos) << output;
        EXPECT_NE(output.find("  level maps: "), std::string::npos) << output;
        EXPECT_NE(output.find("  version control files: "), std::string::npos) << output;
        EXPECT_NE(output.find("dry run, nothing was changed"), std::string::npos) << output;
        expectUnchanged("after the dry run");
    }

    // An archive that no longer verifies is refused before anything is
    // compared; the map is mended afterwards.
    void damagedArchive() const {
        const auto map = std::ranges::find_if(fs::recursive_directory_iterator(arch_ + "/maps"),
                                              fs::recursive_directory_iterator(),
                                              [](const fs::directory_entry& entry) { return entry.is_regular_file(); });
        ASSERT_NE(map, fs::recursive_directory_iterator()) << "the archive holds no level map";
        const std::string bytes = readText(map->path().string());
        std::ofstream(map->path(), std::ios::app) << "damage";
        const std::string output = restore();
        std::ofstream(map->path(), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_TRUE(output.ends_with("status=4\n")) << output;
        EXPECT_NE(output.find("0012-031"), std::string::npos) << output;
        EXPECT_EQ(output.find("Comparing the archive"), std::string::npos) << output;
        expectUnchanged("after the damaged archive");
    }

    // A map directory that leads out of the home is never written through.
    void placeOutsideTheHome() const {
        const std::string outside = familyDb_->dir().string() + "/outside";
        fs::create_directories(outside);
        const std::string link = family_.home + "/maps/" + family_.requests.at("releaseArchive");
        ASSERT_FALSE(fs::exists(link)) << "the removal kept the release's maps";
        fs::create_directory_symlink(outside, link);
        const std::string output = restore();
        fs::remove(link);
        EXPECT_TRUE(output.ends_with("status=1\n")) << output;
        EXPECT_NE(output.find("0012-043"), std::string::npos) << output;
        EXPECT_TRUE(fs::is_empty(outside)) << "a file was written outside the home";
        expectUnchanged("after the refused place");
    }

    // Stopped by SIGTERM while it waits to write its first row, after the
    // files are back: the files go again and no row is written.
    void stoppedWhilePuttingBackRows() {
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        // Held until the run has ended: its first insert waits on it.
        ASSERT_EQ(sqlExecuteScript("LOCK TABLE RELEASES IN SHARE MODE;"), 0) << sqlca.sqlerrm;
        // timeout passes the signal on, and ends a run that never comes to
        // its line, which would otherwise wait on the lock for ever.
        const std::string command = "echo $$; exec timeout -k 5 60 " + archiveCommand(family_, cluster_) +
                                    " --restore " + shellQuote(arch_) + " </dev/null 2>&1";
        FILE* stream = popen(command.c_str(), "r");
        ASSERT_NE(stream, nullptr);
        char line[4096];
        ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
        const pid_t pid = std::atoi(line);
        std::string output;
        bool signalled = false;
        while (std::fgets(line, sizeof line, stream) != nullptr) {
            output += line;
            if (!signalled && std::string(line) == "Putting back the rows.\n") {
                EXPECT_NE(home(), homeRemoved_) << "no file was put back before the rows";
                signalled = kill(pid, SIGTERM) == 0;
            }
        }
        const int status = pclose(stream);
        sqlRollbackRelease();
        EXPECT_TRUE(signalled) << output;
        EXPECT_EQ(WEXITSTATUS(status), 1) << output;
        expectUnchanged("after the stopped restore");
    }

    // A level the family made after the removal under an archived level's
    // ID, a release under an archived release's name, and a history put
    // back by hand with other bytes: each is named and nothing is put back.
    void conflicts() {
        const std::string history = removedHistory();
        ASSERT_FALSE(history.empty()) << "the removal took no history";
        std::ofstream(family_.home + "/" + history) << "put back by hand\n";
        const Tables copy = readTablesAt(arch_ + "/PELOarchive.rows.db", "", "");
        const std::string levelId = copy.at("LEVELS").rows.at(0).at(0);
        const std::string releaseName = copy.at("RELEASES").rows.at(0).at(1);
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript("INSERT INTO LEVELS (ID, NAME, RELEASEID) VALUES (" + levelId + ", 'later', 0); " +
                                   "INSERT INTO RELEASES (ID, NAME) VALUES (999999, '" + releaseName + "');"),
                  0)
            << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
        removed_ = tables();
        homeRemoved_ = home();
        const std::string output = restore();
        EXPECT_TRUE(output.ends_with("status=3\n")) << output;
        EXPECT_NE(output.find("conflict: LEVELS ID=" + levelId + ": "), std::string::npos) << output;
        EXPECT_NE(output.find("conflict: RELEASES NAME=" + releaseName + ": "), std::string::npos) << output;
        EXPECT_NE(output.find("conflict: " + family_.home + "/" + history + ": "), std::string::npos) << output;
        EXPECT_NE(output.find("0012-035"), std::string::npos) << output;
        expectUnchanged("after the refused restore");
    }

    Tables removed_;
    Files homeRemoved_;
};

// One archive serves every refusal; the conflicts, which change the
// family, come last.
TEST_P(RestoreRefusalTest, EachRefusalLeavesTheFamilyAsItWas) {
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    ASSERT_NO_FATAL_FAILURE(archiveWithRemoval());
    removed_ = tables();
    homeRemoved_ = home();
    ASSERT_NO_FATAL_FAILURE(dryRun());
    ASSERT_NO_FATAL_FAILURE(damagedArchive());
    ASSERT_NO_FATAL_FAILURE(placeOutsideTheHome());
    ASSERT_NO_FATAL_FAILURE(stoppedWhilePuttingBackRows());
    conflicts();
}

// The lock that holds the restore is PostgreSQL's.
const RestoreCase refusalCases[] = {
    {"PostgreSQL_Sccs_Release", Backend::postgres, "sccs", false, false},
};

INSTANTIATE_TEST_SUITE_P(Removed, RestoreRefusalTest, ::testing::ValuesIn(refusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --restore takes its archive, and with it --dry-run and -F alone.
struct RestoreLine {
    const char* name;
    std::vector<const char*> args;
    int message;  ///< the usage error's, 0 for a restore
};

TEST(RestoreRequestTest, CommandLines) {
    const RestoreLine lines[] = {
        {"Alone", {"--restore", "/a"}, 0},
        {"DryRunAndForce", {"--dry-run", "-F", "--restore", "/a"}, 0},
        {"DryRunWithoutArchive", {"--dry-run"}, 1708},
        {"EmptyPath", {"--restore="}, 1718},
        {"Twice", {"--restore", "/a", "--restore", "/b"}, 1719},
        {"WithAnArchiveRun", {"--restore", "/a", "--releases", "r1"}, 1719},
        {"WithSummary", {"--json", "/s", "--restore", "/a"}, 1719},
    };
    for (const RestoreLine& line : lines) {
        std::vector<const char*> argv{"peloarchive"};
        argv.insert(argv.end(), line.args.begin(), line.args.end());
        const RunRequest request = parseRunRequest(static_cast<int>(argv.size()), argv.data());
        if (line.message != 0) {
            EXPECT_EQ(request.action, RequestAction::usageError) << line.name;
            EXPECT_EQ(request.usageError ? request.usageError->message : 0, line.message) << line.name;
            continue;
        }
        EXPECT_EQ(request.action, RequestAction::restore) << line.name;
        EXPECT_EQ(request.restorePath, "/a") << line.name;
        EXPECT_EQ(request.dryRun, std::string(line.name) == "DryRunAndForce") << line.name;
        EXPECT_EQ(request.force, request.dryRun) << line.name;
    }
}

}  // namespace
}  // namespace pelo
