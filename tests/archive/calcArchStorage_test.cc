// The database's share of the space estimate: rows at their bytes each,
// notes and versions counted by dialect, the sum taken in 32 bits.
#include <gtest/gtest.h>

#include <cstdint>

#include "archive/context.h"
#include "archive/phases.h"

namespace pelo {
namespace {

TEST(DatabaseShareTest, RowsNotesAndVersionsByDialect) {
    // One release, two users and three files: 246 + 2 * 2233 + 3 * 1257.
    constexpr std::int64_t rows = 8483, filesBefore = 1000;
    const struct {
        const char* name;
        Dialect dialect;
        int allNotes;
        std::int64_t share;
    } cases[] = {
        {"InformixArchivedRowsOnly", Dialect::informix, 50, rows + 2 * 4089 + 3 * 1176},
        {"OracleWholeTables", Dialect::oracle, 50, rows + 50 * 4089 + 70 * 1176},
        {"NoDialectNoRemarks", Dialect::none, 50, rows},
        // 600000 notes of 4089 bytes pass 2^31: the 32-bit sum wraps below zero.
        {"WrapsPast32Bits", Dialect::oracle, 600000, rows + 600000LL * 4089 + 70 * 1176 - (1LL << 32)},
    };
    for (const auto& c : cases) {
        archCtx = {};
        archCtx.mode = RunMode::checkOnly, archCtx.database = c.dialect, archCtx.fileSystemStore = filesBefore;
        archCtx.numReleases = 1, archCtx.numUsers = 2, archCtx.numFiles = 3;
        archCtx.numNotes = 2, archCtx.numVersions = 3, archCtx.allNotes = c.allNotes, archCtx.allVersions = 70;
        EXPECT_EQ(calculateStorage(), 0) << c.name;  // a check-only run: no counts section to write
        EXPECT_EQ(archCtx.fileSystemStore, filesBefore + c.share) << c.name;
    }
    archCtx = {};
}

}  // namespace
}  // namespace pelo
