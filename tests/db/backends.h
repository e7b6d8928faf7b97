// The database products every database test runs on: SQLite always, and
// PostgreSQL when libpq's variables name a cluster to make scratch
// databases in, as a user allowed to create databases (scripts/pgcluster
// starts a throwaway cluster and sets them).  Without one the PostgreSQL
// cases are skipped, never passed.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "db/client.h"
#include "db/pg_backend.h"
#include "support/passwd.h"

namespace pelo::dbtest {

enum class Backend { sqlite, postgres };

inline void PrintTo(Backend backend, std::ostream* out) {
    *out << (backend == Backend::sqlite ? "SQLite" : "PostgreSQL");
}

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return ::testing::PrintToString(info.param);
}

inline const auto everyBackend = ::testing::Values(Backend::sqlite, Backend::postgres);

/// The cluster the scratch databases of PostgreSQL are made in, named by
/// libpq's own variables: PGDATABASE its maintenance database, PGHOST (a
/// socket directory or a host) and PGPORT where it listens, PGUSER and
/// PGPASSWORD the tests' login.  libpq reads them itself, so every
/// connection here, the utility's included, reaches the cluster with a
/// database name alone.  Null when PGDATABASE is unset.
struct PgCluster {
    std::string admin;  ///< the maintenance database
    std::string user;
    std::string password;

    static const PgCluster* get() {
        static const std::unique_ptr<PgCluster> cluster = [] {
            const char* admin = std::getenv("PGDATABASE");
            if (admin == nullptr || *admin == '\0')
                return std::unique_ptr<PgCluster>();
            const char* user = std::getenv("PGUSER");
            const char* password = std::getenv("PGPASSWORD");
            return std::make_unique<PgCluster>(
                PgCluster{admin, user != nullptr && *user != '\0' ? user : passwdName(), password ? password : ""});
        }();
        return cluster.get();
    }
};

/// Runs one statement with at most one text input on database `name` and
/// returns its first value; nullopt with the complaint in `complaint` when
/// it fails.
inline std::optional<std::string> pgQuery(const std::string& name, const std::string& statement,
                                          const char* input = nullptr, std::string* complaint = nullptr) {
    const char* const keys[] = {"dbname", nullptr};
    const char* const values[] = {name.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    std::optional<std::string> value;
    std::string failure;
    if (PQstatus(conn) != CONNECTION_OK) {
        failure = PQerrorMessage(conn);
    } else {
        PGresult* result = PQexecParams(conn, statement.c_str(), input != nullptr ? 1 : 0, nullptr, &input, nullptr,
                                        nullptr, 0);
        if (PQresultStatus(result) == PGRES_COMMAND_OK)
            value = "";
        else if (PQresultStatus(result) == PGRES_TUPLES_OK)
            value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
        else
            failure = PQresultErrorMessage(result);
        PQclear(result);
    }
    PQfinish(conn);
    if (complaint != nullptr)
        *complaint = failure;
    return value;
}

/// A new, empty database of one product, removed with the object.  On
/// PostgreSQL it holds the PELODATE collation, as every SQLite connection
/// does, so test tables can order dates like the family's.
class ScratchDatabase {
public:
    explicit ScratchDatabase(Backend backend) : backend_(backend) {
        if (backend == Backend::sqlite)
            makeSqlite();
        else
            makePostgres();
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    ~ScratchDatabase() { remove(); }

    /// Empty when the database is there; otherwise why the test is skipped.
    const std::string& unavailable() const { return unavailable_; }
    Backend backend() const { return backend_; }
    /// What sqlConnect and PELO_DB take.
    const std::string& target() const { return target_; }
    /// A login and password the database accepts.
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    /// A target like this one naming a database that does not exist.
    std::string missingTarget() const {
        return backend_ == Backend::sqlite ? (dir_ / "nosuch.db").string() : "postgresql:///" + name_ + "_nosuch";
    }
    /// A scratch directory for files of the test.
    const std::filesystem::path& dir() const { return dir_; }

    /// For a child that leaves through exit, never reaching the destructor.
    void removeAtExit() {
        static ScratchDatabase* self = nullptr;
        self = this;
        std::atexit([] { self->remove(); });
    }

private:
    void makeDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelodbXXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            dir_ = pattern;
    }

    void makeSqlite() {
        makeDir();
        target_ = (dir_ / "family.db").string();
        std::ofstream{target_};  // the client layer never creates a database
        user_ = "family";
        password_ = "secret";
    }

    void makePostgres() {
        const PgCluster* cluster = PgCluster::get();
        if (cluster == nullptr) {
            unavailable_ = "PGDATABASE names no PostgreSQL cluster";
            return;
        }
        static int made = 0;
        makeDir();
        name_ = "pelotest_" + std::to_string(getpid()) + "_" + std::to_string(++made);
        std::string complaint;
        // A name, not a value: generated here, it cannot be bound.
        if (!pgQuery(cluster->admin, "CREATE DATABASE " + name_, nullptr, &complaint)) {
            unavailable_ = "cannot create a database: " + complaint;
            name_.clear();
            return;
        }
        // The URI names the database only: libpq takes host and port from
        // PGHOST and PGPORT.
        target_ = "postgresql:///" + name_;
        user_ = cluster->user;
        password_ = cluster->password;
        if (!pgQuery(name_, "CREATE COLLATION PELODATE (provider = icu, locale = 'und-u-kn')", nullptr, &complaint))
            unavailable_ = "cannot create the date collation: " + complaint;
    }

    void remove() {
        if (!name_.empty())
            pgQuery(PgCluster::get()->admin, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        name_.clear();
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
        dir_.clear();
    }

    Backend backend_;
    std::string unavailable_;
    std::string name_;  ///< the PostgreSQL database
    std::filesystem::path dir_;
    std::string target_;
    std::string user_;
    std::string password_;
};

/// A test run once per backend on a scratch database of its own.  A
/// fixture deriving from it returns from SetUp when IsSkipped().
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        db_ = std::make_unique<ScratchDatabase>(GetParam());
        if (!db_->unavailable().empty())
            GTEST_SKIP() << db_->unavailable();
    }

    /// Ends the session before the scratch database goes, so that a server
    /// database can be dropped.
    void TearDown() override {
        if (sqlConnected())
            sqlRollbackRelease();
    }

    bool onPostgres() const { return GetParam() == Backend::postgres; }

    /// The value that holds on this test's backend.
    template <class T>
    T expected(T onSqlite, T onPostgresql) const {
        return onPostgres() ? onPostgresql : onSqlite;
    }

    int connect() const { return sqlConnect(db_->target(), db_->user(), db_->password()); }

    std::unique_ptr<ScratchDatabase> db_;
};

}  // namespace pelo::dbtest
