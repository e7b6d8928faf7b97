// How fast the record accessors read: a family database of 100 000 levels
// in a scratch file, then every level read by id (a Get each) and every
// level read by one cursor walk.  Prints rows per second for each; the last
// line is "get_by_id_rows_per_s=... cursor_walk_rows_per_s=...".
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "db/client.h"
#include "db/dbgLevel.h"
#include "db/records.h"
#include "db/schema.h"

namespace {

using namespace pelo;

constexpr std::int32_t levelCount = 100000;
constexpr std::int32_t releaseId = 1;

bool fail(const char* step) {
    std::fprintf(stderr, "accessors: %s failed: %d %s\n", step, sqlca.sqlcode,
                 sqlca.sqlerrm.c_str());
    return false;
}

bool buildFamily(const std::string& path) {
    std::ofstream{path};
    if (sqlConnect(path, "family", "bench") != 0)
        return fail("connect");
    if (sqlExecuteScript(familySchemaSql()) != 0)
        return fail("schema");
    for (std::int32_t id = 1; id <= levelCount; ++id) {
        char name[16];
        std::snprintf(name, sizeof name, "L%06d", static_cast<int>(id));
        if (sqlExecute("INSERT INTO LEVELS VALUES (:b1,:b2,:b3,5,'99/05/01 10:00:00',"
                       "'99/06/01 10:00:00','99/06/01 10:00:00','complete','production',:b4)",
                       {{1, id}, {2, name}, {3, releaseId}, {4, id % 1000}}) != 0)
            return fail("insert");
    }
    return sqlCommit() == 0 || fail("commit");
}

double rowsPerSecond(std::int64_t rows, std::chrono::steady_clock::duration elapsed) {
    return static_cast<double>(rows) / std::chrono::duration<double>(elapsed).count();
}

}  // namespace

int main() {
    char pattern[] = "/tmp/peloaccessorsXXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::filesystem::path dir = pattern;
    if (!buildFamily((dir / "family.db").string())) {
        std::filesystem::remove_all(dir);
        return 1;
    }

    LevelRecord level{};
    std::int64_t checksum = 0;
    auto start = std::chrono::steady_clock::now();
    for (std::int32_t id = 1; id <= levelCount; ++id)
        if (dbgLevelGetById(level, id) == 0)
            checksum += level.LEVELSIZE;
    const double getRate = rowsPerSecond(levelCount, std::chrono::steady_clock::now() - start);

    std::int64_t walked = 0;
    start = std::chrono::steady_clock::now();
    for (int mode = 0; dbgLevelGetByRel(mode, level, releaseId) == 0; mode = 1)
        if (mode == 1) {
            ++walked;
            checksum -= level.LEVELSIZE;
        }
    const double walkRate = rowsPerSecond(walked, std::chrono::steady_clock::now() - start);

    sqlRollbackRelease();
    std::filesystem::remove_all(dir);
    // Every row read twice, once each way: the sums cancel when both reads
    // delivered the same rows.
    std::printf("levels=%d walked=%lld checksum=%lld\n", static_cast<int>(levelCount),
                static_cast<long long>(walked), static_cast<long long>(checksum));
    std::printf("get_by_id_rows_per_s=%.0f cursor_walk_rows_per_s=%.0f\n", getRate, walkRate);
    return walked == levelCount && checksum == 0 ? 0 : 1;
}
