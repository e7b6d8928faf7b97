// Removal loses nothing, whole or stopped.  The real binary archives a
// family as its login and removes what it archived; reload runs the
// archive's script into an empty schema.  Every row that went from the
// family must then be in the reloaded database with its values, every
// delta that went from a history in the archive's copy of it, and every
// level map that went in the archive byte for byte; and no row is left
// naming a history that is gone.  Informix archives only the archived Notes
// and Versions rows, Oracle's export tool the whole tables: each backend
// sees both.  A removal that completes leaves every row that went in the
// archive's row copy exactly as the family held it, where the script must
// change it: configured fields switched off or past the twentieth, and free
// text with ' ` & and ;.  A release archive with removal stopped at a step,
// by a termination signal, by SIGKILL or by a failure inside the removal,
// leaves the family as it was and the archive directory empty before the
// removal starts, and its archive whole once it has.
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/familyTables.h"
#include "tools/removedObjects.h"
#include "tools/scratchFamily.h"
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
    const char* vc = "sccs";         ///< mkfamily's --vc
    bool level = false;              ///< a level archive of rel2 up to r2lvl02; else a release archive of rel1
    const char* product = "oracle";  ///< mkfamily's --db
    /// The tiny family's first release shares every path and history with
    /// the second; the demo family's has some of its own to remove.
    const char* size = "tiny";
    Hit hit = Hit::none;
    const char* line = "";  ///< the output line the hit waits for
    Fault fault = Fault::none;
    const char* table = "";  ///< whose deletes the trigger refuses
};

void PrintTo(const RemovalCase& c, std::ostream* out) { *out << c.name; }

