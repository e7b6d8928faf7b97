// The session, on each backend: connect from the environment, commit, end,
// and the fatal path.  Paths that end the process run in a forked child
// whose standard output and error log (syslog with LOG_PERROR, sent to a
// file) are read back; the child connects itself, so no database handle
// crosses the fork.
#include "db/session.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "archive/archCleanUp.h"
#include "archive/context.h"
#include "backends.h"
#include "db/client.h"
#include "db/pg_backend.h"
#include "support/passwd.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::BackendTest;

const char* const cleaningUp =
    "\n0010-981 The peloarchive program is cleaning up and exiting as a\n"
    "         result of receiving a termination signal or database errors.\n";

struct ChildRun {
    int status = -1;  ///< exit status, or -1 when the child did not exit
    std::string out;
    std::string log;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

/// How often a text was written to standard error as it stands: the log's
/// copies there (LOG_PERROR) begin with the program and the login, so a
/// line that begins with the text is the utility's own.
std::size_t onStderr(const std::string& err, const std::string& what) {
    return occurrences("\n" + err, "\n" + what);
}

class SessionTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        // The session connects as the login the tests run under.
        if (db_->user() != passwdName() && onPostgres())
            GTEST_SKIP() << "the cluster's user is not the login " << passwdName();
        if (db_->password().empty())
            GTEST_SKIP() << "the cluster's user has no password to put in ORACLE_PASS";
        ASSERT_EQ(connect(), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript("CREATE TABLE LEVELS(ID INTEGER, NAME VARCHAR(32));"
                                   "INSERT INTO LEVELS VALUES(1,'L1'); INSERT INTO LEVELS VALUES(2,'L2');"),
                  0);
        ASSERT_EQ(sqlCommit(), 0);
        ASSERT_EQ(sqlRollbackRelease(), 0);
        dir_ = db_->dir();
        setenv("PELO_DB", db_->target().c_str(), 1);
        setenv("ORACLE_PASS", db_->password().c_str(), 1);
    }

    void TearDown() override {
        BackendTest::TearDown();
        unsetenv("PELO_DB");
        unsetenv("ORACLE_PASS");
    }

    /// Runs the body in a child that exits with status 0 if the body
    /// returns; a fatal error there ends through the clean-up, as in a run.
    ChildRun runChild(const std::function<void()>& body) {
        const fs::path out = dir_ / "stdout";
        const fs::path log = dir_ / "log";
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (std::freopen(out.c_str(), "w", stdout) == nullptr || std::freopen(log.c_str(), "w", stderr) == nullptr)
                _exit(99);
            openlog("session_test", LOG_PERROR, LOG_USER);
            dbSetFatalExit(cleanUpAndExit, "peloarchive");
            body();
            std::exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(log)};
    }

    /// Rows left in LEVELS, read through a session of our own.
    int levelRows() {
        SqlRow row;
        EXPECT_EQ(connect(), 0) << sqlca.sqlerrm;
        EXPECT_EQ(sqlExecute("SELECT COUNT(*)INTO :b1 FROM LEVELS", {}, &row), 0) << sqlca.sqlerrm;
        sqlRollbackRelease();
        return row.intAt(0);
    }

    /// Breaks the session so that every further statement, ROLLBACK
    /// included, fails: on SQLite a read left in progress and interrupted,
    /// on PostgreSQL the session's server process ended under it.
    void jamTheSession(SqlCursor& cursor) const {
        SqlRow row;
        ASSERT_EQ(cursor.open({}), 0);
        ASSERT_EQ(cursor.fetch(row), 0);
        if (onPostgres())
            ASSERT_LT(sqlExecute("SELECT pg_terminate_backend(pg_backend_pid()) INTO :b1:i1 FROM LEVELS"
                                 " WHERE ID=:b1",
                                 {{1, 2}}, &row),
                      0);
        else
            ASSERT_EQ(sqlBreak(), 0);
    }

    /// In a child: connects as a run does and deletes a row without
    /// committing.
    static void startWithWorkPending() {
        if (dbInit() != 0)
            std::exit(98);
        archCtx.connectedToDb = 1;
        sqlExecute("DELETE FROM LEVELS WHERE ID=:b1", {{1, 1}});
    }

    fs::path dir_;
};

INSTANTIATE_TEST_SUITE_P(Backends, SessionTest, dbtest::everyBackend, dbtest::backendName);

