#include "support/msg.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>

#include "support/msgtable.h"
#include "support/scratchDir.h"

extern char** environ;

namespace pelo {
namespace {

namespace fs = std::filesystem;

// What the callers pass, by message number: s a text, d an int, f a double.
// Every default text with a conversion must be listed, so a new text cannot
// slip in without someone stating how it is called.
const std::map<int, std::string> callerSignatures = {
    {108, "ds"},    // dbErrorMessage: status code, server text
    {110, "ss"},    // system error text, function name
    {426, "sss"},   // system error text, function name, path
    // dialogs
    {1313, "s"}, {1315, "s"}, {1316, "s"}, {1346, "sd"}, {1363, "sd"}, {1364, "sd"},
    {1366, "ss"},   // "opendir()", directory
    {1367, "s"}, {1433, "s"}, {1473, "ss"}, {1475, "s"},
    // prerequisite checks: family and program, level and release, states
    {1317, "ss"}, {1318, "ss"}, {1319, "s"}, {1320, "s"}, {1321, "s"}, {1322, "s"},
    {1323, "sss"}, {1324, "sss"}, {1325, "s"}, {1326, "s"}, {1375, "s"},
    {1385, "ss"}, {1389, "ss"}, {1526, "sss"},
    // run driver: program name, paths, family name, estimate in MB
    {1327, "s"}, {1348, "s"}, {1392, "f"}, {1438, "s"}, {1522, "s"}, {1523, "s"},
    {1524, "ss"}, {1536, "s"},
    // work files: the path; flush and close add the program name first
    {1349, "s"}, {1350, "s"}, {1351, "s"}, {1352, "s"}, {1353, "s"}, {1354, "s"},
    {1355, "s"}, {1356, "s"}, {1357, "s"}, {1358, "s"}, {1483, "s"}, {1484, "s"},
    {1512, "s"}, {1513, "s"}, {1514, "s"}, {1515, "s"}, {1458, "s"},
    {1435, "ss"}, {1436, "ss"},
    // clean-up: program, file system, captured output
    {1359, "sss"}, {1360, "sss"}, {1361, "sss"}, {1362, "sss"},
    // level maps and configuration files
    {1368, "sssss"}, {1369, "ss"}, {1370, "ss"}, {1371, "ss"}, {1372, "ssss"}, {1373, "s"},
    // version-control files, clean-up lists, removal
    {1374, "ss"}, {1386, "ss"}, {1387, "s"}, {1477, "ss"}, {1471, "ss"},
    {1464, "s"}, {1474, "ss"}, {1547, "s"}, {1548, "s"},
    {1700, "s"}, {1710, "ss"}, {1711, "sss"}, {1712, "ss"},
    // a name that is not text; the process holding the archive semaphore
    {1705, "s"}, {1706, "s"},
    // a refused name; a refused family file: program, path (device), why
    {1701, "s"}, {1702, "sss"}, {1703, "ssss"},
    // export, cpio, restore
    {1518, "ss"}, {1535, "ss"}, {1430, "ss"}, {1490, "s"}, {1466, "s"}, {1704, "ss"},
    // populate script: table, the row's key column and value, the command word
    {1537, "sss"},
    // binary versions and the command runner
    {1634, "s"}, {1635, "ss"}, {1673, "s"}, {1674, "s"}, {1669, "s"}, {1670, "s"},
    {1707, "d"},  // a tool's exit status
    // a refused command line: program, options; a summary not written: program, path, why
    {1717, "ss"}, {1718, "ss"}, {1719, "sss"}, {1708, "sss"}, {1709, "sss"},
    {1713, "ss"}, {1714, "sssss"}, {1715, "s"}, {1716, "ss"},  // the read-back before removal
    // the restore: the archive, tables and keys, paths, counts
    {1730, "s"}, {1731, "s"}, {1733, "ss"}, {1734, "s"}, {1735, "d"}, {1738, "sdd"}, {1739, "sd"},
    {1740, "sddd"}, {1741, "sddd"}, {1742, "ss"}, {1743, "ss"}, {1744, "s"},
};

// The argument kinds a printf format consumes, in argument order; nothing
// when the format is malformed, mixes positional and plain conversions or
// leaves a position unused.
std::optional<std::string> conversionSignature(const std::string& format) {
    static const std::regex conversion("%(?:([0-9]+)\\$)?[-+ #0]*[0-9]*(?:\\.[0-9]*)?([\\s\\S]?)");
    std::map<int, char> byPosition;
    std::string plain;
    for (std::sregex_iterator it(format.begin(), format.end(), conversion), end; it != end; ++it) {
        const char letter = (*it)[2].str()[0];
        if (letter == '%' && it->length() == 2)
            continue;
        const char kind = letter == 'd' || letter == 'i' ? 'd' : letter == 's' ? 's'
                        : letter == 'f' || letter == 'e' || letter == 'g' ? 'f' : 0;
        if (kind == 0)
            return std::nullopt;
        if (!(*it)[1].matched)
            plain += kind;
        else if (const int position = std::stoi((*it)[1]); !byPosition.emplace(position, kind).second &&
                                                            byPosition[position] != kind)
            return std::nullopt;
    }
    if (byPosition.empty())
        return plain;
    if (!plain.empty() || byPosition.rbegin()->first != static_cast<int>(byPosition.size()))
        return std::nullopt;
    std::string ordered;
    for (const auto& [position, kind] : byPosition)
        ordered += kind;
    return ordered;
}

// Formats the message with distinct sample arguments for its signature.
std::optional<std::string> formatSample(int number, const std::string& signature) {
    const char *a = "<arg1>", *b = "<arg2>", *c = "<arg3>", *d = "<arg4>", *e = "<arg5>";
    if (signature == "s") return msgGet(number, a);
    if (signature == "ss") return msgGet(number, a, b);
    if (signature == "sss") return msgGet(number, a, b, c);
    if (signature == "ssss") return msgGet(number, a, b, c, d);
    if (signature == "sssss") return msgGet(number, a, b, c, d, e);
    if (signature == "d") return msgGet(number, 4711);
    if (signature == "sd") return msgGet(number, a, 4711);
    if (signature == "ds") return msgGet(number, 4711, b);
    if (signature == "sdd") return msgGet(number, a, 4711, 4712);
    if (signature == "sddd") return msgGet(number, a, 4711, 4712, 4713);
    if (signature == "f") return msgGet(number, 2.5);
    return std::nullopt;
}

// Runs gencat without a shell.
int runGencat(const fs::path& source, const fs::path& catalogue) {
    std::string out = catalogue.string(), in = source.string();
    char* argv[] = {const_cast<char*>("gencat"), const_cast<char*>("--new"),
                    const_cast<char*>("-o"), out.data(), in.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "gencat", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every test starts and ends without a catalogue; those that want one point
// NLSPATH at it and call msgInit again.
class MsgTest : public ScratchDirTest {
protected:
    void SetUp() override {
        if (const char* old = getenv("NLSPATH"))
            savedNlsPath = old;
        ScratchDirTest::SetUp();
        useCatalogueDir(scratch / "none");
    }
    void TearDown() override {
        msgClose();
        if (savedNlsPath)
            setenv("NLSPATH", savedNlsPath->c_str(), 1);
        else
            unsetenv("NLSPATH");
        ScratchDirTest::TearDown();
    }
    static int useCatalogueDir(const fs::path& dir) {
        setenv("NLSPATH", (dir / "%N").c_str(), 1);
        return msgInit();
    }
    std::optional<std::string> savedNlsPath;
};

TEST_F(MsgTest, DefaultTableIsSortedUniqueAndInRange) {
    ASSERT_GT(msgDefaultsCount, 0u);
    for (std::size_t i = 0; i < msgDefaultsCount; ++i) {
        const MsgDefault& entry = msgDefaults[i];
        EXPECT_GE(entry.number, 1);
        EXPECT_LT(entry.number, msgCount);
        EXPECT_NE(entry.text[0], '\0') << "message " << entry.number;
        if (i > 0) {
            EXPECT_LT(msgDefaults[i - 1].number, entry.number) << "at entry " << i;
        }
        EXPECT_EQ(msgDefault(entry.number), entry.text);
    }
    EXPECT_STREQ(msgDefault(0), "");
    EXPECT_STREQ(msgDefault(2), "") << "unlisted numbers read as empty texts";
}

TEST_F(MsgTest, BuiltCatalogueGivesBackEveryDefault) {
    const fs::path built = PELO_BINARY_DIR "/nls/pelo.cat";
    ASSERT_TRUE(fs::exists(built)) << built << " missing: build the pelo_catalog target";
    ASSERT_EQ(useCatalogueDir(built.parent_path()), 0);
    for (int number = 0; number < msgCount; ++number) {
        const char* text = msgFormat(number);
        EXPECT_STREQ(text, msgDefault(number)) << "message " << number;
        if (msgDefault(number)[0] != '\0') {
            EXPECT_NE(text, msgDefault(number)) << "message " << number
                                                << " did not come from the catalogue";
        }
    }
}

TEST_F(MsgTest, OtherCatalogueOverridesAndMissingNumbersFallBack) {
    std::ofstream(scratch / "pelo.msg") << "$set 1\n$quote \"\n"
                                        << "1345 \"Archiv \\\"fertig\\\".\\n\"\n"
                                        << "1346 \"%2$d < %1$s\\n\"\n";
    ASSERT_EQ(runGencat(scratch / "pelo.msg", scratch / "pelo.cat"), 0);
    ASSERT_EQ(useCatalogueDir(scratch), 0);
    EXPECT_STREQ(msgFormat(1345), "Archiv \"fertig\".\n");
    EXPECT_STREQ(msgGet(1346, "name", 15), "15 < name\n") << "callers' arguments still fit";
    EXPECT_EQ(msgFormat(1344), msgDefault(1344));

    EXPECT_EQ(msgClose(), 0);
    EXPECT_EQ(msgFormat(1345), msgDefault(1345)) << "closing returns to the defaults";
    EXPECT_EQ(msgClose(), 0) << "closing twice is harmless";
}

// The result lives in one reused buffer, which may be an argument itself.
TEST_F(MsgTest, GetTakesItsPreviousResultAsAnArgument) {
    const char* nested = msgGet(1319, msgGet(1345));
    EXPECT_STREQ(nested, "\n0010-911 Release Archive complete.\n does not exist.\n")
        << "an argument may be the previous result";
}

TEST_F(MsgTest, GetCutsLongResultsWithoutOverrun) {
    const std::string command(50000, 'x');
    std::string whole;
    msgLoad(whole, 1669, command.c_str());
    ASSERT_GT(whole.size(), 40000u);
    const std::string cut = msgGet(1669, command.c_str());
    EXPECT_EQ(cut.size(), 39999u);
    EXPECT_EQ(cut, whole.substr(0, 39999));
}

// What is printed is kept by number, in order, the error line included;
// the output itself is what it always was, and progress marks are not kept.
TEST_F(MsgTest, PrintedNumbersAreKeptWithoutChangingTheOutput) {
    const std::size_t before = msgPrinted().size();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    msgPrint(1319, "r1");
    msgProgress(1331);
    msgPrintError(1718, "peloarchive", "--to");
    msgPrint(1345);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\n0010-911 Release r1 does not exist.\n.Archive complete.\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "0012-019 peloarchive: --to needs a value; see peloarchive --help.\n");
    const std::span<const int> printed = msgPrinted();
    ASSERT_EQ(printed.size(), before + 3);
    EXPECT_EQ(std::vector<int>(printed.begin() + before, printed.end()), (std::vector<int>{1319, 1718, 1345}));
}

TEST_F(MsgTest, LoadAppendsAndReLoadReplaces) {
    std::string buffer;
    EXPECT_EQ(msgLoad(buffer, 1319, "r1"), 1319);
    EXPECT_EQ(msgLoad(buffer, 1345), 1345);
    EXPECT_EQ(buffer, "\n0010-911 Release r1 does not exist.\nArchive complete.\n");
    EXPECT_EQ(msgReLoad(buffer, 1318, "L", "R"), 1318);
    EXPECT_EQ(buffer, "\n0010-910 Level L does not exist for release R.\n");
    EXPECT_EQ(msgReLoad(buffer, 2), 2);
    EXPECT_EQ(buffer, "") << "an empty text empties the buffer";
}

TEST_F(MsgTest, EveryTextTakesTheArgumentsItsCallersPass) {
    for (std::size_t i = 0; i < msgDefaultsCount; ++i) {
        const MsgDefault& entry = msgDefaults[i];
        const std::optional<std::string> parsed = conversionSignature(entry.text);
        ASSERT_TRUE(parsed) << "message " << entry.number << " has a malformed format";
        const auto listed = callerSignatures.find(entry.number);
        if (parsed->empty()) {
            EXPECT_EQ(listed, callerSignatures.end())
                << "message " << entry.number << " takes no arguments";
            continue;
        }
        ASSERT_NE(listed, callerSignatures.end())
            << "message " << entry.number << " takes " << *parsed << ": list its callers";
        EXPECT_EQ(*parsed, listed->second) << "message " << entry.number;
    }
    for (const auto& [number, signature] : callerSignatures)
        EXPECT_NE(msgDefault(number)[0], '\0') << "message " << number << " has no text";
}

TEST_F(MsgTest, EveryTextFormatsWithSampleArguments) {
    for (const auto& [number, signature] : callerSignatures) {
        const std::optional<std::string> text = formatSample(number, signature);
        ASSERT_TRUE(text) << "no sample arguments for signature " << signature;
        for (std::size_t k = 0; k < signature.size(); ++k) {
            const std::string expected = signature[k] == 's' ? "<arg" + std::to_string(k + 1) + ">"
                                         : signature[k] == 'd' ? "4711"
                                                               : "2.50";
            EXPECT_NE(text->find(expected), std::string::npos)
                << "message " << number << " lost argument " << k + 1 << ": " << *text;
        }
        EXPECT_EQ(text->find('%'), std::string::npos) << "message " << number << ": " << *text;
    }
}

}  // namespace
}  // namespace pelo
