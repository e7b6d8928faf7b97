// File-system archives of built families, as the version-control tools see
// them: each copied history holds exactly the deltas of the archived
// versions (those the Informix versions load file names), every remaining
// version reads back as the family's, a destroyed file's history comes
// whole, and the family's own histories stay as they were.  Then the
// failures that stop such an archive, each leaving the target empty.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "builtFamily.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "support/runner.h"
#include "vc/binaryVersion.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Sids = std::set<std::string>;

std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().string()] = testing::readText(entry.path().string());
    return files;
}

std::string run(const std::string& command) {
    std::vector<char> out(1 << 20), err(4096);
    send_command(command.c_str(), out.data(), out.size(), err.data(), err.size());
    EXPECT_STREQ(err.data(), "") << command;
    return out.data();
}

/// Source id -> SIDs of the versions in an Informix versions load file,
/// whose records are 11 fields each ended by '|', a record ended by "\n".
std::map<long, Sids> archivedSids(const std::string& loadFile) {
    std::map<long, Sids> sids;
    std::vector<std::string> fields;
    std::stringstream text(testing::readText(loadFile));
    for (std::string field; std::getline(text, field, '|');)
        fields.push_back(fields.size() % 11 == 0 && field.starts_with("\n") ? field.substr(1) : field);
    for (std::size_t i = 0; i + 10 < fields.size(); i += 11)
        sids[std::stol(fields[i + 2])].insert(fields[i + 9]);
    return sids;
}

/// The source id of a history from its place: vc/A/B/C/D/s.REST or b.REST.
long sourceOf(const fs::path& relative) {
    std::string digits;
    for (const auto& part : relative)
        if (const std::string p = part.string(); p.size() == 1 && std::isdigit(static_cast<unsigned char>(p[0])))
            digits += p;
        else if (p.starts_with("s.") || p.starts_with("b."))
            return std::stol(digits + p.substr(2));
    return -1;
}

// The answers name the archive directory @ARCH@; how many trimmed binary
// directories and whole destroyed histories the demo family gives at least.
struct FilesCase { const char *name, *vc, *answers; int binaryTrimmed, destroyed; };

class FileSystemArchiveTest : public ::testing::TestWithParam<FilesCase> {
protected:
    void SetUp() override {
        root_ = testing::scratchDir() + "/" + GetParam().name;
        fs::remove_all(root_);
        family_ = testing::buildFamily(root_ + "/family", std::string("--size=demo --db=informix --vc=") + GetParam().vc);
        arch_ = root_ + "/arch";
        fs::create_directories(arch_);
        tools_ = family_.env.at("PELO_VCBIN");
    }

    Sids deltas(const std::string& history) const {
        const bool sccs = GetParam().vc == std::string("sccs");
        const std::string out = run(shellQuote(tools_ + (sccs ? "/prs" : "/vlog")) + (sccs ? " -e -d:I: " : " -br ") +
                                    shellQuote(history));
        Sids sids;
        const std::regex line(sccs ? "([0-9.]+)\n" : "\nRev ([0-9.]+)\n");
        for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
            sids.insert((*it)[1]);
        return sids;
    }

    /// A version as the tools give it back: SCCS get, the PVCS stand-in's
    /// vget, or a binary directory's version rebuilt to a scratch file.
    std::string content(const fs::path& history, const std::string& sid) const {
        if (history.filename() == "s.binary") {
            const std::string out = root_ + "/version";
            EXPECT_GE(vcGetSCCSBinaryFile(history.parent_path().string() + "/" + sid, out.c_str(), nullptr), 0);
            return testing::readText(out);
        }
        const bool sccs = GetParam().vc == std::string("sccs");
        return run(shellQuote(tools_ + (sccs ? "/get" : "/vget")) + (sccs ? " -s -k -p -r" : " -r") + shellQuote(sid) +
                   " " + shellQuote(history.string()));
    }

    std::string root_, arch_, tools_;
    testing::BuiltFamily family_;
};

