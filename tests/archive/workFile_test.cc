// WorkFile: opened for appending with its mode, closed once, a failed flush
// told from a failed close.  Its removal is seen in
// archCleanUp_test.cc.
#include "archive/workFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

using WorkFileTest = ScratchDirTest;

// Reopening appends instead of truncating.  A second close must not close
// the descriptor again: by then its number belongs to the next file opened.
TEST_F(WorkFileTest, OpensWithItsModeAppendsAndClosesOnce) {
    WorkFile file;
    file.setPath((scratch / "list").string());
    const mode_t mask = umask(0);
    ASSERT_EQ(file.open(0751), WorkFile::Opened::yes);
    umask(mask);
    std::fputs("first\n", file.fp());
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(file.fp(), nullptr);
    FILE* next = std::fopen((scratch / "next").c_str(), "w");
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(std::fclose(next), 0) << "the second close took the next file's descriptor";
    ASSERT_EQ(file.open(0644), WorkFile::Opened::yes);
    std::fputs("second\n", file.fp());
    EXPECT_TRUE(file.close().ok());
    EXPECT_EQ(read("list"), "first\nsecond\n");
    EXPECT_EQ(fs::status(scratch / "list").permissions(), fs::perms(0751));
}

// A full file system fails the flush; a descriptor lost with nothing left
// to flush fails the close alone.
TEST_F(WorkFileTest, FailedFlushIsToldFromFailedClose) {
    WorkFile full;
    full.setPath("/dev/full");
    ASSERT_EQ(full.open(0644), WorkFile::Opened::yes);
    std::fputs("row\n", full.fp());
    EXPECT_FALSE(full.close().flushed);
    WorkFile lost;
    lost.setPath((scratch / "list").string());
    ASSERT_EQ(lost.open(0644), WorkFile::Opened::yes);
    ::close(fileno(lost.fp()));
    const WorkFile::Closed closed = lost.close();
    EXPECT_TRUE(closed.flushed);
    EXPECT_FALSE(closed.closed);
    EXPECT_FALSE(closed.ok());
}

}  // namespace
}  // namespace pelo
