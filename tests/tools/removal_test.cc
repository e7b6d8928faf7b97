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
}

INSTANTIATE_TEST_SUITE_P(Removal, RemovalTest, ::testing::ValuesIn(removalCases),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
