// Removal loses nothing.  The real binary archives a demo family as its
// login and removes what it archived; reload runs the archive's script into
// an empty schema.  Every row that went from the family must then be in the
// reloaded database with its values, every delta that went from a history
// in the archive's copy of it, and every level map that went in the
// archive byte for byte.  Informix archives only the archived Notes and
// Versions rows, Oracle's export tool the whole tables: each backend sees both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/familyTables.h"
#include "tools/scratchFamily.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using namespace pelo::testing;

struct RemovalCase {
    const char* name;
    Backend backend;
    const char* vc;       ///< mkfamily's --vc
    bool level;           ///< a level archive of rel2 up to r2lvl02; else a release archive of rel1
    const char* product;  ///< mkfamily's --db
};

void PrintTo(const RemovalCase& c, std::ostream* out) { *out << c.name; }

const RemovalCase removalCases[] = {
    {"SQLite_Sccs_Level_Informix", Backend::sqlite, "sccs", true, "informix"},
    {"SQLite_Sccs_Release_Oracle", Backend::sqlite, "sccs", false, "oracle"},
    {"SQLite_Pvcs_Level_Oracle", Backend::sqlite, "pvcs", true, "oracle"},
    {"SQLite_Pvcs_Release_Informix", Backend::sqlite, "pvcs", false, "informix"},
    {"PostgreSQL_Sccs_Level_Oracle", Backend::postgres, "sccs", true, "oracle"},
    {"PostgreSQL_Sccs_Release_Informix", Backend::postgres, "sccs", false, "informix"},
    {"PostgreSQL_Pvcs_Level_Informix", Backend::postgres, "pvcs", true, "informix"},
    {"PostgreSQL_Pvcs_Release_Oracle", Backend::postgres, "pvcs", false, "oracle"},
};

/// A row for a message, each value cut to its first line of at most 40 bytes.
std::string joined(const Texts& row) {
    std::string text;
    for (const std::string& value : row) {
        const std::string brief = value.substr(0, std::min<std::size_t>(40, value.find('\n')));
        text += (text.empty() ? "(" : ", ") + brief + (brief.size() < value.size() ? "..." : "");
    }
    return text + ")";
}

// Every table of the family: the script's, and FILESOUT, which is never
// archived, so no row of it may go.
const std::vector<std::pair<const char*, std::size_t>> familyTables = [] {
    std::vector<std::pair<const char*, std::size_t>> tables(std::begin(scriptTables), std::end(scriptTables));
    tables.emplace_back("FILESOUT", 0);
    return tables;
}();

Tables readTables(const std::string& target, const ScratchDatabase& login) {
    Tables tables;
    EXPECT_EQ(sqlConnect(target, login.user(), login.password()), 0) << sqlca.sqlerrm;
    for (const auto& [name, keyColumns] : familyTables) {
        TableRows& table = tables[name];
        SqlCursor cursor(std::string("SELECT * FROM ") + name);
        EXPECT_EQ(cursor.open({}), 0) << name << ": " << sqlca.sqlerrm;
        for (const SqlColumn& column : cursor.describe())
            table.columns.push_back(upper(column.name));
        for (SqlRow row; cursor.fetch(row) == 0;) {
            table.rows.emplace_back();
            for (int i = 0; i < row.columns(); ++i)
                table.rows.back().push_back(row.textAt(i));
        }
    }
    sqlRollbackRelease();
    return tables;
}

/// How the archive writes a family row, in the columns of the reloaded
/// table: the free texts with ' ` & ; as blanks; a defect or feature
/// without the fields its kind's table switches off; a host's address as
/// 0; '!' for '|' in the remarks of the Informix load files; a file with
/// its current path and version.  Only a release archive removes files: a
/// level archive writes them with the path and version of their archived
/// changes, so a file row it removed would lose its own.
struct ScriptForms {
    std::set<std::string> defectFields, featureFields;
    bool informix;

    Texts written(const std::string& table, const TableRows& family, const Texts& row, const Texts& columns) const {
        static const std::set<std::pair<std::string, std::string>> cleaned = {
            {"RELEASES", "DESCRIPTION"},   {"DEFECTS", "ABSTRACT"}, {"SIZES", "SIZING"},
            {"COMPONENTS", "DESCRIPTION"}, {"USERS", "NAME"},       {"CONFIG", "DESCRIPTION"}};
        const bool feature = table == "DEFECTS" && row[family.at("TYPE")] == "feature";
        Texts out;
        for (const std::string& column : columns) {
            std::string value = row[family.at(column)];
            const bool configured = defectFields.contains(column) || featureFields.contains(column);
            if (table == "DEFECTS" && configured && !(feature ? featureFields : defectFields).contains(column))
                value.clear();
            if (cleaned.contains({table, column}))
                std::replace_if(value.begin(), value.end(), [](char c) { return c && std::strchr("'`&;", c); }, ' ');
            if (informix && column == "REMARKS" && (table == "NOTES" || table == "VERSIONS"))
                std::replace(value.begin(), value.end(), '|', '!');
            if (table == "HOSTS" && column == "ADDRESS")
                value = "0";
            if (table == "FILES" && (column == "PATHID" || column == "VERSIONID"))
                value = row[family.at("NU" + column)];
            out.push_back(value);
        }
        return out;
    }
};