TEST_P(FileSystemArchiveTest, HistoriesHoldExactlyTheArchivedDeltas) {
    const auto familyBefore = snapshot(family_.home + "/vc");
    const std::string output = testing::runArchive(family_, std::regex_replace(GetParam().answers, std::regex("@ARCH@"), arch_));
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    const auto archived = archivedSids(arch_ + "/PELOarchive.versionsData");
    const std::string info = testing::readText(arch_ + "/PELOarchive.info");
    int trimmed = 0, whole = 0, binary = 0;
    for (const auto& entry : fs::recursive_directory_iterator(arch_ + "/vc")) {
        const fs::path name = entry.path().filename();
        if (!entry.is_regular_file() || !name.string().starts_with("s."))
            continue;  // a binary directory's versions are read through its s.binary
        const fs::path relative = fs::relative(entry.path(), arch_);
        const std::string familyHistory = family_.home + "/" + relative.string();
        EXPECT_NE(info.find("\n" + family_.home + "/" + relative.string() + "\n"), std::string::npos) << relative;
        const long source = sourceOf(relative);
        SqlCursor files("SELECT COUNT(*) FROM FILES WHERE SOURCEID = :b1");
        ASSERT_EQ(files.open({{1, std::int32_t(source)}}), 0);
        SqlRow count;
        ASSERT_EQ(files.fetch(count), 0);
        const Sids before = deltas(familyHistory), after = deltas(entry.path().string());
        if (count.textAt(0) == "0") {  // destroyed since: the whole history
            EXPECT_EQ(after, before) << relative;
            ++whole;
            continue;
        }
        // The tools' walk only ever looks at revisions that start with "1.".
        Sids expected;
        for (const std::string& sid : before)
            if ((archived.contains(source) && archived.at(source).contains(sid)) || !sid.starts_with("1."))
                expected.insert(sid);
        EXPECT_EQ(after, expected) << relative;
        trimmed += after.size() < before.size();
        binary += name == "s.binary";
        for (const std::string& sid : after)
            EXPECT_EQ(content(entry.path(), sid), content(familyHistory, sid)) << relative << " " << sid;
    }
    sqlRollbackRelease();
    EXPECT_GT(trimmed, 0) << "no history lost a delta";
    EXPECT_GE(binary, GetParam().binaryTrimmed) << "a binary directory's versions rebuilt";
    EXPECT_GE(whole, GetParam().destroyed) << "a destroyed file's history taken whole";
    EXPECT_EQ(snapshot(family_.home + "/vc"), familyBefore) << "the family's histories changed";
    // Maps and configuration files: every one the information file names is copied as it is.
    std::istringstream lines(info);
    int copied = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(family_.home + "/") && !line.starts_with(family_.home + "/vc/")) {
            EXPECT_EQ(testing::readText(arch_ + line.substr(family_.home.size())), testing::readText(line)) << line;
            ++copied;
        }
    EXPECT_GE(copied, 13 + 1) << "the thirteen configuration files and a map";
}

