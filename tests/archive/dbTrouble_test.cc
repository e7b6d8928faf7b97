// Database trouble in the middle of an archive run: the PostgreSQL server
// stopped, the server process of the run's session frozen and the run then
// signalled, an SQLite database locked by another connection.  Each run
// ends with status 1 through the clean-up: 0010-981 and the clean-up lines
// on standard output, the database's text on standard error, the archive
// semaphore released; before the removal no work file is left, after its
// start the archive is kept and the user is told to restore the family.
//
// The PostgreSQL cases run on a cluster of their own, started and stopped
// here, never on the cluster that other tests share.
#include <pwd.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "builtFamily.h"
#include "db/client.h"
#include "support/commandLine.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string role = "pelofam";
const std::string password = "trouble" + std::to_string(getpid() % 100000);

/// The newest PostgreSQL server installed, or "" when there is none.
std::string serverBinDir() {
    std::string best;
    if (!fs::is_directory("/usr/lib/postgresql"))
        return best;
    for (const auto& version : fs::directory_iterator("/usr/lib/postgresql")) {
        const fs::path bin = version.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") &&
            (best.empty() || std::stoi(version.path().filename()) > std::stoi(fs::path(best).parent_path().filename())))
            best = bin.string();
    }
    return best;
}

/// A throwaway cluster below a scratch directory: password logins over a
/// Unix socket in that directory, no TCP, its superuser the family's login.
/// The server refuses to run as root, so root runs it as "postgres".
class PrivateCluster {
public:
    PrivateCluster() {
        bin_ = serverBinDir();
        if (bin_.empty()) {
            unavailable_ = "no PostgreSQL server under /usr/lib/postgresql (package postgresql)";
            return;
        }
        char pattern[] = "/tmp/pelo-dbtrouble-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            unavailable_ = "no scratch directory";
            return;
        }
        dir_ = pattern;
        chmod(dir_.c_str(), 0755);
        if (getuid() == 0 && !chownToOwner())
            return;
        std::ofstream(dir_ + "/pwfile") << password << "\n";
        chownToOwner();
        if (!asOwner(bin_ + "/initdb", "-D " + shellQuote(dir_ + "/data") + " -U " + role + " --pwfile=" +
                                           shellQuote(dir_ + "/pwfile") +
                                           " --auth-local=scram-sha-256 --auth-host=reject --encoding=UTF8"
                                           " --locale=C.UTF-8 >" + shellQuote(dir_ + "/initdb.log") + " 2>&1")) {
            unavailable_ = "initdb failed: " + testing::readText(dir_ + "/initdb.log");
            return;
        }
        if (!start())
            unavailable_ = "the server did not start: " + testing::readText(dir_ + "/server.log");
    }

    ~PrivateCluster() {
        if (frozen_ > 0)
            kill(frozen_, SIGCONT);
        if (!dir_.empty()) {
            stop();
            fs::remove_all(dir_);
        }
    }

    PrivateCluster(const PrivateCluster&) = delete;
    PrivateCluster& operator=(const PrivateCluster&) = delete;

    const std::string& unavailable() const { return unavailable_; }

    /// What PELO_DB takes for database `name`: the utility runs with no
    /// libpq variables, so the URI names the socket directory.
    std::string uri(const std::string& name) const { return "postgresql:///" + name + "?host=" + dir_; }

    bool start() {
        return asOwner(bin_ + "/pg_ctl", "-D " + shellQuote(dir_ + "/data") + " -l " + shellQuote(dir_ + "/server.log") +
                                             " -w -o " +
                                             shellQuote("-c listen_addresses= -c unix_socket_directories=" + dir_ +
                                                        " -c fsync=off") +
                                             " start >/dev/null");
    }

    /// The server goes at once, as after a crash.
    bool stop() {
        if (frozen_ > 0)
            kill(frozen_, SIGCONT);
        frozen_ = 0;
        const bool stopped =
            asOwner(bin_ + "/pg_ctl", "-D " + shellQuote(dir_ + "/data") + " -m immediate -w stop >/dev/null 2>&1");
        holder_.reset();
        return stopped;
    }

    /// Runs one statement on database `name`; its first value, or nullopt.
    std::optional<std::string> query(const std::string& name, const std::string& statement) const {
        const char* const keys[] = {"host", "dbname", "user", "password", nullptr};
        const char* const values[] = {dir_.c_str(), name.c_str(), role.c_str(), password.c_str(), nullptr};
        PGconn* conn = PQconnectdbParams(keys, values, 0);
        std::optional<std::string> value;
        if (PQstatus(conn) == CONNECTION_OK) {
            PGresult* result = PQexec(conn, statement.c_str());
            if (PQresultStatus(result) == PGRES_TUPLES_OK)
                value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
            else if (PQresultStatus(result) == PGRES_COMMAND_OK)
                value = "";
            PQclear(result);
        }
        PQfinish(conn);
        return value;
    }

    /// Opens a session on database `name` that runs `lock` in a transaction
    /// it keeps open until stop() or the end of the cluster, so that a run
    /// whose statement needs the lock waits there.
    bool holdLock(const std::string& name, const std::string& lock) {
        const char* const keys[] = {"host", "dbname", "user", "password", nullptr};
        const char* const values[] = {dir_.c_str(), name.c_str(), role.c_str(), password.c_str(), nullptr};
        holder_.reset(PQconnectdbParams(keys, values, 0));
        if (PQstatus(holder_.get()) != CONNECTION_OK)
            return false;
        PGresult* result = PQexec(holder_.get(), ("BEGIN; " + lock).c_str());
        const bool held = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        return held;
    }

    /// Stops the server process of the one client session on database
    /// `name`, until stop() or the end of the cluster.
    bool freezeSessionOf(const std::string& name) {
        const std::optional<std::string> pid =
            query("postgres", "SELECT pid FROM pg_stat_activity WHERE backend_type = 'client backend' AND datname = '" +
                                  name + "'");
        if (!pid || pid->empty())
            return false;
        frozen_ = std::stoi(*pid);
        return kill(frozen_, SIGSTOP) == 0;
    }

