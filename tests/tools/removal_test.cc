// Removal loses nothing, whole or stopped, and a restore undoes it.  The
// real binary archives a family as its login and removes what it
// archived; "--restore", which reads the archive alone, must then give the
// family back as it was: every table row for row, every file of its home
// byte for byte, the values the script cannot carry too.  No file row left
// names a path or an SCCS history that went.  A removal stopped (by a
// signal, SIGKILL or a failure inside it) leaves the family as it was and
// the archive directory empty before it starts, and an archive that
// restores the family once it has.  A restore that meets rows or files the
// family holds otherwise names each and writes nothing; one that is
// stopped leaves the family as it found it; a dry run changes nothing.
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
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
#include "vc/location.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using namespace pelo::testing;

enum class Hit { none, term, kill };

/// What stops the removal: a blow when a progress line appears, a trigger
/// that refuses a table's deletes, a reader that holds the database so that
/// a commit is refused, or a file size limit (a full disk, without root).
enum class Fault { none, trigger, busy, fullDisk };

struct RemovalCase {
    const char* name;
    Backend backend = Backend::sqlite;
    const char* vc = "sccs";  ///< mkfamily's --vc
    bool level = false;       ///< the family's level request; else its release request
    /// The tiny family's first release shares every path and history with
    /// the second; the demo family's has some of its own to remove.
    const char* size = "tiny";
    bool hostile = false;
    bool device = false;  ///< onto a device through cpio; else into a directory
    /// Defects with fields the script cannot carry, and after the removal
    /// every refusal of the restore.
    bool refusals = false;
    Hit hit = Hit::none;
    const char* line = "";  ///< the output line the hit waits for
    Fault fault = Fault::none;
    const char* table = "";  ///< whose deletes the trigger refuses
};

void PrintTo(const RemovalCase& c, std::ostream* out) { *out << c.name; }

using Files = std::map<std::string, std::string>;

// Every pair of backend (the deletes and their commits), history kind (what
// goes from vc/) and request (which steps run) at least once.
const RemovalCase removalCases[] = {
    {.name = "PostgreSQL_Sccs_Level", .backend = Backend::postgres, .level = true, .size = "demo"},
    {.name = "SQLite_Pvcs_Level", .vc = "pvcs", .level = true, .size = "demo"},
    {.name = "PostgreSQL_Pvcs_Release", .backend = Backend::postgres, .vc = "pvcs", .size = "demo"},
    {.name = "SQLite_Sccs_Release_Hostile", .hostile = true},
    {.name = "SQLite_Sccs_Release_Device", .size = "demo", .device = true},
    // The lock that holds the stopped restore is PostgreSQL's.
    {.name = "PostgreSQL_Sccs_Release_Refusals", .backend = Backend::postgres, .size = "demo", .refusals = true},
};

const std::string removalStarts = "Removing the archived objects.";
const std::string restoreWarning = "0010-949 The peloarchive program failed to delete the objects from the";
const std::string archiveKept = "0012-001 The archive in ";
// The run writes nothing to the database before removal, so the reader's
// hold can start with the populate file, well before the first commit.
const std::string populateStarts = "Generating the database populate file.";

// The progress line of each removal step.
constexpr const char* paths = "  Removing PELO Paths.";
constexpr const char* files = "  Removing PELO Files and Versions...this may take some time.";
constexpr const char* levels = "  Removing PELO Levels and their associated objects.";
constexpr const char* defects = "  Removing PELO Defects and their associated objects.";

// One blow before removal, and one in a step of each commit point: the
// paths wait for the next step's commit, the files, levels, releases and
// tracks commit at their step's end, the defects in batches.
const RemovalCase crashCases[] = {
    {.name = "TermHistories", .hit = Hit::term, .line = "Archiving the PELO family's version control files."},
    {.name = "FullDisk", .fault = Fault::fullDisk},
    {.name = "TermPaths", .hit = Hit::term, .line = paths},
    {.name = "TermFiles", .size = "demo", .hit = Hit::term, .line = files},
    {.name = "TermLevels", .hit = Hit::term, .line = levels},
    {.name = "TermDefects", .hit = Hit::term, .line = defects},
    // A kill has no clean-up: between a step's commit and its files, and
    // inside the batches.
    {.name = "KillFiles", .size = "demo", .hit = Hit::kill, .line = files},
    {.name = "KillDefects", .hit = Hit::kill, .line = defects},
    {.name = "VersionsRefused", .size = "demo", .fault = Fault::trigger, .table = "VERSIONS"},
    {.name = "DefectsRefused", .fault = Fault::trigger, .table = "DEFECTS"},
    {.name = "DatabaseBusy", .fault = Fault::busy},
};