const FilesCase filesCases[] = {
    {"SccsLevel", "sccs", "2\n1\nr2lvl02\nrel2\n1\n1\n@ARCH@\n", 1, 0},
    {"SccsRelease", "sccs", "2\n2\nrel1\n1\n1\n@ARCH@\n", 0, 1},
    {"PvcsLevel", "pvcs", "2\n1\nr2lvl02\nrel2\n1\n1\n@ARCH@\n", 0, 0},
    {"PvcsRelease", "pvcs", "2\n2\nrel1\n1\n1\n@ARCH@\n", 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Histories, FileSystemArchiveTest, ::testing::ValuesIn(filesCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An earlier level of the archive level, whose name the user never types,
// holds a blank, quotes, a command substitution, a ';' and a new-line: its
// map is copied under that very name, and no shell runs what it holds.
TEST(HostileNameTest, LevelMapIsCopiedAsThatNameAndRunsNothing) {
    const std::string root = testing::scratchDir() + "/HostileLevelName", arch = root + "/arch";
    const std::string name = "a $(touch C);'q'\nb`touch C`";  // within the 32 characters of a level name
    fs::remove_all(root);
    const testing::BuiltFamily family = testing::buildFamily(root + "/family", "--size=tiny --db=oracle");
    fs::create_directories(arch);
    fs::rename(family.home + "/maps/rel2/r2lvl01", family.home + "/maps/rel2/" + name);
    ASSERT_EQ(sqlConnect(family.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecute("UPDATE LEVELS SET NAME = :b1 WHERE NAME = 'r2lvl01'", {{1, std::string_view(name)}}), 0)
        << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0);
    sqlRollbackRelease();
    const std::string output =
        testing::runArchive(family, "2\n1\nr2lvl02\nrel2\n1\n1\n" + arch + "\n", {}, "cd " + shellQuote(root) + " &&");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    EXPECT_EQ(testing::readText(arch + "/maps/rel2/" + name), testing::readText(family.home + "/maps/rel2/" + name));
    EXPECT_NE(testing::readText(arch + "/PELOarchive.info").find("\n" + family.home + "/maps/rel2/" + name + "\n"),
              std::string::npos);
    for (const std::string& dir : {root, family.home, arch})
        EXPECT_FALSE(fs::exists(dir + "/C")) << dir;
}

// What breaks the family (a shell command run in its home, then SQL), a
// variable for the run, and the message the run must end with.
struct BrokenCase { const char *name, *shell, *sql, *variable, *value, *message; };

class BrokenFamilyTest : public ::testing::TestWithParam<BrokenCase> {};

// A level archive of the broken family stops with status 1 and its message; the clean-up leaves the
// archive directory empty, and the family's histories are as they were.
TEST_P(BrokenFamilyTest, StopsWithItsMessageAndLeavesTheTargetEmpty) {
    const BrokenCase& c = GetParam();
    const std::string root = testing::scratchDir() + "/" + c.name, arch = root + "/arch";
    fs::remove_all(root);
    const testing::BuiltFamily family = testing::buildFamily(root + "/family", "--size=tiny --db=oracle");
    fs::create_directories(arch);
    ASSERT_EQ(std::system(("cd " + shellQuote(family.home) + " && " + c.shell).c_str()), 0) << c.shell;
    ASSERT_EQ(sqlConnect(family.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecuteScript(c.sql), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0);
    sqlRollbackRelease();
    const auto histories = snapshot(family.home + "/vc");
    std::map<std::string, std::string> extra;
    if (*c.variable)
        extra[c.variable] = c.value;
    const std::string release = std::string(c.name) == "DirectoryCannotBeMade" ? "r/x" : "rel2";
    const std::string output = testing::runArchive(family, "2\n1\nr2lvl02\n" + release + "\n1\n1\n" + arch + "\n", extra);
    EXPECT_TRUE(output.ends_with("status=1\n")) << output;
    EXPECT_NE(output.find(std::regex_replace(c.message, std::regex("@HOME@"), family.home)), std::string::npos) << output;
    EXPECT_TRUE(fs::is_empty(arch)) << "the clean-up left files in the archive directory";
    EXPECT_EQ(snapshot(family.home + "/vc"), histories);
}

const BrokenCase brokenCases[] = {
    {"MapCannotBeCopied", "rm maps/rel2/r2lvl01 && mkdir maps/rel2/r2lvl01", "", "", "",
     "\n0010-941 The peloarchive program cannot complete successfully.  It cannot\n"
     "         copy the map for level r2lvl01 associated with release rel2\n"},
    {"ConfigFileCannotBeCopied", "rm config.ld && mkdir config.ld", "", "", "",
     "\n0010-945 The peloarchive program cannot complete successfully.  The\n"
     "         file @HOME@/config.ld cannot be copied to the \n"},
    // The oldest version of an archived history gets a SID the history does not have, so its delta
    // 1.1 is not archived while newer ones are: rmdel removes only the newest delta.
    {"DeltaCannotBeRemoved", "true",
     "UPDATE VERSIONS SET SID = '9.9' WHERE PREVIOUSID = 0 AND SOURCEID IN (SELECT f.SOURCEID FROM FILES f"
     "  JOIN CHANGES c ON c.FILEID = f.ID JOIN LEVELS l ON l.ID = c.LEVELID"
     "  WHERE l.NAME = 'r2lvl02' AND f.TYPE = 'text' AND c.VERSIONID IN (SELECT ID FROM VERSIONS WHERE PREVIOUSID <> 0))",
     "", "", "\n0010-992 The peloarchive program cannot continue.  The\n         version control file, "},
    // A release whose name holds a "/": its maps directory cannot be made below the archive's maps.
    {"DirectoryCannotBeMade", "mkdir maps/r && mv maps/rel2 maps/r/x", "UPDATE RELEASES SET NAME = 'r/x' WHERE NAME = 'rel2'",
     "", "", "\n0010-944 The peloarchive program cannot complete successfully.  The\n"
     "         release directory cannot be created relative to the\n"},
    {"ToolDirectoryNotSet", "true", "", "PELO_VCBIN", " \t ",
     "         error occurred:\n         the PELO_VCBIN environment variable does not name the directory of\n"},
};

INSTANTIATE_TEST_SUITE_P(Broken, BrokenFamilyTest, ::testing::ValuesIn(brokenCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
