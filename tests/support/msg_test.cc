#include "support/msg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/msgtable.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

// The texts whose callers pass numbers, and what they pass: s a text, d an
// int, f a double.  Every other text takes texts only, so a number put into
// a text cannot slip in without someone stating how it is called.
const std::map<int, std::string> numberSignatures = {
    {108, "ds"},    // dbErrorMessage: status code, server text
    {1346, "sd"}, {1363, "sd"}, {1364, "sd"},  // dialogs: a name and a count
    {1392, "f"},    // the estimate in MB
    {1707, "d"},    // a tool's exit status
    {1735, "d"}, {1738, "sdd"}, {1739, "sd"}, {1740, "sddd"}, {1741, "sddd"},  // the restore's counts
};

// How a default text takes its arguments, read from its conversions.
struct Conversions {
    /// Known letters only, positional or plain but not both, each
    /// position of one kind and none skipped.
    bool wellFormed = true;
    std::string kinds;           ///< one letter as above per argument, in argument order
    std::vector<int> firstUses;  ///< the argument numbers in the order the text first names them
};

Conversions conversionsOf(const std::string& format) {
    static const std::regex conversion("%(?:([0-9]+)\\$)?[-+ #0]*[0-9]*(?:\\.[0-9]*)?([\\s\\S]?)");
    Conversions found;
    std::map<int, char> byPosition;
    int plain = 0;
    for (std::sregex_iterator it(format.begin(), format.end(), conversion), end; it != end; ++it) {
        const char letter = (*it)[2].str()[0];
        if (letter == '%' && it->length() == 2)
            continue;
        const char kind = letter == 'd' || letter == 'i' ? 'd' : letter == 's' ? 's'
                        : letter == 'f' || letter == 'e' || letter == 'g' ? 'f' : 0;
        const bool positional = (*it)[1].matched;
        const int position = positional ? std::stoi((*it)[1]) : ++plain;
        const auto [at, added] = byPosition.emplace(position, kind);
        // Plain and positional conversions do not mix.
        const bool mixed = positional ? plain > 0 : byPosition.size() != std::size_t(plain);
        found.wellFormed &= kind != 0 && at->second == kind && !mixed;
        if (added)
            found.firstUses.push_back(position);
    }
    found.wellFormed &= byPosition.empty() || byPosition.rbegin()->first == static_cast<int>(byPosition.size());
    for (const auto& [position, kind] : byPosition)
        found.kinds += kind;
    return found;
}

// Formats the message with distinct sample arguments of the kinds.
std::optional<std::string> formatSample(int number, const std::string& kinds) {
    const char *a = "<arg1>", *b = "<arg2>", *c = "<arg3>", *d = "<arg4>", *e = "<arg5>";
    if (kinds == "s") return msgGet(number, a);
    if (kinds == "ss") return msgGet(number, a, b);
    if (kinds == "sss") return msgGet(number, a, b, c);
    if (kinds == "ssss") return msgGet(number, a, b, c, d);
    if (kinds == "sssss") return msgGet(number, a, b, c, d, e);
    if (kinds == "d") return msgGet(number, 4711);
    if (kinds == "sd") return msgGet(number, a, 4712);
    if (kinds == "ds") return msgGet(number, 4711, b);
    if (kinds == "sdd") return msgGet(number, a, 4712, 4713);
    if (kinds == "sddd") return msgGet(number, a, 4712, 4713, 4714);
    if (kinds == "f") return msgGet(number, 2.5);
    return std::nullopt;
}

// Every argument shows in the formatted text and no conversion is left.
bool formatsWithSamples(int number, const std::string& kinds) {
    const std::optional<std::string> text = formatSample(number, kinds);
    if (!text || text->find('%') != std::string::npos)
        return false;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const std::string sample = kinds[k] == 's' ? "<arg" + std::to_string(k + 1) + ">"
                                   : kinds[k] == 'd' ? std::to_string(4711 + k) : "2.50";
        if (text->find(sample) == std::string::npos)
            return false;
    }
    return true;
}

