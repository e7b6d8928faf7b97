// A release archive with removal, ended by SIGTERM as each progress line
// appears, or by a failure inside the removal.  Before the removal starts
// the family's rows, histories and maps stay as they were and the archive
// directory is left empty; after it starts, the family holds only rows it
// held before (what was committed is gone, the rest rolled back) and the
// user is told to restore it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builtFamily.h"
#include "db/client.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Rows = std::multiset<std::string>;

/// Every row of every table, as text, by table.
std::map<std::string, Rows> tables(const std::string& target) {
    std::map<std::string, Rows> out;
    EXPECT_EQ(sqlConnect(target, "pelofam", "secret"), 0) << sqlca.sqlerrm;
    std::vector<std::string> names;
    {
        SqlCursor list("SELECT NAME FROM SQLITE_MASTER WHERE TYPE = 'table' ORDER BY NAME");
        EXPECT_EQ(list.open({}), 0);
        for (SqlRow row; list.fetch(row) == 0;)
            names.push_back(row.textAt(0));
    }
    for (const std::string& name : names) {
        SqlCursor rows("SELECT * FROM " + name);
        EXPECT_EQ(rows.open({}), 0) << name;
        for (SqlRow row; rows.fetch(row) == 0;) {
            std::string line;
            for (int i = 0; i < row.columns(); ++i)
                line += row.textAt(i) + "\x1f";
            out[name].insert(line);
        }
    }
    sqlRollbackRelease();
    return out;
}

std::map<std::string, std::string> files(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            out[entry.path().string()] = testing::readText(entry.path().string());
    return out;
}

/// Runs the archive, sending SIGTERM when the line appears ("" never);
/// the whole output and the exit status.
std::pair<std::string, int> runUntil(const testing::BuiltFamily& family, const std::string& answers,
                                     const std::string& line, const std::string& prefix) {
    const std::string answersFile = testing::scratchDir() + "/crash-answers";
    std::ofstream(answersFile) << answers;
    const std::string command = prefix + "exec " + testing::archiveCommand(family) + " <" + shellQuote(answersFile) + " 2>&1";
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
    char buffer[4096];
    bool sent = false;
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
        output += buffer;
        if (!sent && !line.empty() && std::string(buffer) == line + "\n")
            sent = kill(pid, SIGTERM) == 0;
    }
    std::fclose(stream);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(line.empty() || sent) << "the run never printed " << line << "\n" << output;
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

const std::string removalStarts = "Removing the archived objects.";
const std::string restoreWarning = "0010-949 The peloarchive program failed to delete the objects from the";

// A progress line at which the run is ended, or "" with a trigger that
// fails the removal of tracks, or a shell prefix that limits the size of
// the files the run writes (a full disk, without root).
struct CrashCase { const char *name, *line, *trigger = "", *prefix = ""; };

class CrashSafetyTest : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashSafetyTest, FamilyAndTargetAsDocumented) {
    const CrashCase& c = GetParam();
    const std::string root = testing::scratchDir() + "/crash-" + c.name, arch = root + "/arch";
    fs::remove_all(root);
    const testing::BuiltFamily family = testing::buildFamily(root + "/family", "--size=tiny --db=oracle");
    fs::create_directories(arch);
    const std::string db = family.env.at("PELO_DB");
    if (*c.trigger) {
        ASSERT_EQ(sqlConnect(db, "pelofam", "secret"), 0);
        ASSERT_EQ(sqlExecuteScript(c.trigger), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }
    const auto rowsBefore = tables(db);
    const auto vcBefore = files(family.home + "/vc"), mapsBefore = files(family.home + "/maps");
    const auto [output, status] = runUntil(family, "2\n2\nrel1\n2\n2\n1\n" + arch + "\n", c.line, c.prefix);
    EXPECT_EQ(status, 1) << output;
    EXPECT_TRUE(fs::is_empty(arch)) << "the clean-up left files in the archive directory\n" << output;
    const auto rowsAfter = tables(db);
    if (output.find("\n" + removalStarts + "\n") == std::string::npos) {
        EXPECT_EQ(rowsAfter, rowsBefore);
        EXPECT_EQ(files(family.home + "/vc"), vcBefore);
        EXPECT_EQ(files(family.home + "/maps"), mapsBefore);
        EXPECT_EQ(output.find(restoreWarning), std::string::npos) << output;
        if (*c.prefix) {
            EXPECT_NE(output.find("0010-982 The peloarchive program cannot continue.  It cannot write"), std::string::npos)
                << output;
        }
        return;
    }
    EXPECT_NE(output.find(restoreWarning), std::string::npos) << output;
    for (const auto& [table, rows] : rowsAfter)
        for (const std::string& row : rows)
            EXPECT_TRUE(table == "DEFECTS" || rowsBefore.at(table).contains(row)) << table << " gained " << row;
    // A failure while removing tracks rolls every track's removal back.
    if (*c.trigger) {
        EXPECT_EQ(rowsAfter.at("TRACKS"), rowsBefore.at("TRACKS"));
    }
    for (const auto& [path, bytes] : files(family.home + "/vc"))
        EXPECT_EQ(bytes, vcBefore.at(path)) << "a history changed: " << path;
}

const CrashCase crashCases[] = {
    {"Connecting", "Connecting to the database."},
    {"Prerequisites", "Archive prerequisites have been verified."},
    {"Populate", "Generating the database populate file."},
    {"Export", "Generating the database export file for the Notes and Versions tables."},
    {"Maps", "Archiving the level maps."},
    {"ConfigFiles", "Archiving the PELO family's configuration files."},
    {"Histories", "Archiving the PELO family's version control files."},
    {"RemovalStarts", "Removing the archived objects."},
    {"Paths", "  Removing PELO Paths."},
    {"FilesAndVersions", "  Removing PELO Files and Versions...this may take some time."},
    {"Levels", "  Removing PELO Levels and their associated objects."},
    {"Releases", "  Removing PELO Releases and their associated objects."},
    {"Tracks", "  Removing PELO Tracks and their associated objects."},
    {"Defects", "  Removing PELO Defects and their associated objects."},
    {"TrackRemovalFails", "",
     "CREATE TRIGGER KEEPTRACKS BEFORE DELETE ON TRACKS BEGIN SELECT RAISE(ABORT, 'tracks stay'); END;"},
    {"FullDisk", "", "", "trap '' XFSZ; ulimit -f 8; "},
};

INSTANTIATE_TEST_SUITE_P(Signals, CrashSafetyTest, ::testing::ValuesIn(crashCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
