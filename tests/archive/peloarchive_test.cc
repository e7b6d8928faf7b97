// The installation record decides the database product of the family.  The
// scenarios show the last active line deciding; here, how a line is read.
#include "archive/peloarchive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace pelo {
namespace {

struct CloseFile {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string productOf(std::string record) {
    std::unique_ptr<FILE, CloseFile> file(fmemopen(record.data(), record.size(), "r"));
    return readInstallRecord(file.get());
}

TEST(InstallRecordTest, LinesAreReadWholeAndCommentsSkipped) {
    EXPECT_EQ(productOf("DB=VQL\n# DB=ORACLE\n"), "dizoz");
    EXPECT_EQ(productOf("# ORACLE\n"), "");
    EXPECT_EQ(productOf("oracle informix\n"), "") << "the names are upper case";
    EXPECT_EQ(productOf(std::string(600, 'x') + "SYBASE\nlast\n"), "sybase") << "a long line is read in pieces";
    EXPECT_EQ(productOf("ORACLE\nINFORMIX"), "informix") << "the last line needs no newline";
}

// Within one line the products are tried in a fixed order.
TEST(InstallRecordTest, OracleWinsWithinOneLine) {
    EXPECT_EQ(productOf("VQL SYBASE INFORMIX ORACLE\n"), "oracle");
    EXPECT_EQ(productOf("VQL SYBASE\n"), "sybase");
}

}  // namespace
}  // namespace pelo
