// The manifest's text as sha256sum reads it, for names that need its
// escapes, and the digests it is made of, which read only the archive's
// own files.
#include "archive/archManifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/commandLine.h"
#include "support/digest.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

class ManifestTextTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        rootFd_ = open(scratch.c_str(), O_RDONLY | O_DIRECTORY);
    }
    void TearDown() override {
        close(rootFd_);
        ScratchDirTest::TearDown();
    }

    ManifestFile add(const std::string& path, const std::string& bytes) {
        write(path, bytes);
        ManifestFile file{path, {}};
        EXPECT_EQ(digestFile(rootFd_, path, digestBelowOnly, file.content), 0) << path;
        return file;
    }

    /// sha256sum -c of the manifest text in the root: its output and status.
    std::string check(const std::string& text) const {
        write("PELOarchive.manifest", text);
        const std::string command = "cd " + shellQuote(scratch.string()) + " && sha256sum --strict -c PELOarchive.manifest 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            output += char(c);
        return output + "status=" + std::to_string(WEXITSTATUS(pclose(pipe)));
    }

    int rootFd_ = -1;
};

// Names with a backslash, a new-line or a blank, and an empty file: every
// line passes, the comment lines are skipped, and the sizes and the keeps
// line read as the header says.  The reader gives back what was written,
// escapes undone.
TEST_F(ManifestTextTest, SHA256SumChecksEveryFileAndTheReaderGetsItBack) {
    const std::vector<ManifestFile> files = {add("a b/back\\slash", "one"), add("empty", ""),
                                             add("maps/r/new\nline", std::string(300000, 'x')),
                                             add("vc/0/0/0/0/s.01", "history")};
    const std::map<std::string, std::vector<std::string>> kept = {{"vc/0/0/0/0/s.01", {"1.3", "1.1"}}};
    const std::string text = manifestText(files, kept, false);
    // sha256sum's report escapes a name with a new-line the same way.
    EXPECT_EQ(check(text), "a b/back\\slash: OK\nempty: OK\n\\maps/r/new\\nline: OK\nvc/0/0/0/0/s.01: OK\nstatus=0");
    EXPECT_NE(text.find("\\" + files[0].content.sha256 + "  a b/back\\\\slash\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# size 300000 maps/r/new\\nline\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# size 0 empty\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n# keeps vc/0/0/0/0/s.01 1.3 1.1\n"), std::string::npos) << text;
    EXPECT_EQ(files[1].content.sha256, sha256Hex(""));
    EXPECT_EQ(files[2].content.size, 300000);
    const ManifestRead read = readManifestText(text);
    EXPECT_TRUE(read.unreadLines.empty());
    ASSERT_EQ(read.files.size(), files.size());
    for (const ManifestFile& file : files)
        EXPECT_EQ(read.files.at(file.path), file.content) << file.path;
    EXPECT_EQ(read.kept, kept);
}

// Lines the reader cannot take are named by number, and a file that only
// one kind of line names is marked so.
TEST_F(ManifestTextTest, ReaderNamesTheLinesItCannotTake) {
    const std::string sha = sha256Hex("");
    const ManifestRead faulty = readManifestText("# any comment\n" + sha + "  only-digest\n# size 3 only-size\n" +
                                                 sha + " one-blank\n" + "\\" + sha + "  bad\\qescape\n" + sha +
                                                 "  needs\\\\escape-mark\n# size x y\n# keeps \n");
    EXPECT_EQ(faulty.unreadLines, (std::vector<std::string>{"line 4", "line 5", "line 6", "line 7", "line 8"}));
    EXPECT_EQ(faulty.files.at("only-digest"), (FileDigest{-1, sha}));
    EXPECT_EQ(faulty.files.at("only-size"), (FileDigest{3, ""}));
    EXPECT_EQ(manifestUnescape("a\\\\b\\nc"), "a\\b\nc");
    EXPECT_FALSE(manifestUnescape("trailing\\"));
}

// Below the root only, and no link followed: a link to a file outside, or
// a directory that is a link, is refused; a path that climbs out too.
TEST_F(ManifestTextTest, DigestReadsOnlyTheArchivesOwnFiles) {
    add("inside", "data");
    fs::create_symlink("/etc/passwd", scratch / "outside");
    fs::create_directory_symlink("/etc", scratch / "etcdir");
    FileDigest digest;
    EXPECT_EQ(digestFile(rootFd_, "outside", digestBelowOnly, digest), ELOOP);
    EXPECT_EQ(digestFile(rootFd_, "etcdir/passwd", digestBelowOnly, digest), ELOOP);
    EXPECT_EQ(digestFile(rootFd_, "../" + scratch.filename().string() + "/inside", digestBelowOnly, digest),
              EXDEV);
    EXPECT_EQ(digestFile(rootFd_, "missing", digestBelowOnly, digest), ENOENT);
    EXPECT_EQ(digestFile(rootFd_, ".", 0, digest), EINVAL) << "a directory is not a file";
    ASSERT_EQ(digestFile(rootFd_, "inside", digestBelowOnly | digestFromMedium, digest), 0);
    EXPECT_EQ(digest, (FileDigest{4, sha256Hex("data")}));
}

}  // namespace
}  // namespace pelo