private:
    bool chownToOwner() {
        const passwd* owner = getpwnam("postgres");
        if (owner == nullptr) {
            unavailable_ = "running as root, and there is no login postgres to run the server";
            return false;
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            lchown(entry.path().c_str(), owner->pw_uid, owner->pw_gid);
        return chown(dir_.c_str(), owner->pw_uid, owner->pw_gid) == 0;
    }

    bool asOwner(const std::string& program, const std::string& arguments) const {
        const std::string prefix = getuid() == 0 ? "runuser -u postgres -- " : "";
        return std::system((prefix + shellQuote(program) + " " + arguments).c_str()) == 0;
    }

    std::string bin_;
    std::string dir_;
    std::string unavailable_;
    pid_t frozen_ = 0;
    std::unique_ptr<PGconn, decltype(&PQfinish)> holder_{nullptr, &PQfinish};
};

/// What a run left: status, both output streams, and how long it went on
/// after the trouble began.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    bool troubled = false;  ///< the trigger line appeared and the trouble was made
    double secondsAfter = 0;
};

/// Runs the archive and, when the line appears on its standard output,
/// makes the trouble (given the run's process id; false when it could not
/// be made).  A run still going 60 seconds after it started is killed.
Outcome runWithTrouble(const testing::BuiltFamily& family, const std::string& answers, const std::string& line,
                       const std::function<bool(pid_t)>& trouble) {
    const std::string dir = testing::scratchDir();
    std::ofstream(dir + "/trouble-answers") << answers;
    // The shell names itself first; it then becomes the utility.
    const std::string command = "echo $$; exec " + testing::archiveCommand(family) + " <" +
                                shellQuote(dir + "/trouble-answers") + " 2>" + shellQuote(dir + "/trouble-err");
    FILE* stream = popen(command.c_str(), "r");
    char buffer[4096];
    if (stream == nullptr || std::fgets(buffer, sizeof buffer, stream) == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return {};
    }
    const pid_t pid = std::atoi(buffer);
    std::atomic<bool> ended = false;
    std::thread watchdog([&ended, pid] {
        for (int tick = 0; tick < 600 && !ended; ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended)
            kill(pid, SIGKILL);
    });
    Outcome outcome;
    Clock::time_point troubleAt{};
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
        outcome.out += buffer;
        if (!outcome.troubled && std::string(buffer) == line + "\n") {
            outcome.troubled = trouble(pid);
            troubleAt = Clock::now();
        }
    }
    const int status = pclose(stream);
    ended = true;
    watchdog.join();
    outcome.secondsAfter = std::chrono::duration<double>(Clock::now() - troubleAt).count();
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.err = testing::readText(dir + "/trouble-err");
    return outcome;
}

