// Families whose names or files would lead a run outside them: a level or
// release name that climbs out of maps/, and level maps, configuration
// files, histories and the directories above them that are FIFOs or links
// out of the family, each kind of place once, in one of the runs that read
// it (util_test.cc names the other kinds of file).  Each run of the real
// binary, asked to remove what it archives, ends within a bound with its
// message and status 1, and leaves the family, the files outside it
// (planted with known bytes) and the archive directory as they were.  A
// link that stays inside the family is followed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "archive/builtFamily.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

enum class Run { checkOnly, fileSystem, device };

/// How a case breaks its family: a shell command run in the family home
/// (@OUT@ is the directory outside it) and SQL; then the run, the archive
/// asked for, and the message its output must hold (@HOME@, @OUT@, @ARCH@
/// and @DEV@ stand for the home, the outside directory, the archive
/// directory and the device).  status 0: the run completes.
struct BadCase {
    const char* name;
    const char* shell = "true";
    const char* sql = "";
    Run run = Run::fileSystem;
    const char* request = "1\nr2lvl02\nrel2\n";  ///< a level archive; "2\nNAMES\n" for releases
    const char* expected = "";
    int status = 1;
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

// The message of a check-only run, up to its error text.
#define ESTIMATE(PATH)                                                               \
    "\n0012-003 The peloarchive program cannot estimate the amount of storage\n"     \
    "         required for the archive.  The PELO family's file\n"                    \
    "         " PATH " cannot be used.\n"                                              \
    "         The following error was reported:\n         "
#define OUTSIDE " is a symbolic link that leads outside the family home\n"

const BadCase badCases[] = {
    // A release name (level names are refused alike by the checks' own
    // tests).  Without the rule rel1's maps would be read from outside,
    // copied outside the archive and removed there.
    {.name = "ReleaseNameClimbsOutOfTheMaps",
     .shell = "mkdir ../../o && mv maps/rel1/r1lvl01 ../../o/",
     .sql = "UPDATE RELEASES SET NAME = '../../../o' WHERE NAME = 'rel1'",
     .request = "2\n../../../o\n",
     .expected = ".. complete.\n\n0012-002 The peloarchive program cannot continue.  The release or\n"
                 "         level name \"../../../o\" cannot name a level map.\n"},
    // Level maps.  The removal would unlink the archived maps through the link.
    {.name = "MapsDirectoryLinksOutside", .shell = "mv maps '@OUT@/maps' && ln -s '@OUT@/maps' maps",
     .expected = "\n0010-941 The peloarchive program cannot complete successfully.  It cannot\n"
                 "         copy the map for level r2lvl01 associated with release rel2\n"
                 "         to the @ARCH@ file system.  The following error\n"
                 "         was reported:\n         @HOME@/maps" OUTSIDE},
    {.name = "ReleaseMapsDirectoryIsAFifo", .shell = "rm -r maps/rel2 && mkfifo maps/rel2", .run = Run::checkOnly,
     .expected = ESTIMATE("@HOME@/maps/rel2/r2lvl01") "@HOME@/maps/rel2 is a FIFO, not a directory\n"},
    // Configuration files.
    {.name = "ConfigFileLinksOutside", .shell = "ln -sf '@OUT@/victim' interest.ld",
     .expected = "\n0010-945 The peloarchive program cannot complete successfully.  The\n"
                 "         file @HOME@/interest.ld cannot be copied to the \n"
                 "         @ARCH@ file system.\n"
                 "         The following error was reported:\n"
                 "         @HOME@/interest.ld" OUTSIDE},
    // Configurable-field tables, which the populate file reads before the
    // configuration files are copied: never opened, then refused by name.
    {.name = "ConfigFieldTableIsAFifo",
     .shell = "rm configField/DefectConfigTbl && mkfifo configField/DefectConfigTbl", .run = Run::checkOnly,
     .expected = ESTIMATE("@HOME@/configField/DefectConfigTbl") "@HOME@/configField/DefectConfigTbl is a FIFO\n"},
    // Histories, and the directories above them.
    {.name = "HistoryIsAFifo", .shell = "rm vc/0/0/0/0/s.06 && mkfifo vc/0/0/0/0/s.06", .run = Run::device,
     .expected = "\n0012-004 The peloarchive program cannot complete successfully.  The\n"
                 "         PELO family's file @HOME@/vc/0/0/0/0/s.06 cannot be archived\n"
                 "         to the @DEV@ device.\n"
                 "         The following error was reported:\n         @HOME@/vc/0/0/0/0/s.06 is a FIFO\n"},
    {.name = "VcDirectoryLinksOutside", .shell = "mv vc '@OUT@/vc' && ln -s '@OUT@/vc' vc", .run = Run::checkOnly,
     .expected = ESTIMATE("@HOME@/vc/0/0/0/0/s.06") "@HOME@/vc" OUTSIDE},
    {.name = "BinaryVersionLinksOutside", .shell = "rm vc/0/0/0/0/b.10/1.4 && ln -s '@OUT@/victim' vc/0/0/0/0/b.10/1.4",
     .request = "1\nr2lvl03\nrel2\n",
     .expected = "\n0010-952 The peloarchive program cannot complete successfully.\n"
                 "         The version control files cannot be copied to the\n"
                 "         @ARCH@ file system.\n"
                 "         The following error was reported:\n         @HOME@/vc/0/0/0/0/b.10/1.4" OUTSIDE},
    // A link that stays in the family is followed: r2lvl01's map is rel1's.
    {.name = "MapLinkInsideIsFollowed", .shell = "ln -sf ../rel1/r1lvl01 maps/rel2/r2lvl01", .status = 0},
};

#undef ESTIMATE
#undef OUTSIDE

/// Every entry below a directory, links not followed: its kind, and the
/// bytes of a regular file or the text of a link.
std::map<std::string, std::string> entries(const fs::path& dir) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const fs::file_status status = entry.symlink_status();
        std::string what = std::to_string(static_cast<int>(status.type())) + ":";
        if (status.type() == fs::file_type::regular)
            what += testing::readText(entry.path().string());
        else if (status.type() == fs::file_type::symlink)
            what += fs::read_symlink(entry.path()).string();
        found[fs::relative(entry.path(), dir).string()] = what;
    }
    return found;
}

