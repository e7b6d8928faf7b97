// An archive, reloaded.  The real binary archives a demo family as the
// family's login; reload runs what it wrote against an empty schema; and
// every reloaded row must be the family's row, in the numbers the archive's
// information file counts.  For each database product, a level and a
// release archive, on SQLite and on PostgreSQL.  In the hostile cases the
// family's texts first take quotes, command substitutions, back quotes,
// backslashes, semicolons, a line "go", non-ASCII text and new-lines: they
// must come back unchanged, and no shell may run what they hold.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "tools/familyTables.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using namespace pelo::testing;

struct RoundTripCase {
    const char* product;  ///< mkfamily's --db
    Backend backend;
    bool level;  ///< a level archive of rel2 up to r2lvl02; else a release archive of rel1
    bool hostile;
};

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    const RoundTripCase& c = info.param;
    return std::string(c.backend == Backend::sqlite ? "SQLite_" : "PostgreSQL_") + upper(c.product).substr(0, 1) +
           (c.product + 1) + (c.level ? "_Level" : "_Release") + (c.hostile ? "Hostile" : "");
}

/// Every script table of the connected database; the columns are those of
/// `like` when given, else the table's own.
Tables readTables(const Tables* like) {
    Tables tables;
    for (const auto& [name, keyColumns] : scriptTables) {
        TableRows& table = tables[name];
        std::string list;
        if (like != nullptr)
            table.columns = like->at(name).columns;
        for (const std::string& column : table.columns)
            list += (list.empty() ? "" : ",") + column;
        SqlCursor cursor("SELECT " + (list.empty() ? "*" : list) + " FROM " + name);
        EXPECT_EQ(cursor.open({}), 0) << name << ": " << sqlca.sqlerrm;
        if (like == nullptr)
            for (const SqlColumn& column : cursor.describe())
                table.columns.push_back(column.name);
        for (SqlRow row; cursor.fetch(row) == 0;) {
            table.rows.emplace_back();
            for (int i = 0; i < row.columns(); ++i)
                table.rows.back().push_back(row.textAt(i));
        }
        std::sort(table.rows.begin(), table.rows.end());
    }
    return tables;
}

std::string joined(const Texts& row) {
    std::string text;
    for (const std::string& value : row)
        text += (text.empty() ? "(" : ", ") + value;
    return text + ")";
}

/// Each reloaded row must be the family row of its name, column by column,
/// each family row standing for one reloaded row at most.
void expectFamilyRows(const std::string& table, std::size_t keyColumns, const Rows& family, const Rows& reloaded) {
    const auto key = [&](const Texts& row) {
        return Texts(row.begin(), row.begin() + std::ptrdiff_t(keyColumns ? keyColumns : row.size()));
    };
    std::multimap<Texts, const Texts*> byKey;
    for (const Texts& row : family)
        byKey.emplace(key(row), &row);
    for (const Texts& row : reloaded) {
        const auto found = byKey.find(key(row));
        if (found == byKey.end()) {
            ADD_FAILURE() << table << ": the family holds no row " << joined(row);
            continue;
        }
        EXPECT_EQ(row, *found->second) << table << " " << joined(key(row));
        byKey.erase(found);
    }
}

/// The counts section of PELOarchive.info by table ("Defects(Features)" counts DEFECTS).
std::map<std::string, std::size_t> archivedCounts(const std::string& info) {
    std::map<std::string, std::size_t> counts;
    const std::regex line(R"(\n(\w+)(\(Features\))? *= (\d+))");
    for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it)
        counts[upper((*it)[1])] = std::stoul((*it)[3]);
    return counts;
}

/// Puts text that the script's readers or the Informix shell would take
/// for their own into columns the script writes as they are (never into
/// those it writes with ' ` & ; blanked), keeping names unique.  A Sybase
/// script refuses a value with a line "go" by design (0011-029), so there
/// that line goes on.
void makeFamilyHostile(bool sybase) {
    const std::string text = std::string("O'Brien; $(touch CANARY) `touch CANARY` back\\slash \\$HOME \"q\"\n") +
                             (sybase ? "go on" : "go") + "\n;Grüße 日本語 ''; pipe|bar\n";
    const std::string brief = "'$(touch CANARY)`\\;ü\n";  // 32-byte columns keep room for an id
    const std::pair<const char*, const std::string&> updates[] = {
        {"UPDATE PATH SET NAME = NAME || :b1", text},
        {"UPDATE NOTES SET REMARKS = :b1 || REMARKS WHERE LENGTH(REMARKS) < 30000", text},
        {"UPDATE VERSIONS SET REMARKS = REMARKS || :b1 WHERE LENGTH(REMARKS) < 30000", text},
        {"UPDATE DEFECTS SET NAME = :b1 || CAST(ID AS VARCHAR(12))", brief},
        {"UPDATE DEFECTS SET REFERENCE = :b1", brief},
        {"UPDATE COMPONENTS SET NAME = NAME || :b1", brief},
        {"UPDATE USERS SET ADDRESS = :b1", text},
        {"UPDATE HOSTS SET NAME = NAME || :b1", brief},
    };
    for (const auto& [sql, value] : updates)
        ASSERT_EQ(sqlExecute(sql, {{1, std::string_view(value)}}), 0) << sql << ": " << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
}

