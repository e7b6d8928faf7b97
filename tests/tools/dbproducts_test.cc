// The database products' tools as the archive runs them: the exact command
// lines, exports that hold every Notes and Versions row, output free of
// the words that mark a failure, and those words when a failure is asked
// for.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/client.h"
#include "support/runner.h"
#include "toolRun.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using testing::builtTool;
using testing::runShell;

/// The words by which the archive judges a product tool's output.
bool showsError(const std::string& product, const std::string& text) {
    std::vector<std::string> words;
    if (product == "oracle")
        words = {"ERROR", "Error", "error", "ABNORMAL", "Abnormal", "abnormal", "ABORT", "Abort", "abort"};
    else if (product == "sybase")
        words = {"Msg", "Level", "State"};
    else
        words = {"SQLSTATE=", "SQL1013N", "SQL10018N", "VQL command return code = 4", "VQL command return code = 8"};
    return std::any_of(words.begin(), words.end(), [&](const std::string& w) { return text.find(w) != std::string::npos; });
}

std::string unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            ++i;
            out += field[i] == 'n' ? '\n' : field[i];
        } else {
            out += field[i];
        }
    }
    return out;
}

/// The export sections of a file: table name to the rows' last fields.
std::map<std::string, std::vector<std::string>> readExport(const std::string& path, std::size_t field) {
    std::map<std::string, std::vector<std::string>> sections;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream head(line);
        std::string magic, version, table;
        std::size_t columns = 0, rows = 0;
        head >> magic >> version >> table >> columns >> rows;
        EXPECT_EQ(magic, "PELO-EXPORT") << path;
        std::getline(in, line);  // column names
        auto& values = sections[table];
        for (std::size_t r = 0; r < rows && std::getline(in, line); ++r) {
            std::vector<std::string> fields(1);
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size())
                    fields.back() += line.substr(i++, 2);
                else if (line[i] == '|')
                    fields.emplace_back();
                else
                    fields.back() += line[i];
            }
            EXPECT_EQ(fields.size(), columns);
            values.push_back(unescape(fields[std::min(field, fields.size() - 1)]));
        }
    }
    return sections;
}

/// A tiny family of one product in a scratch directory.
class ProductFamily {
protected:
    void build(const std::string& name) {
        product = name;
        char pattern[] = "/tmp/pelo-products-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        auto run = runShell(shellQuote(builtTool("mkfamily/mkfamily")) + " --root=" + shellQuote(root) +
                            " --vc=pvcs --db=" + product);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    ~ProductFamily() { fs::remove_all(root); }

    /// Runs the command in the family's environment.
    testing::ToolRun inFamily(const std::string& command, const std::string& extra = "") {
        return runShell(". " + shellQuote(root + "/family.env") + " && " + extra + command);
    }
    std::vector<std::string> remarks(const std::string& table) {
        EXPECT_EQ(sqlConnect(root + "/home/family.db", "test", "test"), 0);
        std::vector<std::string> values;
        {
            SqlCursor cursor("SELECT REMARKS FROM " + table);
            cursor.open({});
            SqlRow row;
            while (cursor.fetch(row) == 0)
                values.push_back(row.textAt(0));
        }
        sqlRollbackRelease();
        std::sort(values.begin(), values.end());
        return values;
    }
    void expectExported(const std::string& notes, const std::string& versions) {
        auto notesSections = readExport(notes, 4), versionSections = readExport(versions, 7);
        auto sorted = [](std::vector<std::string> v) { std::sort(v.begin(), v.end()); return v; };
        EXPECT_EQ(sorted(notesSections["NOTES"]), remarks("NOTES"));
        EXPECT_EQ(sorted(versionSections["VERSIONS"]), remarks("VERSIONS"));
    }
    std::string exportCommands(const std::string& failing = "") {
        std::string notes = shellQuote(root + "/PELOarchive.notesData");
        std::string versions = shellQuote(root + "/PELOarchive.versionsData");
        if (product == "oracle")
            return failing + "$ORACLE_HOME/bin/exp  pelofam/$ORACLE_PASS BUFFER=40000 FILE=" +
                   shellQuote(root + "/PELOarchive.export") + " INDEXES=N TABLES=notes,versions";
        if (product == "sybase")
            return failing + "$SYBASE/bin/bcp Notes out " + notes + " -n -Upelofam -P$SYBASE_PASS; " + failing +
                   "$SYBASE/bin/bcp Versions out " + versions + " -n -Upelofam -P$SYBASE_PASS";
        std::string vql = "$VQL_HOME/sqllib/bin/vql";
        return failing + vql + " CONNECT TO pelofam &&                  " + failing + vql + " EXPORT TO " + notes +
               " OF IXF \"select * from Notes\" || echo \"VQL command return code = $?.\"; " + failing + vql +
               " CONNECT TO pelofam &&                          " + failing + vql + " EXPORT TO " + versions +
               " OF IXF \"select * from Versions\" || echo \"VQL command return code = $?.\"";
    }

    std::string root, product;
};

class DatabaseProductTest : public ProductFamily, public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { build(GetParam()); }
};

class InformixToolTest : public ProductFamily, public ::testing::Test {
protected:
    void SetUp() override { build("informix"); }
};

TEST_P(DatabaseProductTest, ExportHoldsEveryNoteAndVersionWithoutErrorWords) {
    auto run = inFamily(exportCommands());
    EXPECT_FALSE(showsError(GetParam(), run.out + run.err)) << run.out << run.err;
    if (GetParam() == "oracle")
        expectExported(root + "/PELOarchive.export", root + "/PELOarchive.export");
    else
        expectExported(root + "/PELOarchive.notesData", root + "/PELOarchive.versionsData");
}

TEST_P(DatabaseProductTest, RequestedFailureShowsTheErrorWords) {
    auto run = inFamily(exportCommands("PELO_DBPRODUCT_FAIL=all "));
    EXPECT_TRUE(showsError(GetParam(), run.out + run.err)) << run.out << run.err;
    EXPECT_FALSE(fs::exists(root + "/PELOarchive.notesData"));
}

TEST_F(InformixToolTest, LoadsThePopulateScriptsLoadFiles) {
    EXPECT_NE(inFamily("ls -l $INFORMIXDIR/bin/isql").out, "");
    std::ofstream(root + "/notes") << "7|1|open|99/01/01 00:00:00|first line\nsecond ! line|\n7|1|note|99/01/02 00:00:00|null|\n";
    auto run = inFamily("$INFORMIXDIR/bin/isql  pelofam >>" + shellQuote(root + "/out") + " 2>&1 <<!\n"
                        "delete from Notes;\ncommit work;\nload from \"" + root + "/notes\" delimiter \"|\" insert into Notes;\n"
                        "commit work;\n!\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(remarks("NOTES"), (std::vector<std::string>{"", "first line\nsecond ! line"}));
}

INSTANTIATE_TEST_SUITE_P(Products, DatabaseProductTest,
                         ::testing::Values("oracle", "sybase", "vql"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pelo