Texts keyOf(const Texts& row, std::size_t keyColumns) {
    return keyColumns == 0 ? row : Texts(row.begin(), row.begin() + std::ptrdiff_t(keyColumns));
}

/// Every row of the family table that the removal took must be in the
/// reloaded table, the row of its key with the same values; a row whose
/// key stays was changed, not removed.  Without a key a row is its whole
/// value, each taken once.  Returns how many rows went.
std::size_t expectRemovedRowsArchived(const std::string& table, std::size_t keyColumns, const TableRows& before,
                                      const TableRows& after, const TableRows& reloaded, const ScriptForms& forms) {
    std::multiset<Texts> left;
    for (const Texts& row : after.rows)
        left.insert(keyOf(row, keyColumns));
    std::multimap<Texts, const Texts*> archived;
    for (const Texts& row : reloaded.rows)
        archived.emplace(keyOf(row, keyColumns), &row);
    std::size_t removed = 0;
    for (const Texts& familyRow : before.rows) {
        if (const auto stays = left.find(keyOf(familyRow, keyColumns)); stays != left.end()) {
            left.erase(stays);
            continue;
        }
        ++removed;
        const Texts row = forms.written(table, before, familyRow, reloaded.columns);
        const auto found = archived.find(keyOf(row, keyColumns));
        if (found == archived.end()) {
            ADD_FAILURE() << table << " " << joined(keyOf(row, keyColumns))
                          << " was removed from the family but the archive does not hold it";
            continue;
        }
        EXPECT_EQ(*found->second, row) << table << " " << joined(keyOf(row, keyColumns))
                                       << " was removed, and archived with other values";
        archived.erase(found);
    }
    return removed;
}

std::string capture(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

/// Histories by their place below vc/, each with its deltas, newest first:
/// the SIDs prs reports (a binary directory's in its s.binary) or the
/// revisions of vlog's "Rev" lines.
using Histories = std::map<std::string, Texts>;

Histories readHistories(const std::string& base, const std::string& vcBin, bool pvcs) {
    Histories histories;
    const fs::path vc = base + "/vc";
    if (!fs::is_directory(vc))
        return histories;
    for (auto it = fs::recursive_directory_iterator(vc); it != fs::recursive_directory_iterator(); ++it) {
        const bool directory = it->is_directory();
        if (directory && !it->path().filename().string().starts_with("b."))
            continue;
        it.disable_recursion_pending();
        const std::string command = pvcs && !directory ? shellQuote(vcBin + "/vlog") + " -br "
                                                       : shellQuote(vcBin + "/prs") + " -e -d:I: ";
        const fs::path file = directory ? it->path() / "s.binary" : it->path();
        std::istringstream output(capture(command + shellQuote(file.string()) + " 2>/dev/null"));
        Texts& deltas = histories[fs::relative(it->path(), vc).string()];
        for (std::string line; std::getline(output, line);)
            if (!pvcs || directory)
                deltas.push_back(line);
            else if (line.starts_with("Rev "))
                deltas.push_back(line.substr(4, line.find_first_of(" \t", 4) - 4));
    }
    return histories;
}

/// The files below a directory by their relative path, with their bytes.
std::map<std::string, std::string> readFiles(const std::string& dir) {
    std::map<std::string, std::string> files;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), dir).string()] = testing::readText(entry.path().string());
    return files;
}

