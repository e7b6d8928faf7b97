// A release archive with removal, stopped at each step: by a termination
// signal, by SIGKILL, or by a failure inside the removal.  Before the
// removal starts the family stays as it was and the archive directory is
// left empty.  Once it has started, the archive is kept whole: reloading
// its script gives back every row that left the family, its copies every
// delta and map that left; and no row is left naming a history that is gone.
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "tools/removedObjects.h"
#include "tools/scratchFamily.h"
#include "vc/location.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;

enum class Hit { none, term, kill };

/// What stops the removal: a blow when a progress line appears, a trigger
/// that refuses a table's deletes, a history that cannot be deleted, a
/// reader that holds the database so that a commit is refused, or a file
/// size limit (a full disk, without root).
enum class Fault { none, trigger, stuckHistory, busy, fullDisk };

struct CrashCase {
    const char* name;
    Hit hit;
    const char* line;
    Fault fault = Fault::none;
    const char* table = "";  ///< whose deletes the trigger refuses
    /// The tiny family's first release shares every path and history with
    /// the second; the demo family's has some of its own to remove.
    const char* size = "tiny";
};

void PrintTo(const CrashCase& c, std::ostream* out) { *out << c.name; }

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
constexpr const char* releases = "  Removing PELO Releases and their associated objects.";
constexpr const char* tracks = "  Removing PELO Tracks and their associated objects.";
constexpr const char* defects = "  Removing PELO Defects and their associated objects.";

const CrashCase crashCases[] = {
    {"TermPopulate", Hit::term, "Generating the database populate file."},
    {"TermHistories", Hit::term, "Archiving the PELO family's version control files."},
    {"FullDisk", Hit::none, "", Fault::fullDisk},
    {"TermRemovalStarts", Hit::term, "Removing the archived objects."},
    {"TermPaths", Hit::term, paths},
    {"TermFiles", Hit::term, files, Fault::none, "", "demo"},
    {"TermLevels", Hit::term, levels},
    {"TermReleases", Hit::term, releases},
    {"TermTracks", Hit::term, tracks},
    {"TermDefects", Hit::term, defects},
    // A kill has no clean-up: between a step's commit and its files, and
    // inside the batches.
    {"KillFiles", Hit::kill, files, Fault::none, "", "demo"},
    {"KillDefects", Hit::kill, defects},
    {"VersionsRefused", Hit::none, "", Fault::trigger, "VERSIONS", "demo"},
    {"LevelsRefused", Hit::none, "", Fault::trigger, "LEVELS"},
    {"DefectsRefused", Hit::none, "", Fault::trigger, "DEFECTS"},
    {"HistoryStuck", Hit::none, "", Fault::stuckHistory, "", "demo"},
    {"DatabaseBusy", Hit::none, "", Fault::busy},
};

/// A history the family cannot delete: immutable for root, in a directory
/// it may not write otherwise.  Undone by the destructor.
class UndeletableHistory {
public:
    explicit UndeletableHistory(const fs::path& history) {
        const std::string file = shellQuote(history.string()), dir = shellQuote(history.parent_path().string());
        lock_ = root_ ? "chattr +i " + file : "chmod a-w " + dir;
        unlock_ = root_ ? "chattr -i " + file : "chmod u+w " + dir;
        stuck_ = std::system((lock_ + " 2>/dev/null").c_str()) == 0;
    }
    ~UndeletableHistory() {
        if (stuck_)
            std::system((unlock_ + " 2>/dev/null").c_str());
    }
    bool stuck() const { return stuck_; }

private:
    bool root_ = geteuid() == 0, stuck_ = false;
    std::string lock_, unlock_;
};

/// The column's place in the table's rows.
std::size_t columnOf(const TableRows& table, const char* name) {
    return std::size_t(std::ranges::find(table.columns, name) - table.columns.begin());
}

/// The file type code of a FILES row's TYPE under SCCS.
int sccsType(const std::string& kind) {
    return kind == "text" ? 0 : kind == "long" ? 5 : kind == "special" ? 6 : kind == "longSp" ? 7 : 1;
}