// Every pair of backend (the deletes and their commits), history kind (what
// goes from vc/) and request (which steps run) once; the product only
// changes how the removed rows read back.
const RemovalCase removalCases[] = {
    {.name = "SQLite_Sccs_Level_Informix", .level = true, .product = "informix", .size = "demo"},
    {.name = "SQLite_Pvcs_Release_Oracle", .vc = "pvcs", .size = "demo"},
    {.name = "PostgreSQL_Sccs_Release_Informix", .backend = Backend::postgres, .product = "informix", .size = "demo"},
    {.name = "PostgreSQL_Pvcs_Level_Oracle", .backend = Backend::postgres, .vc = "pvcs", .level = true, .size = "demo"},
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

/// A second session that reads the family and keeps its transaction open,
/// so that the run's next commit is refused as busy; it ends with the object.
class HeldReader {
public:
    explicit HeldReader(const std::string& database) {
        const std::string command = "exec sqlite3 " + shellQuote(database) + " >/dev/null 2>&1";
        pipe_ = popen(command.c_str(), "w");
        if (pipe_ != nullptr) {
            std::fputs("BEGIN; SELECT COUNT(*) FROM TRACKS;\n", pipe_);
            std::fflush(pipe_);
        }
    }
    ~HeldReader() {
        if (pipe_ != nullptr) {
            std::fputs("ROLLBACK;\n", pipe_);
            pclose(pipe_);
        }
    }

private:
    FILE* pipe_ = nullptr;
};

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
        family_ = buildFamily(familyDb_->dir().string() + "/family", std::string("--size=") + c.size + " --db=" +
                                                                         c.product + " --vc=" + c.vc +
                                                                         familyTargetOptions(*familyDb_));
        ASSERT_TRUE(family_.env.contains("PELO_DB") && family_.env.contains("PELO_VCBIN")) << "no family.env";
        fs::create_directories(arch_);
    }

    void TearDown() override {
        ScratchPairTest::TearDown();
        // A killed run leaves its archive semaphore behind.
        if (const int id = semget(ftok(family_.home.c_str(), 109), 1, 0); id >= 0)
            semctl(id, 0, IPC_RMID);
    }

    /// Runs the archive of the case's request with removal into arch_,
    /// under a shell prefix, hitting it when the case's line appears and
    /// taking the reader's hold from the populate file on; the output and status.
    std::pair<std::string, int> run(const std::string& prefix = "") {
        const RemovalCase& c = GetParam();
        std::ofstream(arch_ + ".answers") << (c.level ? "2\n1\nr2lvl02\nrel2\n2\n2\n1\n" : "2\n2\nrel1\n2\n2\n1\n") +
                                                 arch_ + "\n";
        const std::string command = prefix + "exec " + archiveCommand(family_, clusterVariables()) + " <" +
                                    shellQuote(arch_ + ".answers") + " 2>&1";
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* stream = fdopen(out[0], "r");
        std::string output;
        std::unique_ptr<HeldReader> reader;
        char buffer[4096];
        bool hit = false;
        while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
            output += buffer;
            const std::string line = std::string(buffer, std::strlen(buffer) - 1);
            if (c.hit != Hit::none && !hit && line == c.line)
                hit = kill(pid, c.hit == Hit::kill ? SIGKILL : SIGTERM) == 0;
            if (c.fault == Fault::busy && !reader && line == populateStarts)
                reader = std::make_unique<HeldReader>(family_.env.at("PELO_DB"));
        }
        std::fclose(stream);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(c.hit == Hit::none || hit) << "the run never printed " << c.line << "\n" << output;
        return {output, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
    }

    Histories histories(const std::string& base) const {
        return readHistories(base, family_.env.at("PELO_VCBIN"), GetParam().vc == std::string("pvcs"));
    }

    /// What the family holds: its rows, its histories and its level maps.
    struct Held {
        Tables tables;
        Histories histories;
        std::map<std::string, std::string> maps;
    };
    Held held() const {
        return {readTables(family_.env.at("PELO_DB"), *familyDb_), histories(family_.home),
                readFiles(family_.home + "/maps")};
    }

    /// How many rows, histories and level maps went.
    struct Gone {
        std::size_t rows = 0, histories = 0, maps = 0;
    };

    /// Reloads the archive, as the restore would: every row, delta and level
    /// map that left the family since `before` must be in it, and under SCCS
    /// every FILES row left must name a history the family still has.
    Gone expectGoneArchived(const Held& before, const Held& after) const {
        const RemovalCase& c = GetParam();
        const std::string reload = reloadArchive(arch_, c.product, *reloadDb_);
        EXPECT_TRUE(reload.ends_with("status=0\n")) << "the archive does not reload\n" << reload;
        const Tables reloaded = readTables(reloadDb_->target(), *reloadDb_);
        const ScriptForms forms = ScriptForms::of(arch_, c.product == std::string("informix"));
        Gone gone;
        for (const auto& [table, keyColumns] : familyTables)
            gone.rows += expectRemovedRowsArchived(table, keyColumns, before.tables.at(table), after.tables.at(table),
                                                   reloaded.at(table), forms);
        gone.histories = expectRemovedDeltasArchived(before.histories, after.histories, histories(arch_));
        gone.maps = expectRemovedMapsArchived(before.maps, after.maps, readFiles(arch_ + "/maps"));
        if (c.vc != std::string("sccs"))
            return gone;
        const TableRows& filesTable = after.tables.at("FILES");
        const std::size_t source = filesTable.at("SOURCEID"), type = filesTable.at("TYPE");
        for (const Texts& row : filesTable.rows) {
            const std::string history =
                family_.home + "/vc/" + vcLocation(std::stoi(row.at(source)), sccsType(row.at(type)));
            EXPECT_TRUE(fs::exists(history)) << "a file row names " << history << ", which is gone";
        }
        return gone;
    }

    std::string rowCopy() const { return arch_ + "/PELOarchive.rows.db"; }

    std::string arch_;
    BuiltFamily family_;
};