/// The family's rows in the forms the script writes them: a defect with
/// the fields its kind's table enables and a feature with those of its
/// own; the free texts with ' ` & ; as blanks; a host's address as 0.
void applyWrittenForms(Tables& family, const std::string& arch) {
    for (Texts& row : family["HOSTS"].rows)
        row[family["HOSTS"].at("ADDRESS")] = "0";
    TableRows& defects = family["DEFECTS"];
    const std::set<std::string> defectFields = enabledFields(arch + "/configField/DefectConfigTbl");
    const std::set<std::string> featureFields = enabledFields(arch + "/configField/FeatureConfigTbl");
    for (Texts& row : defects.rows)
        for (std::size_t i = 0; i < defects.columns.size(); ++i) {
            const std::string column = upper(defects.columns[i]);
            const auto& enabled = row[defects.at("TYPE")] == "feature" ? featureFields : defectFields;
            if ((defectFields.contains(column) || featureFields.contains(column)) && !enabled.contains(column))
                row[i].clear();
        }
    const std::pair<const char*, const char*> cleaned[] = {{"RELEASES", "DESCRIPTION"}, {"DEFECTS", "ABSTRACT"},
                                                           {"SIZES", "SIZING"},         {"COMPONENTS", "DESCRIPTION"},
                                                           {"USERS", "NAME"},           {"CONFIG", "DESCRIPTION"}};
    for (const auto& [table, column] : cleaned)
        for (Texts& row : family[table].rows) {
            std::string& value = row[family[table].at(column)];
            std::replace_if(value.begin(), value.end(), [](char c) { return c && std::strchr("'`&;", c); }, ' ');
        }
}

/// A level archive writes each file with the path and version of its
/// archived changes, and the base name of that path: checked against the
/// reloaded Changes and Path, then left out of the row comparison.
void checkLevelFiles(Tables& family, Tables& reloaded) {
    const TableRows& changes = reloaded["CHANGES"];
    std::set<Texts> changed;  // file, column, value
    for (const Texts& row : changes.rows)
        for (const char* column : {"PATHID", "VERSIONID"})
            changed.insert({row[changes.at("FILEID")], column, row[changes.at(column)]});
    std::map<std::string, std::string> pathNames;
    for (const Texts& row : reloaded["PATH"].rows)
        pathNames[row[0]] = row[1];
    const TableRows& files = reloaded["FILES"];
    const std::size_t pathId = files.at("PATHID"), versionId = files.at("VERSIONID");
    for (const Texts& row : files.rows) {
        EXPECT_TRUE(changed.contains({row[0], "PATHID", row[pathId]})) << joined(row);
        EXPECT_TRUE(changed.contains({row[0], "VERSIONID", row[versionId]})) << joined(row);
        EXPECT_EQ(row[files.at("NUPATHID")], row[pathId]);
        EXPECT_EQ(row[files.at("NUVERSIONID")], row[versionId]);
        const std::string& path = pathNames[row[pathId]];
        EXPECT_EQ(row[files.at("BASENAME")], path.substr(path.rfind('/') + 1)) << joined(row);
    }
    for (Tables* tables : {&family, &reloaded})
        for (Texts& row : (*tables)["FILES"].rows)
            for (const char* column : {"PATHID", "NUPATHID", "VERSIONID", "NUVERSIONID", "BASENAME"})
                row[files.at(column)].clear();
}

