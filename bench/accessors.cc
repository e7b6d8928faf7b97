// How fast the record accessors read, on each backend: a family database of
// 100 000 levels, then every level read by id (a Get each) and every level
// read by one cursor walk.  SQLite runs in a scratch file; PostgreSQL runs
// in a scratch database made on the cluster that PELO_TEST_PG names (the
// URI of its maintenance database, user and password included, as
// scripts/pgcluster sets it), and is left out without it.  Prints one line
// per backend: "<backend> get_by_id_rows_per_s=... cursor_walk_rows_per_s=...".
#include <libpq-fe.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    std::fprintf(stderr, "accessors: %s failed: %d %s\n", step, sqlca.sqlcode, sqlca.sqlerrm.c_str());
    return false;
}

/// Where one backend's figures are taken, and how to get rid of it.
struct Target {
    std::string name;  ///< "sqlite" or "postgresql"
    std::string target;
    std::string user = "family";
    std::string password = "bench";
    std::string admin;     ///< PostgreSQL: the maintenance database's URI
    std::string database;  ///< PostgreSQL: the scratch database
    std::filesystem::path dir;
};

bool buildFamily(const Target& where) {
    if (sqlConnect(where.target, where.user, where.password) != 0)
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

/// Reads every level both ways and prints the figures; false when the two
/// reads did not deliver the same rows.
bool measure(const Target& where) {
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
    // Every row read twice, once each way: the sums cancel when both reads
    // delivered the same rows.
    std::printf("%s levels=%d walked=%lld checksum=%lld\n", where.name.c_str(), static_cast<int>(levelCount),
                static_cast<long long>(walked), static_cast<long long>(checksum));
    std::printf("%s get_by_id_rows_per_s=%.0f cursor_walk_rows_per_s=%.0f\n", where.name.c_str(), getRate,
                walkRate);
    return walked == levelCount && checksum == 0;
}

bool makeSqlite(Target& where) {
    char pattern[] = "/tmp/peloaccessorsXXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    where.name = "sqlite";
    where.dir = pattern;
    where.target = (where.dir / "family.db").string();
    std::ofstream{where.target};
    return true;
}

/// Runs a statement without inputs on the maintenance database.
bool adminExecute(const std::string& admin, const std::string& statement) {
    PGconn* conn = PQconnectdb(admin.c_str());
    PGresult* result = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, statement.c_str()) : nullptr;
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!done)
        std::fprintf(stderr, "accessors: %s: %s", statement.c_str(), PQerrorMessage(conn));
    PQclear(result);
    PQfinish(conn);
    return done;
}

bool makePostgres(Target& where, const char* admin) {
    PQconninfoOption* options = PQconninfoParse(admin, nullptr);
    if (options == nullptr)
        return false;
    std::string query;
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        const std::string keyword = option->keyword;
        if (option->val == nullptr)
            continue;
        if (keyword == "user")
            where.user = option->val;
        else if (keyword == "password")
            where.password = option->val;
        else if (keyword == "host" || keyword == "port")
            query += (query.empty() ? "?" : "&") + keyword + "=" + option->val;
    }
    PQconninfoFree(options);
    where.name = "postgresql";
    where.admin = admin;
    where.database = "pelobench_" + std::to_string(getpid());
    where.target = "postgresql:///" + where.database + query;
    return adminExecute(admin, "CREATE DATABASE " + where.database);
}

void removeTarget(const Target& where) {
    if (!where.database.empty())
        adminExecute(where.admin, "DROP DATABASE IF EXISTS " + where.database + " WITH (FORCE)");
    if (!where.dir.empty())
        std::filesystem::remove_all(where.dir);
}

/// Builds, measures and removes one backend's family: 0 or 1.
int bench(Target& where) {
    const bool good = buildFamily(where) && measure(where);
    sqlRollbackRelease();
    removeTarget(where);
    return good ? 0 : 1;
}

}  // namespace

int main() {
    Target sqlite;
    if (!makeSqlite(sqlite))
        return 1;
    int status = bench(sqlite);
    const char* admin = std::getenv("PELO_TEST_PG");
    if (admin == nullptr || *admin == '\0') {
        std::printf("postgresql left out: PELO_TEST_PG names no cluster\n");
        return status;
    }
    Target postgres;
    if (!makePostgres(postgres, admin))
        return 1;
    return bench(postgres) != 0 ? 1 : status;
}