class RemovalTest : public ::testing::TestWithParam<RemovalCase> {
protected:
    void SetUp() override {
        if (const std::string why = openScratchPair(GetParam().backend, familyDb_, reloadDb_); !why.empty())
            GTEST_SKIP() << why;
        arch_ = familyDb_->dir().string() + "/arch";
    }

    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }

    /// The demo family: on SQLite in its default database, on PostgreSQL in
    /// the scratch database as the cluster's login, which is then the family's.
    void buildFamily() {
        const RemovalCase& c = GetParam();
        const std::string options =
            std::string("--size=demo --db=") + c.product + " --vc=" + c.vc + familyTargetOptions(*familyDb_);
        family_ = testing::buildFamily(familyDb_->dir().string() + "/family", options);
        ASSERT_TRUE(family_.env.contains("PELO_DB") && family_.env.contains("PELO_VCBIN")) << "no family.env";
    }

    /// The real binary, as the family's login, archiving into arch_ and
    /// removing what it archived; then reload fills the scratch database.
    void archiveAndReload() const {
        fs::create_directories(arch_);
        std::map<std::string, std::string> cluster;
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                cluster[name] = value;
        const std::string answers = GetParam().level ? "2\n1\nr2lvl02\nrel2\n2\n2\n1\n" : "2\n2\nrel1\n2\n2\n1\n";
        const std::string output = testing::runArchive(family_, answers + arch_ + "\n", cluster);
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
        // What is left is a family the other archive request still passes its checks on.
        const std::string other = GetParam().level ? "1\n2\nrel1\n" : "1\n1\nr2lvl02\nrel2\n";
        const std::string check = testing::runArchive(family_, other, cluster);
        ASSERT_TRUE(check.ends_with("status=0\n")) << check;
        const std::string command = shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" +
                                    GetParam().product + " --target=" + shellQuote(reloadDb_->target()) +
                                    " --login=" + shellQuote(reloadDb_->user()) + " --password=" +
                                    shellQuote(reloadDb_->password()) + " --create-schema " + shellQuote(arch_);
        const std::string reloadOutput = capture(command + " 2>&1; echo \"status=$?\"");
        ASSERT_TRUE(reloadOutput.ends_with("status=0\n")) << command << "\n" << reloadOutput;
    }

    Histories histories(const std::string& base) const {
        return readHistories(base, family_.env.at("PELO_VCBIN"), GetParam().vc == std::string("pvcs"));
    }

    std::unique_ptr<ScratchDatabase> familyDb_, reloadDb_;
    std::string arch_;
    testing::BuiltFamily family_;
};

TEST_P(RemovalTest, EverythingRemovedIsInTheArchive) {
    const RemovalCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    const Tables before = readTables(family_.env.at("PELO_DB"), *familyDb_);
    const Histories historiesBefore = histories(family_.home);
    const auto mapsBefore = readFiles(family_.home + "/maps");
    ASSERT_NO_FATAL_FAILURE(archiveAndReload());
    const Tables after = readTables(family_.env.at("PELO_DB"), *familyDb_);
    const Tables reloaded = readTables(reloadDb_->target(), *reloadDb_);

    const ScriptForms forms{enabledFields(arch_ + "/configField/DefectConfigTbl"),
                            enabledFields(arch_ + "/configField/FeatureConfigTbl"), c.product == std::string("informix")};
    std::size_t rowsGone = 0;
    for (const auto& [table, keyColumns] : familyTables)
        rowsGone += expectRemovedRowsArchived(table, keyColumns, before.at(table), after.at(table), reloaded.at(table),
                                              forms);
    EXPECT_GT(rowsGone, 0u) << "the removal removed no row";

    const Histories historiesAfter = histories(family_.home), archived = histories(arch_);
    std::size_t historiesGone = 0;
    for (const auto& [history, deltas] : historiesBefore) {
        const auto left = historiesAfter.find(history);
        historiesGone += left == historiesAfter.end();
        const Texts kept = left == historiesAfter.end() ? Texts{} : left->second;
        const Texts copy = archived.contains(history) ? archived.at(history) : Texts{};
        for (const std::string& delta : deltas)
            if (std::ranges::find(kept, delta) == kept.end()) {
                EXPECT_NE(std::ranges::find(copy, delta), copy.end())
                    << "delta " << delta << " of vc/" << history << " was removed but the archive does not hold it";
            }
    }
    if (!c.level && c.vc == std::string("sccs")) {
        EXPECT_GT(historiesGone, 0u) << "the release archive removed no history";
    }

    // Under PVCS the histories of a release archive are listed for their
    // owner to remove: each must be in the archive.
    const std::string cleanList = family_.home + "/PELOarchive.PVCS_clean";
    std::ifstream listed(cleanList);
    std::size_t listedCount = 0;
    for (std::string line; std::getline(listed, line);)
        if (line.starts_with(family_.home + "/vc/")) {
            const std::string history = line.substr(family_.home.size() + 4);
            EXPECT_TRUE(archived.contains(history) && !archived.at(history).empty())
                << cleanList << " lists " << line << " but the archive does not hold it";
            ++listedCount;
        }
    EXPECT_EQ(listedCount > 0, !c.level && c.vc == std::string("pvcs")) << cleanList;

    const auto mapsAfter = readFiles(family_.home + "/maps"), archivedMaps = readFiles(arch_ + "/maps");
    std::size_t mapsGone = 0;
    for (const auto& [map, bytes] : mapsBefore)
        if (!mapsAfter.contains(map)) {
            ++mapsGone;
            EXPECT_TRUE(archivedMaps.contains(map) && archivedMaps.at(map) == bytes)
                << "level map maps/" << map << " was removed but the archive does not hold it as it was";
        }
    EXPECT_GT(mapsGone, 0u) << "the removal removed no level map";
}

INSTANTIATE_TEST_SUITE_P(Removal, RemovalTest, ::testing::ValuesIn(removalCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
