// The family builder's promise that no scenario shows: a scale that grows
// what the releases hold.  (The same seed giving the same family, the
// differential goldens hold it to.)
#include <gtest/gtest.h>
#include <stdlib.h>


#include "archive/builtFamily.h"
#include "db/client.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

using Texts = std::vector<std::string>;
using Rows = std::vector<Texts>;

class ToolTest : public ScratchDirTest {
public:
    /// Builds a tiny family (the arguments are mkfamily options); its home.
    std::string build(const std::string& name, const std::string& options) {
        return testing::buildFamily(path(name), options).home;
    }

    static Rows query(const std::string& home, const std::string& sql) {
        Rows rows;
        EXPECT_EQ(sqlConnect(home + "/family.db", "test", "test"), 0) << sqlca.sqlerrm;
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

// A scaled family keeps its releases, levels and archive requests and grows
// what they hold.
TEST_F(ToolTest, ScaleGrowsWhatTheReleasesHold) {
    const auto counts = [](const std::string& home) {
        return query(home, "SELECT (SELECT COUNT(*) FROM RELEASES), (SELECT COUNT(*) FROM LEVELS),"
                           " (SELECT COUNT(*) FROM TRACKS), (SELECT COUNT(*) FROM CHANGES)")[0];
    };
    const std::string one = build("one", ""), three = build("three", "--scale=3");
    const Texts base = counts(one), scaled = counts(three);
    EXPECT_EQ(Texts(scaled.begin(), scaled.begin() + 2), Texts(base.begin(), base.begin() + 2));
    for (int i : {2, 3})
        EXPECT_GT(std::stoi(scaled[i]), 5 * std::stoi(base[i]) / 2) << i;
    for (const char* request : {"releaseArchive=rel1\n", "levelArchiveRelease=rel2\n", "levelArchive=r2lvl02\n"})
        EXPECT_NE(testing::readText(three + "/../family.txt").find(request), std::string::npos) << request;
}

}  // namespace
}  // namespace pelo
