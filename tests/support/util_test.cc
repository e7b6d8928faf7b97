#include "support/util.h"
#include "support/fileCopy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

using ScratchDir = ScratchDirTest;

// A blank value counts as unset (the scenarios show it); a set one loses
// its outer blanks and tabs only.
TEST(EnvTest, TrimsOuterBlanksAndTabs) {
    setenv("PELO_TEST_VAR", "  sccs\t", 1);
    EXPECT_EQ(env("PELO_TEST_VAR"), "sccs");
    setenv("PELO_TEST_VAR", "\ta b ", 1);
    EXPECT_EQ(env("PELO_TEST_VAR"), "a b") << "inner blanks stay";
    unsetenv("PELO_TEST_VAR");
}

// makePath makes what is missing and takes what is there; getFileSize
// leaves no stale size behind a failure.
TEST_F(ScratchDir, MakePathAndFileSize) {
    std::string deep = (scratch / "a/b/c").string();
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0);
    EXPECT_TRUE(dirExists(deep.c_str()));
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0) << "an existing directory succeeds";
    write("plain", "12345");
    EXPECT_NE(makePath(path("plain/sub/dir").c_str(), 0755), 0) << "a plain file stands in the way";

    off_t size = -1;
    EXPECT_EQ(getFileSize(path("plain").c_str(), size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_NE(getFileSize(path("none").c_str(), size), 0);
    EXPECT_EQ(size, 0);
}

// A family home and a place outside it, with the links and paths a walk
// must see through.  Plain files, FIFOs, links to a file of the family and
// directories linked outside it are the whole runs' to show.
class FamilyPathTest : public ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        home = (scratch / "home").string();
        fs::create_directories(scratch / "home/d");
        fs::create_directories(scratch / "outside");
        for (const char* file : {"home/f", "home/d/g", "outside/v"})
            std::ofstream(scratch / file) << "bytes";
        const std::pair<const char*, std::string> links[] = {
            {"inAbsolute", home + "/f"},
            {"out", "../outside/v"},
            {"chain1", "chain2"},
            {"chain2", "d/../chain3"},
            {"chain3", "f"},
            {"chainOut1", "chainOut2"},
            {"chainOut2", "../outside/v"},
            {"danglingOut", "../outside/none"},
            {"outAndBack", "../home/f"},
            {"loop1", "loop2"},
            {"loop2", "loop1"},
            {"dirLink", "d"},
        };
        for (const auto& [name, target] : links)
            fs::create_directory_symlink(target, scratch / "home" / name);
        fs::create_directory_symlink("home", scratch / "homeLink");
        fs::create_directory_symlink("home", scratch / "otherLink");
        fs::create_directory_symlink((scratch / "homeLink/f").string(), scratch / "home/inLinked");
        fs::create_directory_symlink((scratch / "otherLink/f").string(), scratch / "home/inOtherLink");
        fs::create_directory_symlink(fs::canonical(scratch / "home").string() + "/f", scratch / "home/inResolved");
    }

    std::string home;
};

// How each path below the home fares; @HOME@ is the home as the caller
// gave it.  "" is a path that may be used.
struct RefusalCase {
    const char* name;
    const char* path;  ///< below the home
    bool wantDirectory;
    const char* expected;
};

const RefusalCase refusalCases[] = {
    {"RegularFileWhereADirectoryIsWanted", "f", true, "@HOME@/f is a regular file, not a directory"},
    {"DirectoryWhereAFileIsWanted", "d", false, "@HOME@/d is a directory, not a regular file"},
    {"FileOnTheWay", "f/x", false, "@HOME@/f is a regular file, not a directory"},
    {"AbsoluteLinkInside", "inAbsolute", false, ""},
    {"LinkToADirectoryInside", "dirLink/g", false, ""},
    {"LinkOutside", "out", false, "@HOME@/out is a symbolic link that leads outside the family home"},
    {"LinkChainInside", "chain1", false, ""},
    {"LinkChainOutside", "chainOut1", false, "@HOME@/chainOut2 is a symbolic link that leads outside the family home"},
    {"DanglingLinkOutside", "danglingOut", false,
     "@HOME@/danglingOut is a symbolic link that leads outside the family home"},
    {"LinkOutAndBackIn", "outAndBack", false, "@HOME@/outAndBack is a symbolic link that leads outside the family home"},
    {"LinkLoop", "loop1", false, "@HOME@/loop1 is a symbolic link in a loop or in a chain of more than 40"},
    {"Missing", "none/x", false, ""},
    {"DotDotInside", "d/../f", false, ""},
    {"DotDotOutside", "d/../../outside/v", false, "@HOME@/.. leads outside the family home"},
};