class BadFamilyTest : public ::testing::TestWithParam<BadCase> {
protected:
    void SetUp() override {
        root_ = testing::scratchDir() + "/bad-" + GetParam().name;
        fs::remove_all(root_);
        family_ = testing::buildFamily(root_ + "/family", "--size=tiny --db=oracle --vc=sccs");
        arch_ = root_ + "/arch";
        fs::create_directories(arch_);
        fs::create_directories(outside());
        std::ofstream(outside() + "/victim") << "victim's own bytes\n";
    }

    std::string outside() const { return root_ + "/outside"; }

    std::string expand(const std::string& text) const {
        std::string out = text;
        for (const auto& [mark, value] : {std::pair<const char*, std::string>{"@HOME@", family_.home},
                                          {"@OUT@", outside()}, {"@ARCH@", arch_}, {"@DEV@", device_.path()}})
            out = std::regex_replace(out, std::regex(mark), value);
        return out;
    }

    void breakFamily() {
        const BadCase& c = GetParam();
        const std::string shell = "cd " + shellQuote(family_.home) + " && " + expand(c.shell);
        ASSERT_EQ(std::system(shell.c_str()), 0) << shell;
        ASSERT_EQ(sqlConnect(family_.env.at("PELO_DB"), "pelofam", "secret"), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript(c.sql), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlCommit(), 0);
        sqlRollbackRelease();
    }

    /// The answers of the case's run, which asks for removal when it archives.
    std::string answers() const {
        const BadCase& c = GetParam();
        switch (c.run) {
        case Run::checkOnly:
            return std::string("1\n") + c.request;
        case Run::fileSystem:
            return std::string("2\n") + c.request + "2\n2\n1\n" + arch_ + "\n";
        case Run::device:
            return std::string("2\n") + c.request + "2\n2\n2\n" + device_.path() + "\n1\n1\n";
        }
        return {};
    }

    std::string root_, arch_;
    testing::BuiltFamily family_;
    testing::ShortDevice device_;
};

TEST_P(BadFamilyTest, EndsWithItsMessageAndTouchesNothingOutside) {
    const BadCase& c = GetParam();
    ASSERT_FALSE(c.run == Run::device && device_.dir().empty()) << "no short scratch directory for the device";
    ASSERT_NO_FATAL_FAILURE(breakFamily());
    const auto before = entries(root_);
    // A run that blocked on a FIFO would be killed here, and its status 137.
    const std::string output = testing::runArchive(family_, answers(), {}, "timeout -s KILL 30");
    ASSERT_TRUE(output.ends_with("status=" + std::to_string(c.status) + "\n")) << output;
    if (c.status == 0) {
        EXPECT_EQ(testing::readText(arch_ + "/maps/rel2/r2lvl01"), testing::readText(family_.home + "/maps/rel1/r1lvl01"));
        return;  // the removal took the archived maps, as it should
    }
    EXPECT_NE(output.find(expand(c.expected)), std::string::npos) << expand(c.expected) << "\n---\n" << output;
    // The family, the files outside it (with the victim's own bytes) and the
    // archive directory, which the clean-up leaves empty.
    EXPECT_EQ(entries(root_), before) << "the run changed the family or wrote beside it";
    if (c.run == Run::device) {
        EXPECT_FALSE(fs::exists(device_.path())) << "the medium was written";
    }
}

INSTANTIATE_TEST_SUITE_P(BadFamily, BadFamilyTest, ::testing::ValuesIn(badCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