/// The file type code of a FILES row's TYPE under SCCS.
int sccsType(const std::string& kind) {
    return kind == "text" ? 0 : kind == "long" ? 5 : kind == "special" ? 6 : kind == "longSp" ? 7 : 1;
}

/// Runs a shell command, calling onLine with each line of its output
/// (without its newline) and the command's pid; the output and the exit
/// status, 128 + the signal for a run a signal ended.
std::pair<std::string, int> watch(const std::string& command,
                                  const std::function<void(const std::string&, pid_t)>& onLine) {
    FILE* stream = popen(("echo $$; " + command).c_str(), "r");
    if (stream == nullptr)
        return {"cannot start " + command, -1};
    char buffer[4096];
    const pid_t pid = std::fgets(buffer, sizeof buffer, stream) != nullptr ? std::atoi(buffer) : 0;
    std::string output;
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
        output += buffer;
        onLine(std::string(buffer, std::strcspn(buffer, "\n")), pid);
    }
    const int status = pclose(stream);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

void expectSameTables(const Tables& expected, const Tables& found, const std::string& when) {
    for (const auto& [name, table] : expected) {
        const Rows& rows = found.at(name).rows;
        EXPECT_EQ(rows.size(), table.rows.size()) << when << ": " << name;
        // Both sides are sorted; the first three rows only one side holds are named.
        const auto report = [&, &name = name](const Rows& from, const Rows& in, const char* what) {
            Rows only;
            std::ranges::set_difference(from, in, std::back_inserter(only));
            for (std::size_t i = 0; i < std::min<std::size_t>(3, only.size()); ++i)
                ADD_FAILURE() << when << ": " << name << what << briefRow(only[i]);
        };
        report(table.rows, rows, " lacks ");
        report(rows, table.rows, " holds ");
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

/// How many of the files below a folder of the home went.
std::size_t filesGone(const Files& before, const Files& after, const std::string& folder) {
    return std::ranges::count_if(before, [&](const auto& file) {
        return file.first.starts_with(folder + "/") && !after.contains(file.first);
    });
}

class RemovalTest : public ScratchPairTest<RemovalCase> {
protected:
    /// The case's family: on SQLite in its default database, on PostgreSQL
    /// in the scratch database as the cluster's login, which is then the family's.
    void SetUp() override {
        ScratchPairTest::SetUp();
        if (IsSkipped())
            return;
        const RemovalCase& c = GetParam();
        arch_ = familyDb_->dir().string() + "/arch";
        cluster_ = clusterVariables();
        family_ = buildFamily(familyDb_->dir().string() + "/family",
                              std::string("--size=") + c.size + (c.hostile ? " --hostile" : "") +
                                  " --db=oracle --vc=" + c.vc + familyTargetOptions(*familyDb_));
        ASSERT_TRUE(family_.env.contains("PELO_DB") && family_.env.contains("PELO_VCBIN")) << "no family.env";
        fs::create_directories(arch_);
    }

    void TearDown() override {
        ScratchPairTest::TearDown();
        dropSemaphore();
    }

    /// A killed run leaves its archive semaphore behind.
    void dropSemaphore() const {
        if (const int id = semget(ftok(family_.home.c_str(), 109), 1, 0); id >= 0)
            semctl(id, 0, IPC_RMID);
    }

    /// Runs the archive of the case's request with removal into arch_ (or
    /// onto the device), under a shell prefix, hitting it when the case's
    /// line appears and taking the reader's hold from the populate file
    /// on; the output and status.
    std::pair<std::string, int> run(const std::string& prefix = "") {
        const RemovalCase& c = GetParam();
        const std::map<std::string, std::string>& r = family_.requests;
        const std::string request = c.level ? "1\n" + r.at("levelArchive") + "\n" + r.at("levelArchiveRelease") + "\n"
                                            : "2\n" + r.at("releaseArchive") + "\n";
        const std::string medium = c.device ? "2\n" + device_.path() + "\n1\n1\n" : "1\n" + arch_ + "\n";
        std::ofstream(arch_ + ".answers") << "2\n" + request + "2\n2\n" + medium;
        const std::string command = prefix + "exec " + archiveCommand(family_, cluster_) + " <" +
                                    shellQuote(arch_ + ".answers") + " 2>&1";
        // A second session that reads the family and keeps its transaction
        // open, so that the run's next commit is refused as busy.
        std::unique_ptr<FILE, int (*)(FILE*)> reader(nullptr, pclose);
        bool hit = false;
        const auto ran = watch(command, [&](const std::string& line, pid_t pid) {
            if (c.hit != Hit::none && !hit && line == c.line)
                hit = kill(pid, c.hit == Hit::kill ? SIGKILL : SIGTERM) == 0;
            if (c.fault == Fault::busy && !reader && line == populateStarts) {
                const std::string sqlite = "exec sqlite3 " + shellQuote(family_.env.at("PELO_DB")) + " >/dev/null 2>&1";
                reader.reset(popen(sqlite.c_str(), "w"));
                ASSERT_NE(reader, nullptr);
                std::fputs("BEGIN; SELECT COUNT(*) FROM TRACKS;\n", reader.get());
                std::fflush(reader.get());
            }
        });
        EXPECT_TRUE(c.hit == Hit::none || hit) << "the run never printed " << c.line << "\n" << ran.first;
        return ran;
    }

    /// The real binary's restore of the archive with the options; its output ends with "status=N".
    std::string restore(const std::string& options = "") const {
        return capture("cd " + shellQuote(familyDb_->dir().string()) + " && " + archiveCommand(family_, cluster_) +
                       " --restore " + shellQuote(archive()) + options + " </dev/null 2>&1; echo \"status=$?\"");
    }

    /// Restores the archive: the family must be as it was.
    void expectRestored(const Tables& before, const Files& homeBefore) const {
        const std::string output = restore();
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
        EXPECT_NE(output.find("peloarchive --restore: " + archive() + ": "), std::string::npos) << output;
        expectSameTables(before, tables(), "after the restore");
        expectSameFiles(homeBefore, home(), "after the restore");
    }

    Tables tables() const { return readTables(family_.env.at("PELO_DB"), *familyDb_); }

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

    /// No file row left names a path that went, unless it is dropped, nor,
    /// under SCCS, a history that went.
    void expectNamedObjectsKept(const Tables& before, const Tables& after) const {
        const TableRows& files = after.at("FILES");
        std::set<std::string> pathsAfter;
        for (const Texts& row : after.at("PATH").rows)
            pathsAfter.insert(row[0]);
        const std::size_t source = files.at("SOURCEID"), type = files.at("TYPE"), pathId = files.at("PATHID");
        for (const Texts& row : files.rows) {
            const bool live = row[files.at("DROPDATE")].empty() && row[files.at("NUDROPDATE")].empty();
            const bool pathWent = std::ranges::any_of(before.at("PATH").rows, [&](const Texts& path) {
                return path[0] == row[pathId] && !pathsAfter.contains(path[0]);
            });
            EXPECT_FALSE(live && pathWent) << "path " << row[pathId] << " went";
            const std::string history =
                family_.home + "/vc/" + vcLocation(std::stoi(row.at(source)), sccsType(row.at(type)));
            EXPECT_TRUE(GetParam().vc != std::string("sccs") || fs::exists(history))
                << "a file row names " << history << ", which is gone";
        }
    }

    std::string archive() const { return GetParam().device ? device_.path() : arch_; }

    std::string arch_;
    ShortDevice device_;
    std::map<std::string, std::string> cluster_;
    BuiltFamily family_;
};

// Values a release archive must keep in its row copy, since its script
// cannot carry them: those of a switched-off field (RETIRED) and of the
// 21st configured field, and free text with the characters the script blanks.
class RemoveAndRestoreTest : public RemovalTest {
protected:
    void addUnscriptedValues() const {
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        std::string script, fields;
        for (int k = 1; k <= 21; ++k) {
            const std::string name = "XF" + std::to_string(k);
            script += "ALTER TABLE DEFECTS ADD COLUMN " + name + " VARCHAR(40);";
            fields += "yes|" + name + "|" + name + "|" + name + "|" + name + "|no|no|text\n";
        }
        script += "ALTER TABLE DEFECTS ADD COLUMN RETIRED VARCHAR(40);";
        script += "SELECT PELO_CREATE_REPORT_VIEWS();";  // the views carry every column only when made again
        script += "UPDATE DEFECTS SET XF21 = 'twenty-first ' || ID, RETIRED = 'retired ' || ID,"
                  " ABSTRACT = 'it''s `quoted` & semi;colon ' || ID;"
                  "UPDATE RELEASES SET DESCRIPTION = 'rel''s `one`; & only' WHERE NAME = 'rel1';";
        ASSERT_EQ(sqlExecuteScript(script), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
        sqlRollbackRelease();
        for (const char* table : {"/configField/DefectConfigTbl", "/configField/FeatureConfigTbl"})
            std::ofstream(family_.home + table, std::ios::app)
                << fields << "no|RETIRED|retired|Retired|Ret|no|no|text\n";
    }

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
        const std::string command = "exec timeout -k 5 60 " + archiveCommand(family_, cluster_) + " --restore " +
                                    shellQuote(arch_) + " </dev/null 2>&1";
        bool signalled = false;
        const auto [output, status] = watch(command, [&](const std::string& line, pid_t pid) {
            if (!signalled && line == "Putting back the rows.") {
                EXPECT_NE(home(), homeRemoved_) << "no file was put back before the rows";
                signalled = kill(pid, SIGTERM) == 0;
            }
        });
        sqlRollbackRelease();
        EXPECT_TRUE(signalled) << output;
        EXPECT_EQ(status, 1) << output;
        expectUnchanged("after the stopped restore");
    }

    // A level the family made after the removal under an archived level's
    // ID, a release under an archived release's name, and a history put
    // back by hand with other bytes: each is named and nothing is put
    // back.  The family's changes are undone afterwards.
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
        fs::remove(family_.home + "/" + history);
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        const std::string undo = "DELETE FROM LEVELS WHERE ID=" + levelId + "; DELETE FROM RELEASES WHERE ID=999999;";
        ASSERT_EQ(sqlExecuteScript(undo), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }

    Tables removed_;
    Files homeRemoved_;
};

// One archive serves the removal's checks, the restore's refusals (the
// conflicts, which change the family, last) and the restore itself.
TEST_P(RemoveAndRestoreTest, TheFamilyComesBack) {
    const RemovalCase& c = GetParam();
    if (c.refusals) {
        ASSERT_NO_FATAL_FAILURE(addUnscriptedValues());
    }
    const Tables before = tables();
    const Files homeBefore = home();
    const auto [output, status] = run();
    ASSERT_EQ(status, 0) << output;
    removed_ = tables();
    homeRemoved_ = home();
    EXPECT_NE(removed_.at("LEVELS").rows, before.at("LEVELS").rows) << "the removal took no level";
    EXPECT_GT(filesGone(homeBefore, homeRemoved_, "maps"), 0u) << "the removal took no level map";
    if (!c.level && c.vc == std::string("sccs") && c.size == std::string("demo")) {
        EXPECT_GT(filesGone(homeBefore, homeRemoved_, "vc"), 0u) << "the release archive removed no history";
    }
    expectNamedObjectsKept(before, removed_);
    // Under PVCS the histories of a release archive are listed for their owner to remove.
    EXPECT_EQ(removeListedHistories() > 0, !c.level && c.vc == std::string("pvcs"));
    homeRemoved_ = home();
    if (c.refusals) {
        EXPECT_LT(removed_.at("DEFECTS").rows.size(), before.at("DEFECTS").rows.size()) << "no defect went";
        const std::string written = readText(arch_ + "/PELOarchive.dbData");
        for (const char* value : {"twenty-first", "retired ", "semi;colon", "`one`"})
            EXPECT_EQ(written.find(value), std::string::npos) << "the script carries " << value;
        ASSERT_NO_FATAL_FAILURE(dryRun());
        ASSERT_NO_FATAL_FAILURE(damagedArchive());
        ASSERT_NO_FATAL_FAILURE(placeOutsideTheHome());
        ASSERT_NO_FATAL_FAILURE(stoppedWhilePuttingBackRows());
        ASSERT_NO_FATAL_FAILURE(conflicts());
    }
    expectRestored(before, homeBefore);
}

INSTANTIATE_TEST_SUITE_P(Removal, RemoveAndRestoreTest, ::testing::ValuesIn(removalCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

using CrashSafetyTest = RemovalTest;

TEST_P(CrashSafetyTest, NothingLeavesTheFamilyThatTheArchiveDoesNotHold) {
    const RemovalCase& c = GetParam();
    if (c.fault == Fault::trigger) {
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        const std::string trigger = std::string("CREATE TRIGGER REFUSE BEFORE DELETE ON ") + c.table +
                                    " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        ASSERT_EQ(sqlExecuteScript(trigger), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }
    const Tables before = tables();
    const Files homeBefore = home();

    const auto [output, status] = run(c.fault == Fault::fullDisk ? "trap '' XFSZ; ulimit -f 8; " : "");
    EXPECT_EQ(status, c.hit == Hit::kill ? 128 + SIGKILL : 1) << output;

    if (output.find("\n" + removalStarts + "\n") == std::string::npos) {
        EXPECT_TRUE(fs::is_empty(arch_)) << "the clean-up left files in the archive directory\n" << output;
        expectSameTables(before, tables(), "before removal started");
        expectSameFiles(homeBefore, home(), "before removal started");
        if (c.fault == Fault::fullDisk) {
            EXPECT_NE(output.find("0010-982 The peloarchive program cannot continue.  It cannot write"), std::string::npos)
                << output;
        }
        return;
    }
    if (c.hit != Hit::kill) {
        EXPECT_NE(output.find(restoreWarning), std::string::npos) << output;
        EXPECT_NE(output.find(archiveKept + arch_ + " holds every object"), std::string::npos) << output;
    }
    expectNamedObjectsKept(before, tables());
    dropSemaphore();
    expectRestored(before, homeBefore);
}

INSTANTIATE_TEST_SUITE_P(Stops, CrashSafetyTest, ::testing::ValuesIn(crashCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
