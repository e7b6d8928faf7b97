// File-system archives of built families, as the version-control tools see
// them: an SCCS level archive's histories, binary directories among them,
// hold exactly the archived versions (PVCS trimming and every copied file's
// bytes the differential goldens show).  Then broken families: the failures
// that stop such an archive, each leaving the target empty, and the
// dangling rows an archive passes over.
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

/// The SIDs of a history's deltas, as prs reports them.
Sids deltas(const std::string& tools, const std::string& history) {
    const std::string out = run(shellQuote(tools + "/prs") + " -e -d:I: " + shellQuote(history));
    Sids sids;
    const std::regex line("([0-9.]+)\n");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        sids.insert((*it)[1]);
    return sids;
}

/// A version as the tools give it back: SCCS get, or a binary directory's
/// version rebuilt to a scratch file.
std::string content(const std::string& tools, const fs::path& history, const std::string& sid) {
    if (history.filename() == "s.binary") {
        const std::string out = testing::scratchDir() + "/version";
        EXPECT_GE(vcGetSCCSBinaryFile(history.parent_path().string() + "/" + sid, out.c_str(), nullptr), 0);
        return testing::readText(out);
    }
    return run(shellQuote(tools + "/get") + " -s -k -p -r" + shellQuote(sid) + " " + shellQuote(history.string()));
}