/// The history a release archive of the release removes last: the one
/// with the highest source id among those no other release shares.
std::string lastRemovedHistory(const Tables& tables, const std::string& release) {
    const TableRows &files = tables.at("FILES"), &releases = tables.at("RELEASES");
    std::string releaseId;
    for (const Texts& row : releases.rows)
        if (row.at(columnOf(releases, "NAME")) == release)
            releaseId = row.at(columnOf(releases, "ID"));
    std::map<int, std::pair<std::set<std::string>, int>> sources;  // releases and type by source id
    for (const Texts& row : files.rows) {
        auto& [releasesOf, type] = sources[std::stoi(row.at(columnOf(files, "SOURCEID")))];
        releasesOf.insert(row.at(columnOf(files, "RELEASEID")));
        type = sccsType(row.at(columnOf(files, "TYPE")));
    }
    for (auto it = sources.rbegin(); it != sources.rend(); ++it)
        if (it->second.first == std::set<std::string>{releaseId})
            return vcLocation(it->first, it->second.second);
    return {};
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

class CrashSafetyTest : public ScratchPairTest<CrashCase> {
protected:
    void SetUp() override {
        ScratchPairTest::SetUp();
        if (IsSkipped())
            return;
        arch_ = familyDb_->dir().string() + "/arch";
        family_ = buildFamily(familyDb_->dir().string() + "/family", std::string("--size=") + GetParam().size + " --db=oracle");
        ASSERT_TRUE(family_.env.contains("PELO_DB") && family_.env.contains("PELO_VCBIN")) << "no family.env";
        fs::create_directories(arch_);
    }

    void TearDown() override {
        ScratchPairTest::TearDown();
        // A killed run leaves its archive semaphore behind.
        if (const int id = semget(ftok(family_.home.c_str(), 109), 1, 0); id >= 0)
            semctl(id, 0, IPC_RMID);
    }

    /// Runs the archive with removal, hitting it when the line appears and
    /// taking the reader's hold from the populate file on; the output and status.
    std::pair<std::string, int> run(const CrashCase& c, const std::string& prefix) {
        std::ofstream(arch_ + ".answers") << "2\n2\nrel1\n2\n2\n1\n" + arch_ + "\n";
        const std::string command =
            prefix + "exec " + archiveCommand(family_) + " <" + shellQuote(arch_ + ".answers") + " 2>&1";
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
        return readHistories(base, family_.env.at("PELO_VCBIN"), false);
    }

    /// Reloads the archive into the scratch database, as the restore would.
    void reloadArchive() const {
        const std::string command = shellQuote(PELO_BINARY_DIR "/tools/reload/reload") +
                                    " --dialect=oracle --target=" + shellQuote(reloadDb_->target()) + " --login=" +
                                    shellQuote(reloadDb_->user()) + " --password=" + shellQuote(reloadDb_->password()) +
                                    " --create-schema " + shellQuote(arch_);
        const std::string output = capture(command + " 2>&1; echo \"status=$?\"");
        ASSERT_TRUE(output.ends_with("status=0\n")) << "the kept archive does not reload\n" << output;
    }

    /// Every FILES row left names a history the family still has.
    void expectNoRowNamesAMissingHistory(const Tables& after) const {
        const TableRows& filesTable = after.at("FILES");
        const std::size_t source = columnOf(filesTable, "SOURCEID"), type = columnOf(filesTable, "TYPE");
        for (const Texts& row : filesTable.rows) {
            const int code = sccsType(row.at(type));
            const std::string history = family_.home + "/vc/" + vcLocation(std::stoi(row.at(source)), code);
            EXPECT_TRUE(fs::exists(history)) << "a file row names " << history << ", which is gone";
        }
    }

    std::string arch_;
    BuiltFamily family_;
};

TEST_P(CrashSafetyTest, NothingLeavesTheFamilyThatTheArchiveDoesNotHold) {
    const CrashCase& c = GetParam();
    const std::string db = family_.env.at("PELO_DB");
    if (c.fault == Fault::trigger) {
        ASSERT_EQ(sqlConnect(db, familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
        const std::string trigger = std::string("CREATE TRIGGER REFUSE BEFORE DELETE ON ") + c.table +
                                    " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        ASSERT_EQ(sqlExecuteScript(trigger), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }
    const Tables before = readTables(db, *familyDb_);
    const Histories historiesBefore = histories(family_.home);
    const auto mapsBefore = readFiles(family_.home + "/maps");
    ASSERT_FALSE(historiesBefore.empty());

    std::unique_ptr<UndeletableHistory> stuck;
    if (c.fault == Fault::stuckHistory) {
        const std::string history = lastRemovedHistory(before, "rel1");
        ASSERT_FALSE(history.empty()) << "rel1 has no history of its own";
        stuck = std::make_unique<UndeletableHistory>(family_.home + "/vc/" + history);
        if (!stuck->stuck())
            GTEST_SKIP() << "no way to make a history undeletable here";
    }
    const auto [output, status] = run(c, c.fault == Fault::fullDisk ? "trap '' XFSZ; ulimit -f 8; " : "");
    stuck.reset();
    EXPECT_EQ(status, c.hit == Hit::kill ? 128 + SIGKILL : 1) << output;
    const Tables after = readTables(db, *familyDb_);

    const bool removing = output.find("\n" + removalStarts + "\n") != std::string::npos;
    if (!removing) {
        EXPECT_TRUE(fs::is_empty(arch_)) << "the clean-up left files in the archive directory\n" << output;
        for (const auto& [table, rows] : before)
            EXPECT_EQ(after.at(table).rows, rows.rows) << table << " changed before removal started";
        EXPECT_EQ(histories(family_.home), historiesBefore);
        EXPECT_EQ(readFiles(family_.home + "/maps"), mapsBefore);
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
    ASSERT_NO_FATAL_FAILURE(reloadArchive());
    const Tables reloaded = readTables(reloadDb_->target(), *reloadDb_);
    const ScriptForms forms = ScriptForms::of(arch_, false);
    for (const auto& [table, keyColumns] : familyTables)
        expectRemovedRowsArchived(table, keyColumns, before.at(table), after.at(table), reloaded.at(table), forms);

    expectRemovedDeltasArchived(historiesBefore, histories(family_.home), histories(arch_));
    expectRemovedMapsArchived(mapsBefore, readFiles(family_.home + "/maps"), readFiles(arch_ + "/maps"));
    expectNoRowNamesAMissingHistory(after);
}

INSTANTIATE_TEST_SUITE_P(Stops, CrashSafetyTest, ::testing::ValuesIn(crashCases),
                         [](const ::testing::TestParamInfo<CrashCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
