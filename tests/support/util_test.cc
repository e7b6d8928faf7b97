#include "support/util.h"
#include "support/fileCopy.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
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

TEST(PathTest, DirPathAndBasePath) {
    EXPECT_EQ(dirPath("/a"), "/");
    EXPECT_EQ(dirPath("a/b/c"), "a/b");
    EXPECT_EQ(dirPath("abc"), std::nullopt);
    EXPECT_EQ(dirPath("/x/y/"), "/x/y");
    EXPECT_EQ(basePath("a/b/c"), "c");
    EXPECT_EQ(basePath("abc"), "abc");
    EXPECT_EQ(basePath("a/"), "");
}

TEST_F(ScratchDir, TempNameKeepsTheDirectoryAndIsFree) {
    std::string first, second;
    std::string file = (scratch / "file").string();
    EXPECT_EQ(getTempName(file, first), 0);
    ASSERT_EQ(first.size(), scratch.string().size() + 1 + 7);
    EXPECT_EQ(first.rfind(scratch.string() + "/b", 0), 0u);
    EXPECT_EQ(fileIsThere(first.c_str()), 0) << "the name is free, not created";
    getTempName(file, second);
    EXPECT_NE(first, second);
}

// The file helpers answer 1 for failure, never -1, and leave no stale
// value in their output.
TEST_F(ScratchDir, FileHelpersTellFilesFromDirectoriesAndFailWithOne) {
    std::string deep = (scratch / "a/b/c").string();
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0);
    EXPECT_TRUE(dirExists(deep.c_str()));
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0) << "an existing directory succeeds";
    std::string file = (scratch / "plain").string();
    int fd = -2;
    ASSERT_EQ(openFile(fd, file.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0640), 0);
    ASSERT_EQ(::write(fd, "12345", 5), 5);
    close(fd);
    EXPECT_EQ(openFile(fd, file.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0640), 1);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(fileIsThere(file.c_str()), 1);
    EXPECT_EQ(dirExists(file.c_str()), 0);
    EXPECT_NE(dirExists(scratch.c_str()), 0);
    EXPECT_EQ(makePath((file + "/sub/dir").c_str(), 0755), 1) << "a plain file stands in the way";
    EXPECT_EQ(makeDir(file.c_str(), 0755), 1);
    EXPECT_EQ(changeMode((scratch / "none").c_str(), 0600), 1);

    off_t size = -1;
    EXPECT_EQ(getFileSize(file.c_str(), size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(getFileSize((scratch / "none").c_str(), size), 1);
    EXPECT_EQ(size, 0);
}

// A family home and a place outside it, with one entry of every kind the
// refusal tells apart.  The FIFO would block a walk that opened it.
class FamilyPathTest : public ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        home = (scratch / "home").string();
        fs::create_directories(scratch / "home/d");
        fs::create_directories(scratch / "outside/r");
        for (const char* file : {"home/f", "home/d/g", "outside/v", "outside/r/l"})
            std::ofstream(scratch / file) << "bytes";
        ASSERT_EQ(mkfifo((scratch / "home/p").c_str(), 0600), 0);
        const std::pair<const char*, std::string> links[] = {
            {"in", "f"},
            {"inAbsolute", home + "/f"},
            {"out", "../outside/v"},
            {"outAbsolute", "/dev/zero"},
            {"chain1", "chain2"},
            {"chain2", "d/../chain3"},
            {"chain3", "f"},
            {"chainOut1", "chainOut2"},
            {"chainOut2", "../outside/v"},
            {"danglingOut", "../outside/none"},
            {"outAndBack", "../home/f"},
            {"maps", "../outside"},
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
    {"RegularFile", "f", false, ""},
    {"RegularFileWhereADirectoryIsWanted", "f", true, "@HOME@/f is a regular file, not a directory"},
    {"Directory", "d", true, ""},
    {"DirectoryWhereAFileIsWanted", "d", false, "@HOME@/d is a directory, not a regular file"},
    {"Fifo", "p", false, "@HOME@/p is a FIFO"},
    {"FileOnTheWay", "f/x", false, "@HOME@/f is a regular file, not a directory"},
    {"LinkInside", "in", false, ""},
    {"AbsoluteLinkInside", "inAbsolute", false, ""},
    {"LinkToADirectoryInside", "dirLink/g", false, ""},
    {"LinkOutside", "out", false, "@HOME@/out is a symbolic link that leads outside the family home"},
    {"LinkToADevice", "outAbsolute", false, "@HOME@/outAbsolute is a symbolic link that leads outside the family home"},
    {"LinkChainInside", "chain1", false, ""},
    {"LinkChainOutside", "chainOut1", false, "@HOME@/chainOut2 is a symbolic link that leads outside the family home"},
    {"DanglingLinkOutside", "danglingOut", false,
     "@HOME@/danglingOut is a symbolic link that leads outside the family home"},
    {"LinkOutAndBackIn", "outAndBack", false, "@HOME@/outAndBack is a symbolic link that leads outside the family home"},
    {"DirectoryOnTheWayLinkedOutside", "maps/r/l", false,
     "@HOME@/maps is a symbolic link that leads outside the family home"},
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

class WideTextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(WideTextTest, InvalidSequenceEndsTheProcess) {
    EXPECT_EXIT(convertMBStoWCS("bad \xff byte"), ::testing::ExitedWithCode(1), "");
}

// What the copy takes and what it gives: bytes whole, a link followed,
// cp's permission bits, and every other kind of file refused at once.
TEST_F(ScratchDir, CopyRegularFileOnlyAndAsCpWould) {
    const mode_t oldMask = umask(022);
    const std::string big(300000, 'x');
    std::ofstream(scratch / "src") << big;
    chmod((scratch / "src").c_str(), 04775);
    fs::create_symlink(scratch / "src", scratch / "link");
    ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (scratch / "sock").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::ofstream(scratch / "there") << "old text that is longer";
    chmod((scratch / "there").c_str(), 0600);
    const auto mode = [&](const char* name) { return fs::status(scratch / name).permissions(); };
    const struct {
        const char* name;
        std::string source;
        const char* target;
        std::string complaint;  // "" for a whole copy
    } cases[] = {
        {"NewTarget", "src", "new", ""},
        {"LinkFollowed", "link", "fromLink", ""},
        {"TargetThereIsOverwritten", "src", "there", ""},
        {"Fifo", "fifo", "t1", "fifo is a FIFO, not a regular file\n"},
        {"Socket", "sock", "t2", "sock is a socket, not a regular file\n"},
        {"Missing", "none", "t5", "open " + (scratch / "none").string() + ": No such file or directory\n"},
        {"TargetDirectoryMissing", "src", "no/such", "open " + (scratch / "no/such").string() + ": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = c.source.starts_with('/') ? c.source : (scratch / c.source).string();
        const std::string complaint = copyRegularFile(source, (scratch / c.target).string());
        EXPECT_TRUE(complaint.ends_with(c.complaint)) << complaint;
        EXPECT_EQ(complaint.empty(), c.complaint.empty()) << complaint;
        if (c.complaint.empty()) {
            std::ifstream copy(scratch / c.target);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), big);
        } else {
            EXPECT_FALSE(fs::exists(scratch / c.target)) << "nothing half-made is left";
        }
    }
    close(sock);
    umask(oldMask);
    EXPECT_EQ(mode("new"), fs::perms(0755)) << "no set-id bits, umask applied";
    EXPECT_EQ(mode("there"), fs::perms(0600)) << "a target that was there keeps its mode";
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