// An SCCS level archive of the demo family to a directory: each copied
// history holds exactly the deltas of the archived versions (those the
// Informix versions load file names), every remaining version reads back
// as the family's, a binary directory's too, a destroyed file's history
// comes whole, and the family's own histories stay as they were.
TEST(FileSystemArchiveTest, HistoriesHoldExactlyTheArchivedDeltas) {
    const std::string root = testing::scratchDir() + "/histories", arch = root + "/arch";
    const testing::BuiltFamily family = testing::buildFamily(root + "/family", "--size=demo --db=informix --vc=sccs");
    const std::string tools = family.env.at("PELO_VCBIN");
    fs::create_directories(arch);
    const auto familyBefore = snapshot(family.home + "/vc");
    const std::string output = testing::runArchive(family, "2\n1\nr2lvl02\nrel2\n1\n1\n" + arch + "\n");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    ASSERT_EQ(sqlConnect(family.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    const auto archived = archivedSids(arch + "/PELOarchive.versionsData");
    const std::string info = testing::readText(arch + "/PELOarchive.info");
    int trimmed = 0, binary = 0;
    for (const auto& entry : fs::recursive_directory_iterator(arch + "/vc")) {
        const fs::path name = entry.path().filename();
        if (!entry.is_regular_file() || !name.string().starts_with("s."))
            continue;  // a binary directory's versions are read through its s.binary
        const fs::path relative = fs::relative(entry.path(), arch);
        const std::string familyHistory = family.home + "/" + relative.string();
        EXPECT_NE(info.find("\n" + familyHistory + "\n"), std::string::npos) << relative;
        const long source = sourceOf(relative);
        SqlCursor files("SELECT COUNT(*) FROM FILES WHERE SOURCEID = :b1");
        ASSERT_EQ(files.open({{1, std::int32_t(source)}}), 0);
        SqlRow count;
        ASSERT_EQ(files.fetch(count), 0);
        const Sids before = deltas(tools, familyHistory), after = deltas(tools, entry.path().string());
        if (count.textAt(0) == "0") {  // destroyed since: the whole history
            EXPECT_EQ(after, before) << relative;
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
            EXPECT_EQ(content(tools, entry.path(), sid), content(tools, familyHistory, sid)) << relative << " " << sid;
    }
    sqlRollbackRelease();
    EXPECT_GT(trimmed, 0) << "no history lost a delta";
    EXPECT_GE(binary, 1) << "a binary directory's versions rebuilt";
    EXPECT_EQ(snapshot(family.home + "/vc"), familyBefore) << "the family's histories changed";
}

// What breaks the family (a shell command run in its home, then SQL), the
// family's tool set, a variable for the run, and how its level archive of
// r2lvl02 ends: with status 1 its output holds the message; with status 0,
// where the design passes over what is broken, the information file holds
// the texts.  @HOME@ and @ARCH@ stand for the family home and the archive
// directory.
struct BrokenCase {
    const char* name;
    const char* shell = "true";
    const char* sql = "";
    const char* vc = "sccs";
    const char *variable = "", *value = "";
    int status = 1;
    std::vector<const char*> expected;
};

class BrokenFamilyTest : public ::testing::TestWithParam<BrokenCase> {
protected:
    std::string expand(const std::string& text) const {
        return std::regex_replace(std::regex_replace(text, std::regex("@HOME@"), family_.home), std::regex("@ARCH@"),
                                  arch_);
    }

    testing::BuiltFamily family_;
    std::string arch_;
};

// The broken family's level archive ends with the case's status.  A run that stops has been asked to
// remove the archived objects, yet the family (database, maps, configuration files, histories) is as
// it was and the clean-up leaves the archive directory empty; a run that completes changes nothing in
// the family either.
TEST_P(BrokenFamilyTest, EndsWithItsStatusAndLeavesTheFamilyAsItWas) {
    const BrokenCase& c = GetParam();
    const std::string root = testing::scratchDir() + "/" + c.name;
    arch_ = root + "/arch";
    fs::remove_all(root);
    family_ = testing::buildFamily(root + "/family", std::string("--size=tiny --db=oracle --vc=") + c.vc);
    fs::create_directories(arch_);
    ASSERT_EQ(std::system(("cd " + shellQuote(family_.home) + " && " + c.shell).c_str()), 0) << c.shell;
    ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecuteScript(c.sql), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0);
    sqlRollbackRelease();
    const auto familyBefore = snapshot(family_.home);
    std::map<std::string, std::string> extra;
    if (*c.variable)
        extra[c.variable] = c.value;
    const std::string removal = c.status == 1 ? "2\n2\n" : "1\n";  // asked for, then confirmed
    const std::string answers = "2\n1\nr2lvl02\nrel2\n" + removal + "1\n" + arch_ + "\n";
    const std::string output = testing::runArchive(family_, answers, extra);
    ASSERT_TRUE(output.ends_with("status=" + std::to_string(c.status) + "\n")) << output;
    const std::string where = c.status == 1 ? output : testing::readText(arch_ + "/PELOarchive.info");
    for (const char* text : c.expected)
        EXPECT_NE(where.find(expand(text)), std::string::npos) << expand(text) << "\nis not in\n" << where;
    if (c.status == 1) {
        EXPECT_TRUE(fs::is_empty(arch_)) << "the clean-up left files in the archive directory";
    }
    EXPECT_EQ(snapshot(family_.home), familyBefore) << "the run changed the family";
}

const BrokenCase brokenCases[] = {
    // Histories.
    {.name = "VlogFails", .shell = "echo 'not a history' >vc/0/0/0/0/s.06", .vc = "pvcs",
     .expected = {"\n0010-992 The peloarchive program cannot continue.  The\n"
                  "         version control file, @ARCH@/vc/0/0/0/0/s.06,\n"
                  "         cannot be cleaned up successfully.  The following\n"
                  "         error occurred:\n         vlog: error: @ARCH@/vc/0/0/0/0/s.06 is not an archive\n.\n"}},
    // The oldest version of an archived history gets a SID the history does not have, so its delta
    // 1.1 is not archived while newer ones are: rmdel removes only the newest delta.
    {.name = "DeltaCannotBeRemoved",
     .sql = "UPDATE VERSIONS SET SID = '9.9' WHERE PREVIOUSID = 0 AND SOURCEID IN (SELECT f.SOURCEID FROM FILES f"
            "  JOIN CHANGES c ON c.FILEID = f.ID JOIN LEVELS l ON l.ID = c.LEVELID"
            "  WHERE l.NAME = 'r2lvl02' AND f.TYPE = 'text' AND c.VERSIONID IN (SELECT ID FROM VERSIONS WHERE PREVIOUSID <> 0))",
     .expected = {"\n0010-992 The peloarchive program cannot continue.  The\n         version control file, "}},
    // A remark of 32 001 two-byte characters: one character more than its field holds.  Archived cut, it
    // would then be removed whole; the fetch ends the run before anything is written or removed.
    {.name = "RemarkLongerThanItsField", .sql = "UPDATE VERSIONS SET REMARKS = replace(hex(zeroblob(32001)), '00', '\u00e9')",
     .expected = {"\n0010-981 The peloarchive program is cleaning up and exiting as a\n"}},
    // What the design passes over, in one run: a configuration file is taken only when present; a change
    // whose file is gone marks its source destroyed, whose history is then taken whole; a version or a
    // defect that cannot be read is passed over.
    {.name = "PassedOver", .shell = "rm configField/DefectConfigTbl",
     .sql = "DELETE FROM FILES WHERE SOURCEID = 7;"
            "DELETE FROM VERSIONS WHERE ID IN (SELECT c.VERSIONID FROM CHANGES c JOIN LEVELS l ON l.ID = c.LEVELID"
            "  WHERE l.NAME = 'r2lvl02' AND c.TYPE = 'rename');"
            "DELETE FROM DEFECTS WHERE ID IN (SELECT t.DEFECTID FROM TRACKS t JOIN LEVELMEMBERS m ON m.TRACKID = t.ID"
            "  JOIN LEVELS l ON l.ID = m.LEVELID WHERE l.NAME = 'r2lvl02')",
     .status = 0,
     .expected = {"\n@HOME@/cfgrelproc.ld\n@HOME@/configField/FeatureConfigTbl\n", "\n@HOME@/vc/0/0/0/0/s.07\n",
                  "\nVersions         = 10\n", "\nDefects(Features)= 3\n"}},
    // The destroyed source's history is not there to be taken.
    {.name = "DestroyedFileHistoryMissing", .shell = "rm vc/0/0/0/0/s.07",
     .sql = "DELETE FROM FILES WHERE SOURCEID = 7",
     .expected = {"\n0010-939 An error occurred when the peloarchive program attempted to\n"
                  "         process the opendir() function.  Verify that the user running the\n"
                  "         peloarchive program has access to read and write to the\n"
                  "         @HOME@/vc/0/0/0/0/b.07 file system.\n"}},
    {.name = "ToolDirectoryNotSet", .variable = "PELO_VCBIN", .value = " \t ",
     .expected = {"         error occurred:\n         the PELO_VCBIN environment variable does not name the directory of\n"}},
};

INSTANTIATE_TEST_SUITE_P(Broken, BrokenFamilyTest, ::testing::ValuesIn(brokenCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