struct CatalogueRule {
    const char* name;
    std::function<bool(std::size_t index, const Conversions&)> holds;
};

// What every default text must be; index is its place in msgDefaults.
const CatalogueRule catalogueRules[] = {
    {"NumberedInRangeAfterThePrevious", [](std::size_t i, const Conversions&) {
         const int number = msgDefaults[i].number;
         return number >= 1 && number < msgCount && (i == 0 || msgDefaults[i - 1].number < number);
     }},
    {"FoundByItsNumberAndNotEmpty", [](std::size_t i, const Conversions&) {
         return msgDefaults[i].text[0] != '\0' && msgDefault(msgDefaults[i].number) == msgDefaults[i].text;
     }},
    {"ConversionsWellFormed", [](std::size_t, const Conversions& c) { return c.wellFormed; }},
    // Only a translation may name its arguments in another order.
    {"ArgumentsFirstNamedInTheOrderPassed", [](std::size_t, const Conversions& c) {
         return std::ranges::is_sorted(c.firstUses);
     }},
    {"NumbersOnlyWhereCallersPassThem", [](std::size_t i, const Conversions& c) {
         const auto listed = numberSignatures.find(msgDefaults[i].number);
         return listed != numberSignatures.end() ? c.kinds == listed->second
                                                 : c.kinds.find_first_not_of('s') == std::string::npos;
     }},
    {"FormatsWithSampleArguments", [](std::size_t i, const Conversions& c) {
         return c.kinds.empty() || formatsWithSamples(msgDefaults[i].number, c.kinds);
     }},
};

// Every test starts and ends without a catalogue; those that want one point
// NLSPATH at it and call msgInit again.
class MsgTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = getenv("NLSPATH"))
            savedNlsPath = old;
        useCatalogueDir("/dev/null");  // never a directory, so never a catalogue
    }
    void TearDown() override {
        msgClose();
        if (savedNlsPath)
            setenv("NLSPATH", savedNlsPath->c_str(), 1);
        else
            unsetenv("NLSPATH");
    }
    static int useCatalogueDir(const fs::path& dir) {
        setenv("NLSPATH", (dir / "%N").c_str(), 1);
        return msgInit();
    }
    std::optional<std::string> savedNlsPath;
};

TEST_F(MsgTest, EveryDefaultTextKeepsTheCatalogueRules) {
    ASSERT_GT(msgDefaultsCount, 0u);
    for (std::size_t i = 0; i < msgDefaultsCount; ++i) {
        const Conversions conversions = conversionsOf(msgDefaults[i].text);
        for (const CatalogueRule& rule : catalogueRules)
            EXPECT_TRUE(rule.holds(i, conversions)) << "message " << msgDefaults[i].number << ": " << rule.name;
    }
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

// msgGet's result lives in one reused buffer, which may be an argument
// itself, and a result longer than the buffer is cut without running over
// it; msgLoad appends to the caller's buffer and msgReLoad replaces it.
TEST_F(MsgTest, GetReusesOneBufferAndLoadFillsTheCallers) {
    EXPECT_STREQ(msgGet(1319, msgGet(1345)), "\n0010-911 Release Archive complete.\n does not exist.\n");
    const std::string command(50000, 'x');
    std::string whole;
    msgLoad(whole, 1669, command.c_str());
    ASSERT_GT(whole.size(), 40000u);
    EXPECT_EQ(msgGet(1669, command.c_str()), whole.substr(0, 39999));

    std::string buffer;
    EXPECT_EQ(msgLoad(buffer, 1319, "r1"), 1319);
    EXPECT_EQ(msgLoad(buffer, 1345), 1345);
    EXPECT_EQ(buffer, "\n0010-911 Release r1 does not exist.\nArchive complete.\n");
    EXPECT_EQ(msgReLoad(buffer, 1318, "L", "R"), 1318);
    EXPECT_EQ(buffer, "\n0010-910 Level L does not exist for release R.\n");
    EXPECT_EQ(msgReLoad(buffer, 2), 2);
    EXPECT_EQ(buffer, "") << "an empty text empties the buffer";
}

}  // namespace
}  // namespace pelo
