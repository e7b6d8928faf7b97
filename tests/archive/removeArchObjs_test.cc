// The removal's commit points in a child that a termination signal
// reaches once the defects step has begun: the step commits its defects
// in batches, and the signal ends the run at the first batch's commit,
// with each defect gone whole or kept whole.
#include <signal.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "archive/context.h"
#include "archive/familyDb.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "db/client.h"
#include "support/msg.h"

namespace pelo {
namespace {

constexpr int defects = 2500;

/// Standard output of the child: the text goes nowhere, and the defects
/// step's progress line raises SIGTERM, which the run's handler records.
ssize_t signalAtDefects(void*, const char* text, size_t size) {
    if (std::string_view(text, size).find(msgDefault(1546)) != std::string_view::npos)
        raise(SIGTERM);
    return static_cast<ssize_t>(size);
}

class RemovalBatchTest : public testing::FamilyDbTest {
protected:
    std::int32_t count(const char* select) {
        SqlRow row;
        EXPECT_EQ(sqlExecute(select, {}, &row), 0) << sqlca.sqlerrm;
        return row.intAt(0);
    }
};

TEST_F(RemovalBatchTest, SignalEndsTheDefectsStepAtABatchCommit) {
    GTEST_FLAG_SET(death_test_style, "fast");
    rows("WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT id + 1 FROM n WHERE id < " + std::to_string(defects) +
         ") INSERT INTO DEFECTS(ID, TYPE, NAME, STATE, RELEASEID) SELECT id, 'defect', id, 'closed', 1 FROM n;"
         "INSERT INTO HISTORY SELECT ID, 5, 'open', '99/01/01 10:00:00' FROM DEFECTS;");
    ASSERT_EQ(sqlCommit(), 0);
    // The child opens its own session: one a fork shares is no session.
    const std::string database = (scratch_ / "family.db").string();
    sqlRollbackRelease();
    EXPECT_EXIT(
        {
            stdout = fopencookie(nullptr, "w", {nullptr, signalAtDefects, nullptr, nullptr});
            sqlConnect(database, "family", "secret");
            archCtx.connectedToDb = 1;
            archCtx.levelName = "lev";  // a level archive: no releases step
            for (int id = 1; id <= defects; ++id)
                archCtx.defectFeatureIdList.listAppend(id);
            sigInit();
            removeArchivedObjects();
        },
        ::testing::ExitedWithCode(1), "");
    ASSERT_EQ(sqlConnect(database, "family", "secret"), 0) << sqlca.sqlerrm;
    const std::int32_t removed = defects - count("SELECT COUNT(*) FROM DEFECTS");
    EXPECT_GE(removed, 1) << "the run ended before the first batch committed";
    EXPECT_LE(removed, 1000) << "the signal was not honoured at the first batch's commit";
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORY"), defects - removed) << "a defect went without its history";
    EXPECT_EQ(count("SELECT COUNT(*) FROM HISTORY WHERE DEFECTID NOT IN(SELECT ID FROM DEFECTS)"), 0);
}

}  // namespace
}  // namespace pelo