// A run that cannot connect logs why, once, prints nothing and fails.
TEST_P(SessionTest, ConnectRefusalIsLoggedOnceAndFailsTheRun) {
    const auto refused = [this](const char* variable, const char* value, const std::string& log) {
        SCOPED_TRACE(log);
        const std::string saved = std::getenv(variable);
        if (value != nullptr)
            setenv(variable, value, 1);
        else
            unsetenv(variable);
        const ChildRun run = runChild([] { std::exit(dbInit()); });
        setenv(variable, saved.c_str(), 1);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.log.find(log), std::string::npos) << run.log;
        // A database error is also written to standard error, once.
        EXPECT_EQ(onStderr(run.log, log), log.starts_with("0010-061") ? 1u : 0u) << run.log;
        EXPECT_EQ(run.out, "");
    };
    refused("ORACLE_PASS", "", "0010-734 The environment variable ORACLE_PASS is not set.");
    refused("PELO_DB", db_->missingTarget().c_str(),
            "0010-061 Database error, " + expected<std::string>("-14 (no database file ",
                                                                std::to_string(pgStatusOfSqlState("3D000")) +
                                                                    " (database \""));
    if (!onPostgres()) {  // a server never makes a database on connection
        EXPECT_FALSE(fs::exists(db_->missingTarget())) << "the client layer never creates a database";
    }
    const std::string home = passwdHome() + "/family.db";
    if (onPostgres())  // the server checks the password; an SQLite file has none
        refused("ORACLE_PASS", "wrong",
                "0010-061 Database error, " + std::to_string(pgStatusOfSqlState("28P01")) +
                    " (password authentication failed for user \"" + passwdName() + "\"), has occurred.");
    else if (!fs::exists(home))  // without PELO_DB, the file family.db in the home
        refused("PELO_DB", nullptr, "0010-061 Database error, -14 (" + ("no database file " + home).substr(0, sqlMessageMax));
    unsetenv("ORACLE_PASS");
    EXPECT_EQ(dbInit(), 1);
    EXPECT_FALSE(sqlConnected());
}

// A run that fails ends once through the clean-up, every clean-up line
// once, on standard error the database's text once and the uncommitted
// work gone.  A failed rollback (the connection is gone) is shown as
// 0010-651.  0010-981 comes from the fatal path, also when the clean-up's
// own disconnect fails, unless a termination signal began the clean-up,
// whose announcement the driver has printed already.
struct FailedRunCase {
    const char* name;
    bool jammed;                  ///< the session broken under pending work, else a failed statement
    bool cleanUpFirst;            ///< the clean-up runs before any fatal error
    std::sig_atomic_t pending;    ///< the termination flag
    std::size_t rollbackFailed;   ///< 0010-651 lines on standard error
    std::size_t announced;        ///< 0010-981 lines on standard output
};

TEST_P(SessionTest, FailedRunRollsBackAndEndsOnceThroughTheCleanUp) {
    const FailedRunCase cases[] = {
        {"FailedStatement", false, false, 0, 0, 1},
        {"FailedRollback", true, false, 0, 1, 1},
        {"FailingExitAfterAFailure", true, true, 0, 0, 1},
        {"FailingExitAfterASignal", true, true, SIGTERM, 0, 0},
    };
    for (const FailedRunCase& c : cases) {
        SCOPED_TRACE(c.name);
        ChildRun run = runChild([this, &c] {
            static volatile std::sig_atomic_t pending = 0;
            pending = c.pending;
            dbSetTerminationFlag(&pending);
            SqlCursor cursor("SELECT ID FROM LEVELS");
            startWithWorkPending();
            if (c.jammed)
                jamTheSession(cursor);
            else
                sqlExecute("DELETE FROM NOWHERE", {});
            if (c.cleanUpFirst)
                cleanUpAndExit();
            dbFatalError();
        });
        const std::string cause =
            "0010-061 Database error, " +
            (c.jammed ? expected<std::string>("-9 (interrupted)", std::to_string(pgStatusOfSqlState("08006")) + " (")
                      : expected<std::string>("-1 (no such table: NOWHERE), has occurred.",
                                              std::to_string(pgStatusOfSqlState("42P01")) +
                                                  " (relation \"nowhere\" does not exist), has occurred."));
        EXPECT_EQ(run.status, 1);
        // What a jam itself answers is whatever the break left; the text of
        // the statement after it, and of a plain failure, is known.
        if (!c.jammed || c.cleanUpFirst) {
            EXPECT_EQ(onStderr(run.log, cause), 1u) << run.log;
        }
        EXPECT_EQ(onStderr(run.log, "0010-061 Database error"), 1u) << "a failed disconnect is logged only\n" << run.log;
        EXPECT_EQ(onStderr(run.log, "0010-651 A database error occurred and the database"), c.rollbackFailed) << run.log;
        EXPECT_EQ(occurrences(run.out, "0010-981"), c.announced) << run.out;
        if (!c.cleanUpFirst) {
            EXPECT_EQ(run.out.rfind(cleaningUp, 0), 0u) << run.out;
        }
        EXPECT_EQ(occurrences(run.out, "Cleaning up files created by peloarchive."), 1u) << run.out;
        EXPECT_EQ(occurrences(run.out, "Disconnecting from the database."), 1u) << run.out;
        EXPECT_EQ(levelRows(), 2);
    }
}

TEST_P(SessionTest, BreakWithoutSessionIsLoggedAndAnswersZero) {
    ChildRun run = runChild([] { std::exit(dbBreak()); });
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.log.find("0010-063 Error, -1001, occurred"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("obreak()"), std::string::npos) << run.log;
}

}  // namespace
}  // namespace pelo
