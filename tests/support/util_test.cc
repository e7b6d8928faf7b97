#include "support/util.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace pelo {
namespace {

namespace fs = std::filesystem;

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/peloutilXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

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
    std::string file = (root / "file").string();
    EXPECT_EQ(getTempName(file, first), 0);
    ASSERT_EQ(first.size(), root.string().size() + 1 + 7);
    EXPECT_EQ(first.rfind(root.string() + "/b", 0), 0u);
    EXPECT_EQ(fileIsThere(first.c_str()), 0) << "the name is free, not created";
    getTempName(file, second);
    EXPECT_NE(first, second);
    std::string bare;
    getTempName("file", bare);
    EXPECT_EQ(bare.size(), 7u);
    EXPECT_EQ(bare[0], 'b');
}

TEST_F(ScratchDir, MakePathCreatesEveryMissingParent) {
    std::string deep = (root / "a/b/c").string();
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0);
    EXPECT_TRUE(dirExists(deep.c_str()));
    EXPECT_EQ(makePath(deep.c_str(), 0755), 0) << "an existing directory succeeds";
    EXPECT_EQ(makePath(nullptr, 0755), 0);
}

// The file helpers answer 1 for failure, never -1, and leave no stale
// value in their output.
TEST_F(ScratchDir, FileHelpersTellFilesFromDirectoriesAndFailWithOne) {
    std::string file = (root / "plain").string();
    int fd = -2;
    ASSERT_EQ(openFile(fd, file.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0640), 0);
    ASSERT_EQ(write(fd, "12345", 5), 5);
    close(fd);
    EXPECT_EQ(openFile(fd, file.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0640), 1);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(fileIsThere(file.c_str()), 1);
    EXPECT_EQ(dirExists(file.c_str()), 0);
    EXPECT_NE(dirExists(root.c_str()), 0);
    EXPECT_EQ(makePath((file + "/sub/dir").c_str(), 0755), 1) << "a plain file stands in the way";
    EXPECT_EQ(makeDir(file.c_str(), 0755), 1);
    EXPECT_EQ(changeMode((root / "none").c_str(), 0600), 1);

    off_t size = -1;
    EXPECT_EQ(getFileSize(file.c_str(), size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(getFileSize((root / "none").c_str(), size), 1);
    EXPECT_EQ(size, 0);
}

class WideTextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(WideTextTest, MultibyteTextConvertsBothWays) {
    std::wstring wide = convertMBStoWCS("\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(wide, L"\u00e9t\u00e9");
    EXPECT_EQ(convertWCStoMBS(wide), "\xc3\xa9t\xc3\xa9");
}

TEST_F(WideTextTest, InvalidSequenceEndsTheProcess) {
    EXPECT_EXIT(convertMBStoWCS("bad \xff byte"), ::testing::ExitedWithCode(1), "");
}

TEST_F(WideTextTest, GetwcharReadsWholeCharacters) {
    FILE* input = tmpfile();
    ASSERT_NE(input, nullptr);
    fputs("a\xc3\xa9\xe6\x97\xa5", input);
    rewind(input);
    FILE* saved = stdin;
    stdin = input;
    EXPECT_EQ(getwchar(), static_cast<wint_t>(L'a'));
    EXPECT_EQ(getwchar(), static_cast<wint_t>(L'\u00e9'));
    EXPECT_EQ(getwchar(), static_cast<wint_t>(L'\u65e5'));
    EXPECT_EQ(getwchar(), WEOF);
    stdin = saved;
    fclose(input);
}

TEST(WcstokTest, SkipsRunsOfDelimitersAndLeavesTheInputAlone) {
    const wchar_t input[] = L"a,,b";
    EXPECT_STREQ(wcstok(input, L","), L"a");
    EXPECT_STREQ(wcstok(nullptr, L","), L"b");
    EXPECT_EQ(wcstok(nullptr, L","), nullptr);
    EXPECT_EQ(wcstok(nullptr, L","), nullptr) << "the scan stays finished";
    EXPECT_STREQ(input, L"a,,b");
    EXPECT_EQ(wcstok(L",,,", L","), nullptr);
    EXPECT_STREQ(wcstok(L" one two", L" "), L"one");
    EXPECT_STREQ(wcstok(L"fresh", L" "), L"fresh") << "a new text restarts the scan";
}

}  // namespace
}  // namespace pelo