/// The script's deliberate differences: user 1 under the general
/// sequence's next value, which that row then holds; only three Sequence
/// rows, "source" left out of the comparison; the Informix load files' '!'
/// for '|' in remarks; a file's path and version written for both its own
/// and its current ones (in a release archive, the current).
void applyScriptDifferences(Tables& family, Tables& reloaded, const RoundTripCase& c) {
    Rows& sequence = family["SEQUENCE"].rows;
    const std::set<std::string> written = {"general", "defect", "source"};
    std::erase_if(sequence, [&](const Texts& row) { return !written.contains(row[0]); });
    Texts& general = *std::ranges::find_if(sequence, [](const Texts& row) { return row[0] == "general"; });
    const std::string renumbered = std::to_string(std::stoi(general[1]) + 1);
    for (const char* table : {"USERS", "HOSTS"})
        for (Texts& row : family[table].rows)
            row[0] = row[0] == "1" ? renumbered : row[0];
    if (std::ranges::any_of(reloaded["USERS"].rows, [&](const Texts& row) { return row[0] == renumbered; }))
        general[1] = renumbered;
    for (Tables* tables : {&family, &reloaded})
        for (Texts& row : (*tables)["SEQUENCE"].rows)
            row[1] = row[0] == "source" ? "" : row[1];
    for (const char* table : {"NOTES", "VERSIONS"})
        for (Texts& row : family[table].rows)
            if (std::string& remarks = row[family[table].at("REMARKS")]; c.product == std::string("informix"))
                std::replace(remarks.begin(), remarks.end(), '|', '!');
    if (c.level)
        return checkLevelFiles(family, reloaded);
    TableRows& files = family["FILES"];
    for (Texts& row : files.rows) {
        row[files.at("PATHID")] = row[files.at("NUPATHID")];
        row[files.at("VERSIONID")] = row[files.at("NUVERSIONID")];
    }
}

