// The benchmarks' PostgreSQL families: the cluster PELO_TEST_PG names (as
// scripts/pgcluster sets it), a database per family made afresh in it, and
// the family's cache entry kept as its home and a pg_dump archive, which
// each new cluster gets restored.
#pragma once

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "benchFamily.h"

namespace pelo::bench {

/// libpq connection keywords and their values.
using Keywords = std::vector<std::pair<std::string, std::string>>;

/// The cluster's maintenance database: its URI and its connection keywords.
struct Cluster {
    std::string admin;
    Keywords keywords;  ///< host, port, user, password, those the URI gives
};

/// The line a PostgreSQL measure leaves in place of its own without a cluster.
inline void printLeftOut(const std::string& backend) {
    std::printf("backend=%s left out: PELO_TEST_PG names no cluster (run under scripts/pgcluster)\n",
                backend.c_str());
}

inline std::string quoteConninfo(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

inline std::optional<Cluster> readCluster(const char* admin) {
    PQconninfoOption* options = PQconninfoParse(admin, nullptr);
    if (options == nullptr)
        return std::nullopt;
    Cluster cluster{admin, {}};
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        const std::string keyword = option->keyword;
        if (option->val != nullptr && (keyword == "host" || keyword == "port" || keyword == "user" ||
                                       keyword == "password"))
            cluster.keywords.emplace_back(keyword, option->val);
    }
    PQconninfoFree(options);
    return cluster;
}

/// Runs statements without inputs on one database of the cluster.
inline bool clusterExecute(const std::string& conninfo, const std::string& statement) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PGresult* result = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, statement.c_str()) : nullptr;
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!done)
        std::fprintf(stderr, "%s: %s: %s", benchName, statement.c_str(), PQerrorMessage(conn));
    PQclear(result);
    PQfinish(conn);
    return done;
}

/// Points the family's target (for PELO_DB) and conninfo (for libpq's
/// tools) at its database on the server that keywords reach.
inline void reachFamily(Family& family, const Keywords& keywords) {
    std::string uriQuery;
    for (const auto& [keyword, value] : keywords)
        if (keyword == "host" || keyword == "port")
            uriQuery += (uriQuery.empty() ? "?" : "&") + keyword + "=" + value;
    family.target = "postgresql:///" + family.database + uriQuery;
    family.conninfo = "dbname=" + family.database;
    for (const auto& [keyword, value] : keywords)
        family.conninfo += " " + keyword + "=" + quoteConninfo(value);
}

/// The family database starts empty, owned by the family login, which is
/// a superuser so that the schema's report views can be made.
inline bool makeDatabase(Family& family, const Cluster& cluster) {
    family.database = "pelobench_" + std::string(familySize) + "_s" + std::to_string(family.scale);
    reachFamily(family, cluster.keywords);
    return clusterExecute(cluster.admin, std::string("DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE "
                                                     "rolname = '") + familyLogin + "') THEN CREATE ROLE " +
                                             familyLogin + " LOGIN SUPERUSER PASSWORD '" + familyPassword +
                                             "'; END IF; END$$") &&
           clusterExecute(cluster.admin, "DROP DATABASE IF EXISTS " + family.database + " WITH (FORCE)") &&
           clusterExecute(cluster.admin, "CREATE DATABASE " + family.database + " OWNER " + familyLogin);
}

/// The family of family.scale in a new database of the cluster.  A cached
/// family is restored from its pg_dump archive; a new one is built by
/// mkfamily in the cluster and then archived for the next cluster.  Run
/// again, it gives the family as it was before a run changed it.
inline bool preparePostgres(Family& family, const Cluster& cluster) {
    family.root = entryFor("postgresql", family.scale);
    if (!makeDatabase(family, cluster))
        return false;
    const std::string archive = (family.root.string() + ".pgdump");
    if (isBuilt(family) && std::filesystem::exists(archive)) {
        if (runProgram({"pg_restore", "--exit-on-error", "--dbname=" + family.conninfo, archive}, "/dev/null") != 0)
            return fail("pg_restore of " + archive + " failed");
    } else {
        if (!buildFamily(family, {"--target=" + family.target, std::string("--login=") + familyLogin,
                                  std::string("--password=") + familyPassword}))
            return false;
        if (runProgram({"pg_dump", "--format=custom", "--file=" + archive, "--dbname=" + family.conninfo},
                       "/dev/null") != 0)
            return fail("pg_dump of the new family failed");
        markBuilt(family);
    }
    // A live family's tables have their statistics; a restored one gets them now.
    return clusterExecute(family.conninfo, "ANALYZE") && readFamily(family);
}

inline void dropDatabase(const Family& family, const Cluster& cluster) {
    clusterExecute(cluster.admin, "DROP DATABASE IF EXISTS " + family.database + " WITH (FORCE)");
}

}  // namespace pelo::bench
