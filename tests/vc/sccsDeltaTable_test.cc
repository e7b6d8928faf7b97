// The delta table reader against prs itself: histories made with the SCCS
// tools, some broken by hand afterwards.  Wherever the reader gives a list,
// it must be the one prs prints, with prs saying nothing on standard error;
// where a case says the reader declines, it must.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "support/commandLine.h"
#include "support/runner.h"
#include "vc/sccsDeltaTable.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;

struct Printed {
    std::string out, err;
};

/// "prs -e -d:I:" on the history, run as the clean-up runs it.
Printed prs(const std::string& history) {
    std::vector<char> out(1 << 20), err(1 << 16);
    send_command(CommandLine().quoted(PELO_CSSC_DIR "/prs").text(" -e -d:I:").arg(history), out.data(), out.size(),
                 err.data(), err.size());
    return {out.data(), err.data()};
}

std::string lines(const std::vector<std::string>& sids) {
    std::string text;
    for (const std::string& sid : sids)
        text += sid + "\n";
    return text;
}

/// One history, s.f in its own directory, made with the SCCS tools.
class History {
public:
    explicit History(std::string dir) : dir_(std::move(dir)) { fs::create_directories(dir_); }

    std::string path() const { return dir_ + "/s.f"; }

    /// admin -i with the options, from a one-line file (or the bytes given).
    void create(const std::vector<std::string>& options, const std::string& content = "line 1\n") {
        write(dir_ + "/f", content);
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-if", "s.f"});
        tool("admin", args);
        fs::remove(dir_ + "/f");
    }
    /// One more delta: get -e with the options, a line added, delta with the comment.
    void change(const std::vector<std::string>& getOptions, const std::string& comment = "changed",
                const std::vector<std::string>& deltaOptions = {}) {
        std::vector<std::string> args = getOptions;
        args.insert(args.end(), {"-e", "-s", "s.f"});
        tool("get", args);
        std::ofstream(dir_ + "/f", std::ios::app) << "line after " << ++changes_ << "\n";
        args = deltaOptions;
        args.insert(args.end(), {"-s", "-y" + comment, "s.f"});
        tool("delta", args);
    }
    void rmdel(const std::string& sid) { tool("rmdel", {"-r" + sid, "s.f"}); }

    /// The s-file changed by hand; its checksum is made to fit the new
    /// bytes again unless told otherwise, so that only the change counts.
    void edit(const std::function<void(std::string&)>& change, bool refit = true) {
        std::ifstream in(path(), std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), {}};
        change(bytes);
        if (refit && bytes.starts_with("\001h") && bytes.find('\n') == 7) {
            unsigned sum = 0;
            for (std::size_t i = 8; i < bytes.size(); ++i)
                sum += static_cast<unsigned>(static_cast<signed char>(bytes[i]));
            const std::string digits = std::to_string(100000 + (sum & 0xffffu));
            bytes.replace(2, 5, digits.substr(1));
        }
        write(path(), bytes);
    }

private:
    void tool(const std::string& name, const std::vector<std::string>& args) {
        CommandLine line;
        line.text("cd").arg(dir_).text(" && ").quoted(PELO_CSSC_DIR "/" + name);
        for (const std::string& arg : args)
            line.arg(arg);
        line.text(" >log 2>&1");
        ASSERT_EQ(std::system(line.c_str()), 0) << line.str() << "\n" << testing::readText(dir_ + "/log");
    }
    static void write(const std::string& path, const std::string& bytes) {
        fs::remove(path);
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string dir_;
    int changes_ = 0;
};

/// Replaces the first occurrence of from; a case whose edit finds nothing
/// to change would test the unchanged history.
void replace(std::string& bytes, const std::string& from, const std::string& to) {
    const std::size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, from.size(), to);
}

/// Writes text over the bytes that follow the first occurrence of mark.
void overwriteAfter(std::string& bytes, const std::string& mark, const std::string& text) {
    const std::size_t at = bytes.find(mark);
    ASSERT_NE(at, std::string::npos) << mark;
    bytes.replace(at + mark.size(), text.size(), text);
}

