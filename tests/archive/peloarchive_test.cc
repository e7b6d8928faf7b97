// The installation record decides the database product of the family.
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

TEST(InstallRecordTest, LastActiveLineDecides) {
    EXPECT_EQ(productOf("DB=ORACLE\nDB=SYBASE\n"), "sybase");
    EXPECT_EQ(productOf("#DB=ORACLE\nDB=INFORMIX\nnothing here\n"), "informix");
}

TEST(InstallRecordTest, CommentedProductIsIgnored) {
    EXPECT_EQ(productOf("DB=VQL\n# DB=ORACLE\n"), "dizoz");
    EXPECT_EQ(productOf("# ORACLE\n"), "");
}

// Within one line the products are tried in a fixed order.
TEST(InstallRecordTest, OracleWinsWithinOneLine) {
    EXPECT_EQ(productOf("VQL SYBASE INFORMIX ORACLE\n"), "oracle");
    EXPECT_EQ(productOf("VQL SYBASE\n"), "sybase");
}

TEST(InstallRecordTest, NoProductGivesEmpty) {
    EXPECT_EQ(productOf(""), "");
    EXPECT_EQ(productOf("oracle informix\n"), "") << "the names are upper case";
}

// Lines are read in pieces, so a name far into a long line still counts.
TEST(InstallRecordTest, LongLineIsReadWhole) {
    EXPECT_EQ(productOf(std::string(600, 'x') + "SYBASE\nlast\n"), "sybase");
}

TEST(InstallRecordTest, LastLineWithoutNewline) {
    EXPECT_EQ(productOf("ORACLE\nINFORMIX"), "informix");
}

}  // namespace
}  // namespace pelo