TEST_F(FamilyPathTest, TellsWhatThePathIs) {
    for (const RefusalCase& c : refusalCases) {
        SCOPED_TRACE(c.name);
        const std::string expected = std::regex_replace(c.expected, std::regex("@HOME@"), home);
        EXPECT_EQ(familyPathRefusal(home, home + "/" + c.path, c.wantDirectory), expected) << "the full path";
        EXPECT_EQ(familyPathRefusal(home + "/", c.path, c.wantDirectory), expected) << "the part below the home";
    }
}

// The home reached through a link: an absolute link that names it as the
// kernel resolves it stays inside; a path elsewhere is refused unwalked.
TEST_F(FamilyPathTest, HomeThroughALinkAndPathsElsewhere) {
    const std::string linked = (scratch / "homeLink").string();
    EXPECT_EQ(familyPathRefusal(linked, linked + "/inResolved", false), "");
    EXPECT_EQ(familyPathRefusal(linked, linked + "/inLinked", false), "");
    EXPECT_EQ(familyPathRefusal(linked, linked + "/inOtherLink", false),
              linked + "/inOtherLink is a symbolic link that leads outside the family home")
        << "the link names the home by a path that is neither the one given nor the resolved one";
    EXPECT_EQ(familyPathRefusal(home, home + "x/f", false), home + "x/f is not below the family home");
    EXPECT_EQ(familyPathRefusal("/dev", "/dev/null", false), "/dev/null is a character device");
}

// What the copy takes and what it gives: bytes whole, a link followed,
// cp's permission bits, and every other kind of file refused at once.
TEST_F(ScratchDir, CopyRegularFileOnlyAndAsCpWould) {
    const mode_t oldMask = umask(022);
    const std::string big(300000, 'x');
    write("src", big);
    chmod(path("src").c_str(), 04775);
    fs::create_symlink(path("src"), path("link"));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    write("there", "old text that is longer");
    chmod(path("there").c_str(), 0600);
    const struct {
        const char* name;
        const char* source;
        const char* target;
        std::string complaint;  // "" for a whole copy
    } cases[] = {
        {"NewTarget", "src", "new", ""},
        {"LinkFollowed", "link", "fromLink", ""},
        {"TargetThereIsOverwritten", "src", "there", ""},
        {"Fifo", "fifo", "t1", "fifo is a FIFO, not a regular file\n"},
        {"TargetDirectoryMissing", "src", "no/such", "open " + path("no/such") + ": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string complaint = copyRegularFile(path(c.source), path(c.target));
        EXPECT_TRUE(complaint.ends_with(c.complaint)) << complaint;
        EXPECT_EQ(complaint.empty(), c.complaint.empty()) << complaint;
        EXPECT_EQ(fs::exists(path(c.target)), c.complaint.empty()) << "nothing half-made is left";
        if (c.complaint.empty())
            EXPECT_EQ(read(c.target), big);
    }
    umask(oldMask);
    EXPECT_EQ(fs::status(path("new")).permissions(), fs::perms(0755)) << "no set-id bits, umask applied";
    EXPECT_EQ(fs::status(path("there")).permissions(), fs::perms(0600)) << "a target that was there keeps its mode";
}

// A tree goes with its links, never what they lead to; a missing file is a
// complaint, a missing tree is not; a directory that holds something stays.
TEST_F(ScratchDir, RemovalsTakeWhatTheyNameOnly) {
    fs::create_directories(scratch / "tree/sub");
    std::ofstream(scratch / "tree/sub/s.1") << "x";
    std::ofstream(scratch / "outside") << "kept";
    fs::create_symlink(scratch / "outside", scratch / "tree/link");
    fs::create_directory_symlink(scratch / "tree/sub", scratch / "tree/dirLink");
    fs::create_directories(scratch / "full");
    std::ofstream(scratch / "full/f") << "x";
    EXPECT_EQ(removeTree((scratch / "tree").string()), "");
    EXPECT_FALSE(fs::exists(scratch / "tree"));
    EXPECT_TRUE(fs::exists(scratch / "outside"));
    EXPECT_EQ(removeTree((scratch / "tree").string()), "") << "nothing there is no complaint";
    EXPECT_EQ(removeFile((scratch / "none").string()), "unlink " + (scratch / "none").string() + ": No such file or directory\n");
    EXPECT_EQ(removeEmptyDirectory((scratch / "full").string()),
              "rmdir " + (scratch / "full").string() + ": Directory not empty\n");
    EXPECT_TRUE(fs::exists(scratch / "full/f"));
}

}  // namespace
}  // namespace pelo