struct HistoryCase {
    const char* name;
    std::function<void(History&)> make;
    /// The reader's list; nullopt where it must decline.
    std::optional<std::vector<std::string>> sids;
    /// Whether prs says something on standard error, which the clean-up
    /// takes as a failure: the reader can then only decline.
    bool prsComplains = false;
};

void PrintTo(const HistoryCase& c, std::ostream* out) { *out << c.name; }

void threeDeltas(History& h) {
    h.create({});
    h.change({});
    h.change({});
}

const HistoryCase historyCases[] = {
    {"TrunkWithEightBitComment", [](History& h) {
         threeDeltas(h);
         h.change({}, "caf\xc3\xa9 \xff");  // bytes that count negative in the checksum
     }, {{"1.4", "1.3", "1.2", "1.1"}}},
    {"EveryDeltaRemoved", [](History& h) {
         h.create({});
         h.rmdel("1.1");
     }, {std::vector<std::string>{}}},
    {"Branches", [](History& h) {
         h.create({"-fb"});
         h.change({});
         h.change({"-b", "-r1.1"});
         h.change({"-r1.1.1.1"});
         h.change({"-b", "-r1.1"});
         h.change({});
     }, {{"1.3", "1.1.2.1", "1.1.1.2", "1.1.1.1", "1.2", "1.1"}}},
    {"CommentShapedLikeDeltaLines", [](History& h) {
         h.create({});
         h.change({}, "first\n\001e\n\001s 00001/00000/00000\n\001d D 9.9 26/01/01 00:00:00 eve 9 8");
     }, {{"1.2", "1.1"}}},
    {"ModificationRequests", [](History& h) {
         h.create({"-fv/bin/true", "-mMR0"});
         h.change({}, "fixed", {"-mMR1 MR2"});
     }, {{"1.2", "1.1"}}},
    {"BinaryEncoded", [](History& h) {
         h.create({"-b"}, std::string("\0\001h\xff\n\001T\n", 8));
         h.change({});
     }, {{"1.2", "1.1"}}},
    // Broken by hand: prs complains about each of these on standard error.
    {"ChecksumOff", [](History& h) {
         threeDeltas(h);
         h.edit([](std::string& b) { b[6] = b[6] == '9' ? '0' : char(b[6] + 1); }, false);
     }, std::nullopt, true},
    {"TableCutShort", [](History& h) {
         threeDeltas(h);
         h.edit([](std::string& b) { b.resize(b.find("\001d D 1.2")); });
     }, std::nullopt, true},
    {"UnknownControlLineInTable", [](History& h) {
         threeDeltas(h);
         h.edit([](std::string& b) { replace(b, "\001e\n", "\001z 1\n\001e\n"); });
     }, std::nullopt, true},
    {"DateThatNeverWas", [](History& h) {
         threeDeltas(h);
         h.edit([](std::string& b) { overwriteAfter(b, "D 1.2 ", "25/02/29"); });
     }, std::nullopt, true},
    // Read cleanly by prs but not by the reader, which leaves them to prs.
    {"IncludedDelta", [](History& h) {
         h.create({"-fb"});
         h.change({});
         h.change({});
         h.change({"-b", "-r1.2"});
         h.change({"-i1.2.1.1"});
     }, std::nullopt},
};

class SccsDeltaTableTest : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(SccsDeltaTableTest, GivesPrsListOrDeclines) {
    History history(testing::scratchDir() + "/" + GetParam().name);
    GetParam().make(history);
    if (HasFatalFailure())
        return;
    const std::optional<std::vector<std::string>> sids = sccsDeltaSidsOfFile(history.path());
    EXPECT_EQ(sids, GetParam().sids);
    const Printed printed = prs(history.path());
    EXPECT_EQ(!printed.err.empty(), GetParam().prsComplains) << printed.err;
    if (sids)
        EXPECT_EQ(lines(*sids), printed.out);
}

INSTANTIATE_TEST_SUITE_P(Histories, SccsDeltaTableTest, ::testing::ValuesIn(historyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