TEST_P(RemovalTest, EverythingRemovedIsInTheArchive) {
    const RemovalCase& c = GetParam();
    const Held before = held();
    const auto [output, status] = run();
    ASSERT_EQ(status, 0) << output;
    // What is left is a family the other archive request still passes its checks on.
    const std::string check =
        testing::runArchive(family_, c.level ? "1\n2\nrel1\n" : "1\n1\nr2lvl02\nrel2\n", clusterVariables());
    ASSERT_TRUE(check.ends_with("status=0\n")) << check;
    const Held after = held();
    const Gone gone = expectGoneArchived(before, after);
    EXPECT_GT(gone.rows, 0u) << "the removal removed no row";
    EXPECT_GT(gone.maps, 0u) << "the removal removed no level map";
    if (!c.level && c.vc == std::string("sccs")) {
        EXPECT_GT(gone.histories, 0u) << "the release archive removed no history";
    }
    const Tables copy = readTablesAt(rowCopy(), "rowcopy", "", &before.tables);
    std::size_t rowsCopied = 0;
    for (const auto& [table, keyColumns] : scriptTables)
        rowsCopied += expectRemovedRowsCopied(table, keyColumns, before.tables.at(table), after.tables.at(table),
                                              copy.at(table));
    EXPECT_EQ(rowsCopied, gone.rows);

    // Under PVCS the histories of a release archive are listed for their
    // owner to remove: each must be in the archive.
    const Histories archived = histories(arch_);
    const std::string cleanList = family_.home + "/PELOarchive.PVCS_clean";
    std::ifstream listed(cleanList);
    std::size_t listedCount = 0;
    for (std::string line; std::getline(listed, line);)
        if (line.starts_with(family_.home + "/vc/")) {
            const std::string history = line.substr(family_.home.size() + 4);
            EXPECT_TRUE(archived.contains(history) && !archived.at(history).empty())
                << cleanList << " lists " << line << " but the archive does not hold it";
            ++listedCount;
        }
    EXPECT_EQ(listedCount > 0, !c.level && c.vc == std::string("pvcs")) << cleanList;

    // A path goes with the last file row that names it and is not
    // dropped: a live file row left names no path that went.
    const TableRows& files = after.tables.at("FILES");
    const auto ids = [](const TableRows& table, const char* column, auto keep) {
        std::set<std::string> found;
        for (const Texts& row : table.rows)
            if (keep(row))
                found.insert(row[table.at(column)]);
        return found;
    };
    const auto any = [](const Texts&) { return true; };
    const auto live = [&](const Texts& row) { return row[files.at("DROPDATE")].empty() && row[files.at("NUDROPDATE")].empty(); };
    const std::set<std::string> pathsBefore = ids(before.tables.at("PATH"), "ID", any),
                                pathsAfter = ids(after.tables.at("PATH"), "ID", any);
    for (const std::string& path : ids(files, "PATHID", live))
        EXPECT_TRUE(!pathsBefore.contains(path) || pathsAfter.contains(path)) << "path " << path << " went";
}

