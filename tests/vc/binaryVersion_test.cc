// Binary histories: where they live, the reverse-difference format as
// binmerge reads it, and rebuilding a version from the nearest full copy.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "vc/binaryVersion.h"
#include "vc/binmerge.h"
#include "vc/location.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

class BinaryVersionTest : public ScratchDirTest {
protected:
    static DiffRecord record(int offset, std::uint8_t kind, int length, std::string data = "", int skip = 0) {
        DiffRecord r;
        r.offset = offset;
        r.kind = kind;
        r.length = length;
        r.data = std::move(data);
        r.skip = skip;
        return r;
    }
    /// Three versions in a binary directory: 1.3 as the only full copy and
    /// the differences 1.3d (1.3 to 1.2) and 1.2d (1.2 to 1.1).
    void makeThreeVersions() {
        write("1.3", "The quick red fox leaps.");
        // 1.2 is "The quick brown fox leaps."
        ASSERT_EQ(writeReverseDifference(path("1.3d"), {record(10, diffReplace, 5, "brown", 3)}), 0);
        // 1.1 is "The brown fox jumps over."
        ASSERT_EQ(writeReverseDifference(path("1.2d"), {record(4, diffSkip, 6),
                                                        record(14, diffReplace, 10, "jumps over", 5)}),
                  0);
    }
};

TEST_F(BinaryVersionTest, LocationSplitsTheFirstFourDigitsIntoDirectories) {
    EXPECT_STREQ(vcLocation(1234, vcText), "0/0/1/2/s.34");
    EXPECT_STREQ(vcLocation(1234567, vcText), "1/2/3/4/s.567");
    EXPECT_STREQ(vcLocation(7, vcLong), "0/0/0/0/b.07");
    EXPECT_STREQ(vcLocation(123456, vcPVCSBinary), "1/2/3/4/s.56");
}

TEST_F(BinaryVersionTest, SidArithmeticCrossesADigitBoundary) {
    std::string sid = "1.10";
    vcCalcPreviousVer(sid);
    EXPECT_EQ(sid, "1.9");
    vcCalcNextVer(sid);
    EXPECT_EQ(sid, "1.10");
    std::string branch = "1.2.1.9";
    vcCalcNextVer(branch);
    EXPECT_EQ(branch, "1.2.1.10");
}

TEST_F(BinaryVersionTest, MergeAppliesSkipInsertAndReplaceRecords) {
    write("base", "HELLO brave new WORLD");
    ASSERT_EQ(writeReverseDifference(path("d"), {record(6, diffReplace, 3, "old", 6),
                                                 record(9, diffSkip, 3),
                                                 record(11, diffSkip, 1),
                                                 record(14, diffInsert, 1, "!")}),
              0);
    ASSERT_EQ(binmerge(path("base").c_str(), path("out").c_str(), path("d").c_str()), 0);
    EXPECT_EQ(read("out"), "HELLO old WRLD!");
    struct stat status;
    ASSERT_EQ(stat(path("out").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(BinaryVersionTest, MergeReportsEachMissingFileByItsCode) {
    write("base", "abc");
    write("d", "");
    EXPECT_EQ(binmerge(path("none").c_str(), path("out").c_str(), path("d").c_str()), 3);
    EXPECT_EQ(binmerge(path("base").c_str(), path("no/such/dir/out").c_str(), path("d").c_str()), 4);
    EXPECT_EQ(binmerge(path("base").c_str(), path("out").c_str(), path("none").c_str()), 5);
    EXPECT_FALSE(fs::exists(path("out")));
    // An empty difference is the base unchanged.
    EXPECT_EQ(binmerge(path("base").c_str(), path("out").c_str(), path("d").c_str()), 0);
    EXPECT_EQ(read("out"), "abc");
}

TEST_F(BinaryVersionTest, MergeRefusesInconsistentDifferencesAndLeavesNoOutput) {
    write("base", "0123456789");
    ASSERT_EQ(writeReverseDifference(path("behind"), {record(5, diffInsert, 2, "xx"), record(3, diffInsert, 1, "y")}), 0);
    ASSERT_EQ(writeReverseDifference(path("pastEnd"), {record(12, diffInsert, 1, "z")}), 0);
    ASSERT_EQ(writeReverseDifference(path("negative"), {record(0, diffSkip, -4)}), 0);
    write("shortData", std::string("\0\0\0\0\5\0\0\0\1ab", 11));
    write("shortHead", std::string("\0\0\0\0\5\0", 6));
    for (const char* d : {"behind", "pastEnd", "negative", "shortData", "shortHead"}) {
        EXPECT_EQ(binmerge(path("base").c_str(), path("out").c_str(), path(d).c_str()), 6) << d;
        EXPECT_FALSE(fs::exists(path("out"))) << d;
    }
    // No temporary output is left behind either.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()), 6);
}

// In place, the rebuilt version joins the full copy and the versions on
// the way are dropped again; to an output, the directory is left alone.  A
// full copy that is there already is reported and untouched.
TEST_F(BinaryVersionTest, RebuildKeepsTheDirectoryAsItWas) {
    makeThreeVersions();
    std::string messages;
    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.1"), nullptr, &messages), 0);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(read("1.1"), "The brown fox jumps over.");
    EXPECT_EQ(read("1.3"), "The quick red fox leaps.");
    EXPECT_FALSE(fs::exists(path("1.2")));
    EXPECT_TRUE(fs::exists(path("1.3d")) && fs::exists(path("1.2d")));

    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.2"), path("copy").c_str(), nullptr), 0);
    EXPECT_EQ(read("copy"), "The quick brown fox leaps.");
    EXPECT_FALSE(fs::exists(path("1.2")));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()), 5);

    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.3"), nullptr, nullptr), 1);
    EXPECT_EQ(read("1.3"), "The quick red fox leaps.");
}

TEST_F(BinaryVersionTest, InvalidVersionsAndBrokenChainsAreExplained) {
    makeThreeVersions();
    std::string messages;
    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.0"), nullptr, &messages), -1);
    EXPECT_NE(messages.find("0011-106"), std::string::npos);
    EXPECT_NE(messages.find(path("1.0")), std::string::npos);
    messages.clear();
    fs::remove(path("1.2d"));
    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.1"), nullptr, &messages), -1);
    EXPECT_NE(messages.find("0011-157 binmerge could not open file " + path("1.2d")), std::string::npos);
    EXPECT_NE(messages.find("0011-107"), std::string::npos);
    // The version rebuilt before the failure stays as a full copy.
    EXPECT_EQ(read("1.2"), "The quick brown fox leaps.");
    messages.clear();
    fs::remove(path("1.3"));
    fs::remove(path("1.2"));
    EXPECT_EQ(vcGetSCCSBinaryFile(path("1.1"), nullptr, &messages), -1);
    EXPECT_NE(messages.find("0011-106"), std::string::npos);
}

}  // namespace
}  // namespace pelo
