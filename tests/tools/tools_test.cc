// The tools' promises that no scenario shows: the family builder makes the
// same database for the same seed, and binary histories whose reverse
// differences rebuild every version; the PVCS stand-in keeps its revisions
// through a round trip; each database product's export tool, run as the
// archive runs it, exports every Notes and Versions row and prints none of
// the words by which the archive judges a failure.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "db/client.h"
#include "familyExport.h"
#include "support/runner.h"
#include "vc/binaryVersion.h"
#include "vc/location.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Rows = std::vector<Texts>;

struct ToolRun {
    std::string out, err;
    int status = -1;
};

/// Runs the command through the shell: both streams, and the exit status
/// (-1 when it did not exit).
ToolRun runShell(const std::string& command) {
    std::vector<char> out(4 << 20), err(1 << 16);
    const CommandResult run = send_command(command.c_str(), out.data(), out.size(), err.data(), err.size());
    const bool exited = run.ending.kind == Ending::Kind::exited;
    return {std::string(run.out), std::string(run.err), exited ? run.ending.number : -1};
}

std::string tool(const std::string& relative) { return shellQuote(PELO_BINARY_DIR "/tools/" + relative); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Texts sorted(Texts texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

class ToolTest : public ScratchDirTest {
public:
    void SetUp() override {
        ScratchDirTest::SetUp();
    }
    void TearDown() override { ScratchDirTest::TearDown(); }

    /// Builds a tiny family; the arguments are mkfamily options.
    std::string build(const std::string& name, const std::string& options) {
        const std::string root = path(name);
        auto run = runShell(tool("mkfamily/mkfamily") + " --root=" + shellQuote(root) + " " + options);
        EXPECT_EQ(run.status, 0) << run.err;
        return root;
    }

    static Rows query(const std::string& root, const std::string& sql) {
        Rows rows;
        EXPECT_EQ(sqlConnect(root + "/home/family.db", "test", "test"), 0) << sqlca.sqlerrm;
        {
            SqlCursor cursor(sql);
            EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm;
            for (SqlRow row; cursor.fetch(row) == 0;) {
                rows.emplace_back();
                for (int i = 0; i < row.columns(); ++i)
                    rows.back().push_back(row.textAt(i));
            }
        }
        sqlRollbackRelease();
        return rows;
    }
};

// ---- the family builder -------------------------------------------------------

/// Every table as sorted lines, by table name.
std::map<std::string, Texts> dumpTables(const std::string& root) {
    std::map<std::string, Texts> tables;
    for (const Texts& name : ToolTest::query(root, "SELECT NAME FROM SQLITE_MASTER WHERE TYPE='table'")) {
        Texts& lines = tables[name[0]];
        for (const Texts& row : ToolTest::query(root, "SELECT * FROM " + name[0])) {
            std::string line;
            for (const std::string& field : row)
                line += field + "\x1f";
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
    }
    return tables;
}

std::vector<int> sidFields(const std::string& sid) {
    std::vector<int> fields;
    std::istringstream in(sid);
    for (std::string field; std::getline(in, field, '.');)
        fields.push_back(std::stoi(field));
    return fields;
}

TEST_F(ToolTest, SameSeedBuildsTheSameDatabase) {
    const auto first = dumpTables(build("first", "--db=vql --vc=pvcs --seed=3"));
    EXPECT_EQ(dumpTables(build("again", "--db=vql --vc=pvcs --seed=3")), first);
    EXPECT_NE(dumpTables(build("other", "--db=vql --vc=pvcs --seed=4")), first);
}

// A scaled family keeps its releases, levels and archive requests and grows
// what they hold; a scale that is not a whole number from 1 up is refused.
TEST_F(ToolTest, ScaleGrowsWhatTheReleasesHold) {
    const auto counts = [](const std::string& root) {
        return query(root, "SELECT (SELECT COUNT(*) FROM RELEASES), (SELECT COUNT(*) FROM LEVELS),"
                           " (SELECT COUNT(*) FROM TRACKS), (SELECT COUNT(*) FROM CHANGES)")[0];
    };
    const std::string one = build("one", ""), three = build("three", "--scale=3");
    const Texts base = counts(one), scaled = counts(three);
    EXPECT_EQ(Texts(scaled.begin(), scaled.begin() + 2), Texts(base.begin(), base.begin() + 2));
    for (int i : {2, 3})
        EXPECT_GT(std::stoi(scaled[i]), 5 * std::stoi(base[i]) / 2) << i;
    for (const char* request : {"releaseArchive=rel1\n", "levelArchiveRelease=rel2\n", "levelArchive=r2lvl02\n"})
        EXPECT_NE(readFile(three + "/family.txt").find(request), std::string::npos) << request;
    for (const char* bad : {"0", "x2", "", "1001"}) {
        const auto run = runShell(tool("mkfamily/mkfamily") + " --root=" + shellQuote(path("bad")) + " --scale=" + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.err.find("--scale takes a whole number from 1 to 1000, not \"" + std::string(bad) + "\""),
                  std::string::npos) << run.err;
    }
}

// Only the newest full copy of each binary history is kept in a scratch
// copy, so every older version comes from the chain of differences; each
// must have its Versions row's size and, where the family kept a full copy
// too, its bytes.
TEST_F(ToolTest, ReverseDifferencesRebuildEveryBinaryVersion) {
    const std::string root = build("sccs", "--db=oracle --vc=sccs --seed=3");
    std::map<int, Texts> sids;
    std::map<std::string, int> sizes;
    for (const Texts& row : query(root, "SELECT SOURCEID,SID,VERSIZE FROM VERSIONS")) {
        sids[std::stoi(row[0])].push_back(row[1]);
        sizes[row[0] + ":" + row[1]] = std::stoi(row[2]);
    }
    int rebuilt = 0;
    for (auto& [source, list] : sids) {
        const std::string history = root + "/home/vc/" + vcLocation(source, vcSCCSBinary);
        if (!fs::is_directory(history))
            continue;
        std::sort(list.begin(), list.end(),
                  [](const std::string& a, const std::string& b) { return sidFields(a) > sidFields(b); });
        const std::string scratch = path("binary" + std::to_string(source));
        fs::copy(history, scratch);
        for (std::size_t k = 1; k < list.size(); ++k)
            fs::remove(scratch + "/" + list[k]);
        for (const std::string& sid : list) {
            const std::string out = scratch + "/out";
            std::string messages;
            ASSERT_GE(vcGetSCCSBinaryFile(scratch + "/" + sid, out.c_str(), &messages), 0) << messages;
            EXPECT_EQ(int(fs::file_size(out)), sizes[std::to_string(source) + ":" + sid]) << history << " " << sid;
            if (fs::exists(history + "/" + sid)) {
                EXPECT_EQ(readFile(out), readFile(history + "/" + sid)) << history << " " << sid;
            }
            ++rebuilt;
        }
    }
    EXPECT_GT(rebuilt, 2);
}

// ---- the PVCS stand-in --------------------------------------------------------

/// The revision numbers of the "Rev " entries, in the order printed.
Texts entries(const std::string& log) {
    Texts revisions;
    for (std::size_t at = log.find("\nRev "); at != std::string::npos; at = log.find("\nRev ", at + 1))
        revisions.push_back(log.substr(at + 5, log.find('\n', at + 1) - at - 5));
    return revisions;
}

// vput builds an archive with a branch, vlog lists the trunk newest first
// with the branch after its base, vdel deletes silently, and vget still
// rebuilds a revision whose neighbour went.
TEST_F(ToolTest, PvcsRoundTrip) {
    const std::string archive = shellQuote(path("s.42"));
    for (const char* revision : {"1.0", "1.1", "1.2", "1.1.1.0", "1.1.1.1", "2.0"}) {
        std::ofstream(path("work")) << "content of " << revision << "\n";
        auto put = runShell(tool("pvcs/vput") + " -r" + revision + " -aann -d'99/12/31 23:59:59' -m'rev " +
                            revision + "' " + archive + " " + shellQuote(path("work")));
        ASSERT_EQ(put.status, 0) << put.err;
    }
    auto log = runShell(tool("pvcs/vlog") + " -br " + archive);
    ASSERT_EQ(log.status, 0);
    EXPECT_EQ(log.err, "");
    EXPECT_EQ(entries(log.out), (Texts{"2.0", "1.2", "1.1", "1.1.1.1", "1.1.1.0", "1.0"}));
    const auto branchLine = log.out.find("Branches:  1.1.1\n");
    ASSERT_NE(branchLine, std::string::npos);
    EXPECT_LT(log.out.find("Rev 1.1\n"), branchLine);
    EXPECT_LT(branchLine, log.out.find("Rev 1.1.1.1\n"));

    auto del = runShell(tool("pvcs/vdel") + " -q -y -r1.2 " + archive);
    EXPECT_EQ(del.status, 0);
    EXPECT_EQ(del.out + del.err, "");
    EXPECT_EQ(entries(runShell(tool("pvcs/vlog") + " -br " + archive).out),
              (Texts{"2.0", "1.1", "1.1.1.1", "1.1.1.0", "1.0"}));
    EXPECT_EQ(runShell(tool("pvcs/vget") + " -r1.1 " + archive).out, "content of 1.1\n");
}

// ---- the database products' export tools -------------------------------------

/// The export sections of a file: table name to one field of each row.
std::map<std::string, Texts> readExport(const std::string& path, std::size_t field) {
    std::map<std::string, Texts> sections;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream head(line);
        std::string magic, version, table;
        std::size_t columns = 0, rows = 0;
        head >> magic >> version >> table >> columns >> rows;
        EXPECT_EQ(magic, "PELO-EXPORT") << path;
        std::getline(in, line);  // column names
        for (std::size_t r = 0; r < rows && std::getline(in, line); ++r) {
            const Texts fields = dbproducts::splitExportLine(line);
            EXPECT_EQ(fields.size(), columns);
            sections[table].push_back(fields[std::min(field, fields.size() - 1)]);
        }
    }
    return sections;
}

struct ProductExport {
    const char* product;
    const char* commands;  ///< as the archive runs them, with @NOTES@ and @VERSIONS@ for the files
    bool oneFile;          ///< both tables go to @NOTES@
    Texts errorWords;
};

void PrintTo(const ProductExport& product, std::ostream* out) { *out << product.product; }

class DatabaseProductTest : public ToolTest, public ::testing::WithParamInterface<ProductExport> {};

TEST_P(DatabaseProductTest, ExportHoldsEveryNoteAndVersionWithoutErrorWords) {
    const ProductExport& product = GetParam();
    const std::string root = build("family", std::string("--vc=pvcs --db=") + product.product);
    const std::string notes = root + (product.oneFile ? "/PELOarchive.export" : "/PELOarchive.notesData");
    const std::string versions = product.oneFile ? notes : root + "/PELOarchive.versionsData";
    std::string commands = product.commands;
    for (const auto& [name, path] : {std::pair{"@NOTES@", notes}, std::pair{"@VERSIONS@", versions}})
        for (auto at = commands.find(name); at != std::string::npos; at = commands.find(name))
            commands.replace(at, std::string(name).size(), shellQuote(path));
    auto run = runShell(". " + shellQuote(root + "/family.env") + " && " + commands);
    for (const std::string& word : product.errorWords)
        EXPECT_EQ((run.out + run.err).find(word), std::string::npos) << run.out << run.err;
    const auto remarks = [&](const char* table) {
        Texts values;
        for (const Texts& row : query(root, std::string("SELECT REMARKS FROM ") + table))
            values.push_back(row[0]);
        return sorted(values);
    };
    EXPECT_EQ(sorted(readExport(notes, 4)["NOTES"]), remarks("NOTES"));
    EXPECT_EQ(sorted(readExport(versions, 7)["VERSIONS"]), remarks("VERSIONS"));
}

INSTANTIATE_TEST_SUITE_P(
    Products, DatabaseProductTest,
    ::testing::Values(
        ProductExport{"oracle",
                      "$ORACLE_HOME/bin/exp  pelofam/$ORACLE_PASS BUFFER=40000 FILE=@NOTES@ INDEXES=N "
                      "TABLES=notes,versions",
                      true,
                      {"ERROR", "Error", "error", "ABNORMAL", "Abnormal", "abnormal", "ABORT", "Abort", "abort"}},
        ProductExport{"sybase",
                      "$SYBASE/bin/bcp Notes out @NOTES@ -n -Upelofam -P$SYBASE_PASS; "
                      "$SYBASE/bin/bcp Versions out @VERSIONS@ -n -Upelofam -P$SYBASE_PASS",
                      false,
                      {"Msg", "Level", "State"}},
        ProductExport{"vql",
                      "$VQL_HOME/sqllib/bin/vql CONNECT TO pelofam &&                  $VQL_HOME/sqllib/bin/vql "
                      "EXPORT TO @NOTES@ OF IXF \"select * from Notes\" || echo \"VQL command return code = $?.\"; "
                      "$VQL_HOME/sqllib/bin/vql CONNECT TO pelofam &&                          "
                      "$VQL_HOME/sqllib/bin/vql EXPORT TO @VERSIONS@ OF IXF \"select * from Versions\" || "
                      "echo \"VQL command return code = $?.\"",
                      false,
                      {"SQLSTATE=", "SQL1013N", "SQL10018N", "VQL command return code = "}}),
    [](const auto& info) { return std::string(info.param.product); });

}  // namespace
}  // namespace pelo