INSTANTIATE_TEST_SUITE_P(Removal, RemovalTest, ::testing::ValuesIn(removalCases),
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
    const Held before = held();
    ASSERT_FALSE(before.histories.empty());

    const auto [output, status] = run(c.fault == Fault::fullDisk ? "trap '' XFSZ; ulimit -f 8; " : "");
    EXPECT_EQ(status, c.hit == Hit::kill ? 128 + SIGKILL : 1) << output;
    const Held after = held();

    if (output.find("\n" + removalStarts + "\n") == std::string::npos) {
        EXPECT_TRUE(fs::is_empty(arch_)) << "the clean-up left files in the archive directory\n" << output;
        for (const auto& [table, rows] : before.tables)
            EXPECT_EQ(after.tables.at(table).rows, rows.rows) << table << " changed before removal started";
        EXPECT_EQ(after.histories, before.histories);
        EXPECT_EQ(after.maps, before.maps);
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
    expectGoneArchived(before, after);
}

INSTANTIATE_TEST_SUITE_P(Stops, CrashSafetyTest, ::testing::ValuesIn(crashCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

/// The configured defect fields the test adds: 21 switched on, after the
/// family's own, and RETIRED switched off.
std::string addedFields() {
    std::string lines;
    for (int k = 1; k <= 21; ++k) {
        const std::string name = "XF" + std::to_string(k);
        lines += "yes|" + name + "|" + name + "|" + name + "|" + name + "|no|no|text\n";
    }
    return lines + "no|RETIRED|retired|Retired|Ret|no|no|text\n";
}

// A release archive with removal keeps in its row copy what its script
// cannot carry: the value of a switched-off field, of the 21st configured
// field, and free text with the characters the script blanks.
using RowCopyTest = RemovalTest;

TEST_P(RowCopyTest, HoldsWhatTheScriptCannotCarry) {
    const std::string family = family_.env.at("PELO_DB");
    ASSERT_EQ(sqlConnect(family, familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
    std::string script;
    for (int k = 1; k <= 21; ++k)
        script += "ALTER TABLE DEFECTS ADD COLUMN XF" + std::to_string(k) + " VARCHAR(40);";
    script += "ALTER TABLE DEFECTS ADD COLUMN RETIRED VARCHAR(40);";
    script += "SELECT PELO_CREATE_REPORT_VIEWS();";  // the views carry every column only when made again
    script += "UPDATE DEFECTS SET XF21 = 'twenty-first ' || ID, RETIRED = 'retired ' || ID,"
              " ABSTRACT = 'it''s `quoted` & semi;colon ' || ID;"
              "UPDATE RELEASES SET DESCRIPTION = 'rel''s `one`; & only' WHERE NAME = 'rel1';";
    ASSERT_EQ(sqlExecuteScript(script), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
    sqlRollbackRelease();
    for (const char* table : {"/configField/DefectConfigTbl", "/configField/FeatureConfigTbl"})
        std::ofstream(family_.home + table, std::ios::app) << addedFields();
    const Tables before = readTables(family, *familyDb_);

    const auto [output, status] = run();
    ASSERT_EQ(status, 0) << output;
    const Tables after = readTables(family, *familyDb_);
    const Tables copy = readTablesAt(rowCopy(), "rowcopy", "", &before);
    for (const char* table : {"DEFECTS", "RELEASES"})
        EXPECT_GT(expectRemovedRowsCopied(table, 1, before.at(table), after.at(table), copy.at(table)), 0u) << table;

    // The values themselves, as sqlite3 shows them to anyone.
    const TableRows& defects = copy.at("DEFECTS");
    ASSERT_FALSE(defects.rows.empty());
    for (const Texts& row : defects.rows) {
        const std::string id = row[defects.at("ID")];
        EXPECT_EQ(row[defects.at("XF21")], "twenty-first " + id);
        EXPECT_EQ(row[defects.at("RETIRED")], "retired " + id);
        EXPECT_EQ(row[defects.at("ABSTRACT")], "it's `quoted` & semi;colon " + id);
    }
    const TableRows& releases = copy.at("RELEASES");
    ASSERT_EQ(releases.rows.size(), 1u);
    EXPECT_EQ(releases.rows[0][releases.at("DESCRIPTION")], "rel's `one`; & only");
    // The script carries none of them.
    const std::string written = testing::readText(arch_ + "/PELOarchive.dbData");
    for (const char* value : {"twenty-first", "retired ", "semi;colon", "`one`"})
        EXPECT_EQ(written.find(value), std::string::npos) << value;
}

// A release archive, which removes defects and releases, on PostgreSQL,
// whose report views must be made again for the added columns; the copy is
// checked against the family on either backend by RemovalTest.
INSTANTIATE_TEST_SUITE_P(Removal, RowCopyTest, ::testing::Values(removalCases[2]),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