/// Whether the family's archive semaphore is still there.
bool archiveSemaphoreLeft(const std::string& home) {
    const key_t key = ftok(home.c_str(), 109);
    return key == -1 || semget(key, 1, 0) >= 0 || errno != ENOENT;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

const std::string populating = "Generating the database populate file.";
const std::string removingTracks = "  Removing PELO Tracks and their associated objects.";
const std::string restoreWarning = "0010-949 The peloarchive program failed to delete the objects from the";

/// A release archive into a directory, with or without the removal.
std::string releaseArchive(const std::string& arch, bool remove) {
    return std::string("2\n2\nrel1\n") + (remove ? "2\n2\n" : "1\n") + "1\n" + arch + "\n";
}

/// What every troubled run must show, and what it leaves in the archive
/// directory by whether the removal had started.
void expectCleanEnd(const Outcome& run, const testing::BuiltFamily& family, const std::string& arch,
                    const std::string& databaseText) {
    ASSERT_TRUE(run.troubled) << "the trouble was never made\n" << run.out;
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_LT(run.secondsAfter, 30.0) << "the run went on too long after the trouble";
    EXPECT_EQ(occurrences(run.out, "0010-981 The peloarchive program is cleaning up"), 1u) << run.out;
    const std::size_t cleaning = run.out.find("Cleaning up files created by peloarchive.\n");
    const std::size_t releasing = run.out.find("Releasing the peloarchive semaphore.\n", cleaning);
    const std::size_t disconnecting = run.out.find("Disconnecting from the database.\n", releasing);
    EXPECT_TRUE(cleaning != std::string::npos && releasing != std::string::npos && disconnecting != std::string::npos)
        << "the clean-up lines are missing or out of order\n" << run.out;
    EXPECT_NE(run.err.find("0010-061 Database error, " + databaseText), std::string::npos) << run.err;
    EXPECT_FALSE(archiveSemaphoreLeft(family.home)) << "the archive semaphore was left behind";
    if (run.out.find("\nRemoving the archived objects.\n") == std::string::npos) {
        EXPECT_EQ(run.out.find(restoreWarning), std::string::npos) << run.out;
        EXPECT_TRUE(fs::is_empty(arch)) << "work files were left in the archive directory\n" << run.out;
        return;
    }
    EXPECT_GT(run.out.find(restoreWarning), disconnecting) << run.out;
    EXPECT_TRUE(fs::exists(arch + "/PELOarchive.dbData")) << "the archive of a started removal was not kept";
}

// A kind of trouble on the PostgreSQL server, made when a line appears.
struct PgTrouble {
    const char* name;
    const std::string* line;
    bool remove;
    const char* databaseText;  ///< how the code and text begin on standard error
    bool signal;               ///< freeze the session's server process, then SIGTERM the run
    const char* lock;          ///< held from before the run, or nullptr: keeps the run waiting where it needs it
};

class PgTroubleTest : public ::testing::TestWithParam<PgTrouble> {};

TEST_P(PgTroubleTest, RunEndsThroughTheCleanUp) {
    const PgTrouble& c = GetParam();
    PrivateCluster cluster;
    if (!cluster.unavailable().empty())
        GTEST_SKIP() << cluster.unavailable();
    ASSERT_TRUE(cluster.query("postgres", "CREATE DATABASE family"));
    const std::string root = testing::scratchDir() + "/trouble-" + c.name, arch = root + "/arch";
    fs::remove_all(root);
    const testing::BuiltFamily family =
        testing::buildFamily(root + "/family", "--size=tiny --db=oracle --target=" + shellQuote(cluster.uri("family")) +
                                                   " --login=" + role + " --password=" + password);
    fs::create_directories(arch);
    if (c.lock != nullptr)
        ASSERT_TRUE(cluster.holdLock("family", c.lock));
    const Outcome run = runWithTrouble(family, releaseArchive(arch, c.remove), *c.line, [&](pid_t pid) {
        if (!c.signal) {
            // Held still while the server goes, so that the trouble meets
            // the run where the line left it.
            kill(pid, SIGSTOP);
            const bool stopped = cluster.stop();
            kill(pid, SIGCONT);
            return stopped;
        }
        if (!cluster.freezeSessionOf("family"))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the run now waits on the frozen process
        return kill(pid, SIGTERM) == 0;
    });
    expectCleanEnd(run, family, arch, c.databaseText);
    RecordProperty("secondsFromTroubleToEnd", std::to_string(run.secondsAfter));
}

const PgTrouble pgTroubles[] = {
    {"StoppedWhilePopulating", &populating, false, "-", false, nullptr},
    // The tracks step of a small family takes a few milliseconds, less than
    // the test needs to see its line: the run waits on its first delete of
    // a track, which the held lock refuses until the server goes.
    {"StoppedWhileRemoving", &removingTracks, true, "-", false, "LOCK TABLE tracks IN SHARE MODE"},
    {"FrozenThenSignalled", &populating, false, "-8006 (the server did not answer", true, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Server, PgTroubleTest, ::testing::ValuesIn(pgTroubles),
                         [](const auto& info) { return std::string(info.param.name); });

// Another connection holds the write lock of an SQLite family when the
// removal begins: the removal waits for the lock a bounded time, then the
// run ends as after any failed statement.
TEST(SqliteTroubleTest, LockedDatabaseEndsTheRemovalThroughTheCleanUp) {
    const std::string root = testing::scratchDir() + "/trouble-locked", arch = root + "/arch";
    fs::remove_all(root);
    const testing::BuiltFamily family = testing::buildFamily(root + "/family", "--size=tiny --db=oracle");
    fs::create_directories(arch);
    ASSERT_EQ(sqlConnect(family.env.at("PELO_DB"), role, password), 0) << sqlca.sqlerrm;
    ASSERT_EQ(sqlExecuteScript("COMMIT; BEGIN IMMEDIATE;"), 0) << sqlca.sqlerrm;
    const Outcome run = runWithTrouble(family, releaseArchive(arch, true), "Removing the archived objects.",
                                       [](pid_t) { return true; });
    sqlRollbackRelease();
    EXPECT_NE(run.out.find(restoreWarning), std::string::npos) << run.out;
    expectCleanEnd(run, family, arch, "-5 (database is locked)");
}

}  // namespace
}  // namespace pelo
