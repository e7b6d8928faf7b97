// The database products every database test runs on: SQLite always, and
// PostgreSQL when PELO_TEST_PG names a cluster to make scratch databases in
// (a postgresql:// URI of its maintenance database, with a user allowed to
// create databases and that user's password; scripts/pgcluster starts a
// throwaway cluster and sets it).  Without it the PostgreSQL cases are
// skipped, never passed.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/client.h"
#include "db/pg_backend.h"
#include "support/passwd.h"

namespace pelo::dbtest {

enum class Backend { sqlite, postgres };

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::sqlite ? "SQLite" : "PostgreSQL";
}

inline const auto everyBackend = ::testing::Values(Backend::sqlite, Backend::postgres);

/// What the scratch databases of PostgreSQL are made from: the cluster
/// named by PELO_TEST_PG, read once.
struct PgCluster {
    std::string admin;     ///< the URI of the maintenance database
    std::string host;      ///< socket directory or host name ("" for the default)
    std::string port;
    std::string user;      ///< the tests' login on the cluster
    std::string password;

    static const PgCluster* get() {
        static const std::unique_ptr<PgCluster> cluster = read();
        return cluster.get();
    }

private:
    static std::unique_ptr<PgCluster> read() {
        const char* uri = std::getenv("PELO_TEST_PG");
        if (uri == nullptr || *uri == '\0')
            return nullptr;
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(uri, &error);
        if (options == nullptr) {
            PQfreemem(error);
            return nullptr;
        }
        auto cluster = std::make_unique<PgCluster>();
        cluster->admin = uri;
        for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
            const std::string keyword = option->keyword;
            const std::string value = option->val != nullptr ? option->val : "";
            if (keyword == "host")
                cluster->host = value;
            else if (keyword == "port")
                cluster->port = value;
            else if (keyword == "user")
                cluster->user = value;
            else if (keyword == "password")
                cluster->password = value;
        }
        PQconninfoFree(options);
        if (cluster->user.empty())
            cluster->user = passwdName();
        return cluster;
    }
};

/// Runs one statement with at most one text input, on the database of
/// `target` as the cluster's user, and returns its first value; nullopt
/// with the complaint in `complaint` when it fails.
inline std::optional<std::string> pgQuery(const std::string& target, const std::string& statement,
                                          const char* input = nullptr, std::string* complaint = nullptr) {
    const PgCluster& cluster = *PgCluster::get();
    const char* const keys[] = {"dbname", "user", "password", nullptr};
    const char* const values[] = {target.c_str(), cluster.user.c_str(), cluster.password.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
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

/// A URI for database `name` on the cluster, without user or password:
/// those come from the login, as the utility's own connect has them.
inline std::string pgTarget(const PgCluster& cluster, const std::string& name) {
    const auto escaped = [](const std::string& value) {
        std::string out;
        for (char c : value) {
            if (std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string_view("/-._~").find(c) != std::string_view::npos) {
                out += c;
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
                out += hex;
            }
        }
        return out;
    };
    std::string uri = "postgresql:///" + name;
    if (!cluster.host.empty())
        uri += "?host=" + escaped(cluster.host);
    if (!cluster.port.empty())
        uri += (cluster.host.empty() ? "?port=" : "&port=") + escaped(cluster.port);
    return uri;
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
        return backend_ == Backend::sqlite ? (dir_ / "nosuch.db").string()
                                           : pgTarget(*PgCluster::get(), name_ + "_nosuch");
    }
    /// Whether the database of missingTarget has come to exist.
    bool missingExists() const {
        if (backend_ == Backend::sqlite)
            return std::filesystem::exists(missingTarget());
        const std::string name = name_ + "_nosuch";
        return pgQuery(PgCluster::get()->admin, "SELECT COUNT(*) FROM pg_database WHERE datname = $1", name.c_str()) !=
               "0";
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
            unavailable_ = "PELO_TEST_PG names no PostgreSQL cluster";
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
        target_ = pgTarget(*cluster, name_);
        user_ = cluster->user;
        password_ = cluster->password;
        if (!pgQuery(target_, "CREATE COLLATION PELODATE (provider = icu, locale = 'und-u-kn')", nullptr, &complaint))
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