/// How many rows of a table the reload must hold: what the information
/// file counts, but the whole family table for those the product's tool
/// exports whole and the three Sequence rows written; component 2, the
/// family's root, is counted when an archived object names it, never written.
std::size_t expectedRows(const std::string& table, const std::map<std::string, std::size_t>& counts,
                         Tables& family, Tables& reloaded, bool informix) {
    if (table == "SEQUENCE" || (!informix && (table == "NOTES" || table == "VERSIONS")))
        return family[table].rows.size();
    EXPECT_TRUE(counts.contains(table)) << table << " is not counted in PELOarchive.info";
    bool rootNamed = false;
    for (const char* naming : {"RELEASES", "FIX", "SIZES", "DEFECTS", "FILES"})
        for (const Texts& row : reloaded[naming].rows)
            rootNamed = rootNamed || row[reloaded[naming].at("COMPID")] == "2";
    return (counts.contains(table) ? counts.at(table) : 0) - (table == "COMPONENTS" && rootNamed ? 1 : 0);
}

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {
protected:
    void SetUp() override {
        family_ = std::make_unique<ScratchDatabase>(GetParam().backend);
        reload_ = std::make_unique<ScratchDatabase>(GetParam().backend);
        for (const ScratchDatabase* db : {family_.get(), reload_.get()})
            if (!db->unavailable().empty())
                GTEST_SKIP() << db->unavailable();
        dir_ = family_->dir().string();
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }

    /// Runs the command in the scratch directory, where a value that
    /// reached a shell would leave its CANARY; fails the test unless it
    /// ends with status 0.
    void runInScratch(const std::string& command) const {
        const int status = std::system(("cd " + shellQuote(dir_) + " && ( " + command + " ) >output 2>&1").c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << command << "\n" << testing::readText(dir_ + "/output");
    }

    /// The demo family: on SQLite in its default database, on PostgreSQL in
    /// the scratch database as the cluster's login, which is then the
    /// family's.  env_ gets what its family.env exports.
    void buildFamily() {
        std::string command = shellQuote(PELO_BINARY_DIR "/tools/mkfamily/mkfamily") +
                              " --size=demo --db=" + GetParam().product + " --root=" + shellQuote(dir_ + "/family");
        if (GetParam().backend == Backend::postgres)
            command += " --target=" + shellQuote(family_->target()) + " --login=" + shellQuote(family_->user()) +
                       " --password=" + shellQuote(family_->password());
        ASSERT_NO_FATAL_FAILURE(runInScratch(command));
        std::ifstream envFile(dir_ + "/family/family.env");
        for (std::string line; std::getline(envFile, line);)  // export NAME='value'
            if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
                env_[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
        ASSERT_TRUE(env_.contains("PELO_DB")) << "no family.env";
    }

    /// The real binary, as the family's login through nss_wrapper, with the
    /// dialog's answers on its input: archive to a directory, no removal.
    void archive(const std::string& arch) const {
        fs::create_directories(arch);
        std::ofstream(dir_ + "/answers") << (GetParam().level ? "2\n1\nr2lvl02\nrel2\n1\n1\n" : "2\n2\nrel1\n1\n1\n")
                                         << arch << "\n";
        std::map<std::string, std::string> env = env_;
        env["PATH"] = "/usr/bin:/bin", env["LANG"] = "C.UTF-8", env["LD_PRELOAD"] = "libnss_wrapper.so";
        env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
        // The cluster and its login, for the utility and for the products'
        // tools (the VQL tool's command line names no password).
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                env[name] = value;
        std::string command = "env -i";
        for (const auto& [name, value] : env)
            command += " " + name + "=" + shellQuote(value);
        ASSERT_NO_FATAL_FAILURE(runInScratch(command + " " + shellQuote(PELO_BINARY_DIR "/src/peloarchive") +
                                             " <answers && grep -q 'Archive complete' output"));
    }

    Tables read(const ScratchDatabase& db, const Tables* like = nullptr) const {
        const std::string target = &db == family_.get() ? env_.at("PELO_DB") : db.target();
        EXPECT_EQ(sqlConnect(target, db.user(), db.password()), 0) << sqlca.sqlerrm;
        Tables tables = readTables(like);
        sqlRollbackRelease();
        return tables;
    }

    std::unique_ptr<ScratchDatabase> family_, reload_;
    std::string dir_;
    std::map<std::string, std::string> env_;
};

TEST_P(RoundTripTest, ReloadGivesBackTheFamilyRows) {
    const RoundTripCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    if (c.hostile) {
        ASSERT_EQ(sqlConnect(env_.at("PELO_DB"), family_->user(), family_->password()), 0) << sqlca.sqlerrm;
        ASSERT_NO_FATAL_FAILURE(makeFamilyHostile(c.product == std::string("sybase")));
        sqlRollbackRelease();
    }
    const std::string arch = dir_ + "/arch";
    ASSERT_NO_FATAL_FAILURE(archive(arch));
    ASSERT_TRUE(fs::exists(arch + "/configField/DefectConfigTbl")) << "the archive holds the field tables";
    const std::string dialect = c.product == std::string("vql") ? "dizoz" : c.product;
    ASSERT_NO_FATAL_FAILURE(runInScratch(shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" +
                                         dialect + " --target=" + shellQuote(reload_->target()) + " --login=" +
                                         shellQuote(reload_->user()) + " --password=" +
                                         shellQuote(reload_->password()) + " --create-schema " + shellQuote(arch)));
    Tables reloaded = read(*reload_);
    Tables family = read(*family_, &reloaded);  // a field switched off is not archived
    const auto counts = archivedCounts(testing::readText(arch + "/PELOarchive.info"));

    applyWrittenForms(family, arch);
    applyScriptDifferences(family, reloaded, c);
    for (const auto& [table, keyColumns] : scriptTables) {
        const bool informix = c.product == std::string("informix");
        EXPECT_EQ(reloaded[table].rows.size(), expectedRows(table, counts, family, reloaded, informix)) << table;
        expectFamilyRows(table, keyColumns, family[table].rows, reloaded[table].rows);
    }
    EXPECT_GT(reloaded["CHANGES"].rows.size(), 0u) << "the archive holds no change";
    const auto hostile = [](const Texts& row) { return joined(row).find("$(touch CANARY)") != std::string::npos; };
    for (const char* table : {"PATH", "NOTES", "VERSIONS", "DEFECTS", "COMPONENTS", "USERS", "HOSTS"})
        EXPECT_EQ(std::ranges::any_of(reloaded[table].rows, hostile), c.hostile) << table;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
        EXPECT_NE(entry.path().filename(), "CANARY") << entry.path();
}

// Hostile values on the level archive of every product: the release
// archive adds nothing to their journey but time.
std::vector<RoundTripCase> roundTripCases() {
    std::vector<RoundTripCase> cases;
    for (Backend backend : {Backend::sqlite, Backend::postgres})
        for (const char* product : {"oracle", "informix", "sybase", "vql"})
            for (auto [level, hostile] : {std::pair{true, false}, {false, false}, {true, true}})
                cases.push_back({product, backend, level, hostile});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, RoundTripTest, ::testing::ValuesIn(roundTripCases()), caseName);

}  // namespace
}  // namespace pelo
