// Removal loses nothing.  The real binary archives a demo family as its
// login and removes what it archived; reload runs the archive's script into
// an empty schema.  Every row that went from the family must then be in the
// reloaded database with its values, every delta that went from a history
// in the archive's copy of it, and every level map that went in the
// archive byte for byte.  Informix archives only the archived Notes and
// Versions rows, Oracle's export tool the whole tables: each backend sees both.
// And every row that went is in the archive's row copy exactly as the
// family held it, where the script must change it: configured fields
// switched off or past the twentieth, and free text with ' ` & and ;.
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
#include "tools/removedObjects.h"
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

// Every pair of backend (the deletes and their commits), history kind (what
// goes from vc/) and request (which steps run) once; the product only
// changes how the removed rows read back.
const RemovalCase removalCases[] = {
    {"SQLite_Sccs_Level_Informix", Backend::sqlite, "sccs", true, "informix"},
    {"SQLite_Pvcs_Release_Oracle", Backend::sqlite, "pvcs", false, "oracle"},
    {"PostgreSQL_Sccs_Release_Informix", Backend::postgres, "sccs", false, "informix"},
    {"PostgreSQL_Pvcs_Level_Oracle", Backend::postgres, "pvcs", true, "oracle"},
};

class RemovalTest : public ScratchPairTest<RemovalCase> {
protected:
    void SetUp() override {
        ScratchPairTest::SetUp();
        if (!IsSkipped())
            arch_ = familyDb_->dir().string() + "/arch";
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
public:
    /// The cluster's connection variables, for a run on PostgreSQL.
    static std::map<std::string, std::string> cluster() {
        std::map<std::string, std::string> variables;
        for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
            if (const char* value = std::getenv(name))
                variables[name] = value;
        return variables;
    }

protected:
    void archiveAndReload() const {
        fs::create_directories(arch_);
        const std::map<std::string, std::string> cluster = RemovalTest::cluster();
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

    std::string rowCopy() const { return arch_ + "/PELOarchive.rows.db"; }

    Histories histories(const std::string& base) const {
        return readHistories(base, family_.env.at("PELO_VCBIN"), GetParam().vc == std::string("pvcs"));
    }

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

    const ScriptForms forms = ScriptForms::of(arch_, c.product == std::string("informix"));
    std::size_t rowsGone = 0;
    for (const auto& [table, keyColumns] : familyTables)
        rowsGone += expectRemovedRowsArchived(table, keyColumns, before.at(table), after.at(table), reloaded.at(table),
                                              forms);
    EXPECT_GT(rowsGone, 0u) << "the removal removed no row";
    const Tables copy = readTablesAt(rowCopy(), "rowcopy", "", &before);
    std::size_t rowsCopied = 0;
    for (const auto& [table, keyColumns] : scriptTables)
        rowsCopied += expectRemovedRowsCopied(table, keyColumns, before.at(table), after.at(table), copy.at(table));
    EXPECT_EQ(rowsCopied, rowsGone);

    const Histories archived = histories(arch_);
    const std::size_t historiesGone = expectRemovedDeltasArchived(historiesBefore, histories(family_.home), archived);
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

    const std::size_t mapsGone =
        expectRemovedMapsArchived(mapsBefore, readFiles(family_.home + "/maps"), readFiles(arch_ + "/maps"));
    EXPECT_GT(mapsGone, 0u) << "the removal removed no level map";

    // A path goes with the last file row that names it and is not
    // dropped: a live file row left names no path that went.
    const TableRows& files = after.at("FILES");
    const auto ids = [](const TableRows& table, const char* column, auto keep) {
        std::set<std::string> found;
        for (const Texts& row : table.rows)
            if (keep(row))
                found.insert(row[table.at(column)]);
        return found;
    };
    const auto any = [](const Texts&) { return true; };
    const auto live = [&](const Texts& row) { return row[files.at("DROPDATE")].empty() && row[files.at("NUDROPDATE")].empty(); };
    const std::set<std::string> pathsBefore = ids(before.at("PATH"), "ID", any), pathsAfter = ids(after.at("PATH"), "ID", any);
    for (const std::string& path : ids(files, "PATHID", live))
        EXPECT_TRUE(!pathsBefore.contains(path) || pathsAfter.contains(path)) << "path " << path << " went";
}

/// The configured defect fields the test adds: 21 switched on, after the
/// family's own, and RETIRED switched off.
std::string addedFields() {
    std::string lines;
    for (int k = 1; k <= 21; ++k) {
        const std::string name = "XF" + std::to_string(k);
        lines += "yes|" + name + "|" + name + "|" + name + "|" + name + "|no|no|text\n";
    }
    return lines + "no|RETIRED|retired|Retired|Ret|no|no|text\n";
}

// A release archive with removal keeps in its row copy what its script
// cannot carry: the value of a switched-off field, of the 21st configured
// field, and free text with the characters the script blanks.
using RowCopyTest = RemovalTest;

TEST_P(RowCopyTest, HoldsWhatTheScriptCannotCarry) {
    const RemovalCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    const std::string family = family_.env.at("PELO_DB");
    ASSERT_EQ(sqlConnect(family, familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
    std::string script;
    for (int k = 1; k <= 21; ++k)
        script += "ALTER TABLE DEFECTS ADD COLUMN XF" + std::to_string(k) + " VARCHAR(40);";
    script += "ALTER TABLE DEFECTS ADD COLUMN RETIRED VARCHAR(40);";
    if (c.backend == Backend::postgres)
        script += "SELECT PELO_CREATE_REPORT_VIEWS();";  // the views carry every column only when made again
    script += "UPDATE DEFECTS SET XF21 = 'twenty-first ' || ID, RETIRED = 'retired ' || ID,"
              " ABSTRACT = 'it''s `quoted` & semi;colon ' || ID;"
              "UPDATE RELEASES SET DESCRIPTION = 'rel''s `one`; & only' WHERE NAME = 'rel1';";
    ASSERT_EQ(sqlExecuteScript(script), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
    sqlRollbackRelease();
    for (const char* table : {"/configField/DefectConfigTbl", "/configField/FeatureConfigTbl"})
        std::ofstream(family_.home + table, std::ios::app) << addedFields();
    const Tables before = readTables(family, *familyDb_);

    fs::create_directories(arch_);
    const std::string output = testing::runArchive(family_, "2\n2\nrel1\n2\n2\n1\n" + arch_ + "\n", cluster());
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    const Tables after = readTables(family, *familyDb_);
    const Tables copy = readTablesAt(rowCopy(), "rowcopy", "", &before);
    for (const char* table : {"DEFECTS", "RELEASES"})
        EXPECT_GT(expectRemovedRowsCopied(table, 1, before.at(table), after.at(table), copy.at(table)), 0u) << table;

    // The values themselves, as sqlite3 shows them to anyone.
    const TableRows& defects = copy.at("DEFECTS");
    ASSERT_FALSE(defects.rows.empty());
    for (const Texts& row : defects.rows) {
        const std::string id = row[defects.at("ID")];
        EXPECT_EQ(row[defects.at("XF21")], "twenty-first " + id);
        EXPECT_EQ(row[defects.at("RETIRED")], "retired " + id);
        EXPECT_EQ(row[defects.at("ABSTRACT")], "it's `quoted` & semi;colon " + id);
    }
    const TableRows& releases = copy.at("RELEASES");
    ASSERT_EQ(releases.rows.size(), 1u);
    EXPECT_EQ(releases.rows[0][releases.at("DESCRIPTION")], "rel's `one`; & only");
    // The script carries none of them.
    const std::string written = testing::readText(arch_ + "/PELOarchive.dbData");
    for (const char* value : {"twenty-first", "retired ", "semi;colon", "`one`"})
        EXPECT_EQ(written.find(value), std::string::npos) << value;
}

INSTANTIATE_TEST_SUITE_P(Removal, RemovalTest, ::testing::ValuesIn(removalCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

/// A trigger that adds an approval to rel1's first track the first time a
/// file row goes: a row the walk never saw, met by the tracks step.
std::string sneakingTrigger(Backend backend) {
    const std::string insert =
        "INSERT INTO APPROVALS SELECT MIN(ID), 1, 'sneaked', '99/01/01 00:00:00', '99/01/01 00:00:00' FROM TRACKS"
        " WHERE RELEASEID = (SELECT ID FROM RELEASES WHERE NAME = 'rel1')"
        " AND NOT EXISTS (SELECT 1 FROM APPROVALS WHERE STATE = 'sneaked');";
    if (backend == Backend::sqlite)
        return "CREATE TRIGGER SNEAK AFTER DELETE ON FILES BEGIN " + insert + " END;";
    return "CREATE FUNCTION SNEAK() RETURNS trigger AS $$ BEGIN " + insert +
           " RETURN NULL; END $$ LANGUAGE plpgsql;"
           "CREATE TRIGGER SNEAK AFTER DELETE ON FILES FOR EACH STATEMENT EXECUTE FUNCTION SNEAK();";
}

// A row that joins the family after the walk, here by a trigger the
// removal itself sets off, is in no copy: the step that would delete it
// stops the run before its first delete, and the archive is kept.
TEST_P(RowCopyTest, RowAddedAfterTheWalkStopsTheRemoval) {
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    const std::string family = family_.env.at("PELO_DB");
    ASSERT_EQ(sqlConnect(family, familyDb_->user(), familyDb_->password()), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecuteScript(sneakingTrigger(GetParam().backend)), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlCommit(), 0) << sqlca.sqlerrm;
    sqlRollbackRelease();
    const Tables before = readTables(family, *familyDb_);

    fs::create_directories(arch_);
    const std::string output = testing::runArchive(family_, "2\n2\nrel1\n2\n2\n1\n" + arch_ + "\n", cluster());
    EXPECT_TRUE(output.ends_with("status=1\n")) << output;
    EXPECT_NE(output.find("\n0012-012 The peloarchive program cannot continue.  The APPROVALS row\n         TRACKID="),
              std::string::npos)
        << output;
    EXPECT_NE(output.find(", STATE=sneaked, "), std::string::npos) << output;
    EXPECT_NE(output.find("0012-001 The archive in " + arch_), std::string::npos) << output;
    const Tables after = readTables(family, *familyDb_);
    for (const char* table : {"TRACKS", "APPROVALS", "CHANGES", "DEFECTS", "HISTORY"})
        EXPECT_EQ(removedRows(table == std::string("APPROVALS") ? 0 : 1, before.at(table), after.at(table)).size(),
                  0u)
            << table << ": the tracks step and those after it delete nothing";
    EXPECT_TRUE(fs::exists(rowCopy())) << "the archive is kept";
}

/// The schema of a row copy, as sqlite3 shows it.
std::string copySchema(const std::string& path) {
    EXPECT_EQ(sqlConnect(path, "rowcopy", ""), 0) << sqlca.sqlerrm;
    std::string schema;
    SqlCursor cursor("SELECT sql FROM sqlite_master ORDER BY name");
    EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm;
    for (SqlRow row; cursor.fetch(row) == 0;)
        schema += row.textAt(0) + "\n";
    sqlRollbackRelease();
    return schema;
}

// The same family, built on SQLite and on PostgreSQL, archived alike,
// gives the same row copy: the same tables and the same rows.  The family
// login, which rows name, is the cluster's on both.
TEST(RowCopyBackendsTest, SameFamilyGivesTheSameCopyOnEitherBackend) {
    std::vector<std::pair<std::string, Tables>> copies;
    std::string login;
    for (const Backend backend : {Backend::postgres, Backend::sqlite}) {
        ScratchDatabase db(backend);
        if (!db.unavailable().empty())
            GTEST_SKIP() << db.unavailable();
        const std::string root = db.dir().string();
        if (backend == Backend::postgres)
            login = db.user();
        const std::string options = backend == Backend::postgres ? familyTargetOptions(db) : " --login=" + login;
        const testing::BuiltFamily family =
            testing::buildFamily(root + "/family", "--size=demo --db=oracle --vc=sccs" + options);
        fs::create_directories(root + "/arch");
        const std::string output =
            testing::runArchive(family, "2\n2\nrel1\n2\n2\n1\n" + root + "/arch\n", RemovalTest::cluster());
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
        const std::string copy = root + "/arch/PELOarchive.rows.db";
        copies.emplace_back(copySchema(copy), readTablesAt(copy, "rowcopy", ""));
    }
    EXPECT_EQ(copies[0].first, copies[1].first) << "the schemas differ";
    for (const auto& [table, keyColumns] : scriptTables) {
        EXPECT_EQ(copies[0].second.at(table).columns, copies[1].second.at(table).columns) << table;
        EXPECT_EQ(copies[0].second.at(table).rows, copies[1].second.at(table).rows) << table;
    }
    EXPECT_GT(copies[0].second.at("DEFECTS").rows.size(), 0u);
}

// Release archives only: a level archive removes no defect or release.
INSTANTIATE_TEST_SUITE_P(Removal, RowCopyTest, ::testing::Values(removalCases[1], removalCases[2]),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
