// How the populate work of the utility compares with the fastest way to
// read the same database out as SQL.  For the large family at each scale
// it times, in a child process of its own, a check-only release archive of
// every release the family lets go (all but the last, which is still
// active) and then the populate phase of a file-system archive of the same
// releases: the work files, the populate script, the export of Notes and
// Versions and the estimate.  Against that it times "sqlite3 FAMILY.db
// .dump" or "pg_dump --data-only --inserts", their output going to a file
// as the utility's does.  The peak RSS is the utility's child's own (with
// the export tool it waits for), so the dump never counts in it.
//
//   populate [--scale=N]     N alone; without it, scales 1 and 4
//
// Families are built once with mkfamily and kept below
// $XDG_CACHE_HOME/pelo-bench (or ~/.cache/pelo-bench), one directory per
// size, scale and backend; a PostgreSQL family is kept as its home and a
// pg_dump archive, restored into each new cluster.  PostgreSQL is measured
// on the cluster that PELO_TEST_PG names (as scripts/pgcluster sets it),
// once on the cluster's own socket and once, as postgresql-1ms, over TCP
// through a relay in this benchmark that holds every chunk of bytes for
// 0.5 ms each way: a network a millisecond a round trip away, paid alike by
// the utility and by pg_dump.  Both are left out without a cluster.  Prints
// per backend and scale
//   backend=B scale=N populate_s=... dump_s=... ratio=... peak_rss_mb=...
// with a line of detail below it (postgresql-1ms adds one with the time of
// an empty statement's round trip without and with the relay), and with
// both scales
//   backend=B scale_ratio=...   (populate time at 4 / time at 1)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/context.h"
#include "archive/dialect.h"
#include "archive/phases.h"
#include "benchFamily.h"
#include "benchPostgres.h"
#include "latencyRelay.h"
#include "db/client.h"

namespace {

using namespace pelo;
namespace fs = std::filesystem;
using namespace pelo::bench;

/// PostgreSQL over TCP with a millisecond more for every round trip.
constexpr const char* farBackend = "postgresql-1ms";

/// What the populate child did, as it reports it back.
struct Populated {
    double checkSeconds = 0, scriptSeconds = 0, exportSeconds = 0;
    int tracks = 0, changes = 0, versions = 0;
    long long scriptBytes = 0;
};

// ---- the utility's populate work -----------------------------------------

/// Sets up a run of the utility as its dialog would: a release archive of
/// the family's releases, check-only or into dir.
bool startRun(const Family& family, bool archiving, const fs::path& dir) {
    archCtx = {};
    if (sqlConnect(family.target, familyLogin, familyPassword) != 0)
        return fail("connect: " + sqlca.sqlerrm);
    setenv("PELO_DB", family.target.c_str(), 1);  // where the export tool finds the family
    archCtx.familyName = familyLogin, archCtx.familyHomeDir = (family.root / "home").string();
    archCtx.database = dialectNamed("oracle");
    archCtx.orac_home = family.env.at("ORACLE_HOME");
    archCtx.orac_dba_pass = family.env.at("ORACLE_PASS");
    archCtx.levelName = "";
    for (const std::string& release : family.releases)
        archCtx.relNameList.listAppend(release);
    if (checkArchivePrereqs() != 0)
        return fail("the archive prerequisites are not met");
    archCtx.mode = archiving ? RunMode::archive : RunMode::checkOnly;
    archCtx.fileSystemName = dir.string();
    buildWorkFilePaths();
    return true;
}

/// The check-only run and the file-system archive's populate phase, each
/// phase timed; false at the first failure.
bool populate(const Family& family, const fs::path& dir, Populated& out) {
    auto start = Clock::now();
    if (!startRun(family, false, dir) || generateDbPopulateFile() != 0 || calculateStorage() != 0)
        return fail("the check-only run failed");
    sqlRollbackRelease();
    out.checkSeconds = secondsSince(start);

    start = Clock::now();
    if (!startRun(family, true, dir))
        return false;
    createFiles();
    if (generateDbPopulateFile() != 0)
        return fail("the populate script failed");
    out.scriptSeconds = secondsSince(start);
    start = Clock::now();
    if (export_Notes_Versions() != 0 || calculateStorage() != 0)
        return fail("the export or the estimate failed");
    out.exportSeconds = secondsSince(start);
    out.tracks = archCtx.numTracks, out.changes = archCtx.numChanges, out.versions = archCtx.numVersions;
    std::error_code error;
    out.scriptBytes = static_cast<long long>(fs::file_size(dir / "PELOarchive.dbData", error));
    sqlRollbackRelease();
    return true;
}

/// Runs the populate work in a child so that its peak RSS is its own; the
/// child reports its phases through a pipe.  False when it failed.
bool measurePopulate(const Family& family, const fs::path& dir, double& seconds, double& peakMb,
                     Populated& out) {
    int fds[2];
    if (pipe(fds) != 0)
        return fail("pipe");
    std::fflush(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // The phases' progress lines and messages, shown when the run fails.
        const int log = open((dir / "progress.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        Populated done;
        const bool good = populate(family, dir, done);
        const ssize_t written = write(fds[1], &done, sizeof done);
        std::fflush(nullptr);
        _exit(good && written == sizeof done ? 0 : 1);
    }
    close(fds[1]);
    const ssize_t got = pid > 0 ? read(fds[0], &out, sizeof out) : -1;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return fail("the populate child was lost");
    seconds = secondsSince(start);
    peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    return got == sizeof out && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// The baseline: the whole database as SQL into a file in dir.
bool measureDump(const Family& family, const fs::path& dir, double& seconds, long long& bytes) {
    const std::string output = (dir / "baseline.sql").string();
    const std::vector<std::string> argv = dumpCommand(family);
    const auto start = Clock::now();
    const int status = runProgram(argv, output);
    seconds = secondsSince(start);
    bytes = static_cast<long long>(fs::file_size(output));
    fs::remove(output);
    return status == 0 ? true : fail(argv[0] + " failed with status " + std::to_string(status));
}

/// Measures one prepared family and prints its lines; the populate time,
/// or a negative value when a step failed.
double measure(const Family& family) {
    char pattern[] = "/tmp/pelopopulateXXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return fail("mkdtemp"), -1;
    const fs::path dir = pattern;
    double populateSeconds = 0, peakMb = 0, dumpSeconds = 0;
    long long dumpBytes = 0;
    Populated phases;
    const bool good = measurePopulate(family, dir, populateSeconds, peakMb, phases) &&
                      measureDump(family, dir, dumpSeconds, dumpBytes);
    if (!good) {
        std::ifstream log(dir / "progress.log");
        const std::string text{std::istreambuf_iterator<char>(log), {}};
        std::fprintf(stderr, "populate: the run's last words:\n%s", text.substr(text.size() - std::min<std::size_t>(text.size(), 1500)).c_str());
    }
    fs::remove_all(dir);
    if (!good)
        return -1;
    std::printf("backend=%s scale=%d populate_s=%.2f dump_s=%.2f ratio=%.2f peak_rss_mb=%.1f\n",
                family.backend.c_str(), family.scale, populateSeconds, dumpSeconds, populateSeconds / dumpSeconds,
                peakMb);
    std::printf("  releases=%zu tracks=%d changes=%d versions=%d check_s=%.2f script_s=%.2f export_s=%.2f "
                "script_mb=%.1f dump_mb=%.1f\n",
                family.releases.size(), phases.tracks, phases.changes, phases.versions, phases.checkSeconds,
                phases.scriptSeconds, phases.exportSeconds, phases.scriptBytes / 1e6, dumpBytes / 1e6);
    std::fflush(stdout);
    return populateSeconds;
}

/// How much a round trip to the family's database costs through the relay:
/// the detail line that shows the relay adds what it should.
void printRoundTrips(const std::string& direct, const std::string& relayed) {
    std::printf("  round_trip_ms=%.3f relayed_round_trip_ms=%.3f\n", roundTripMs(direct, 200),
                roundTripMs(relayed, 200));
    std::fflush(stdout);
}

/// Both scales of one backend, then how the time grew between them.  With
/// a relay, the utility and the dump reach the cluster through it.
int benchBackend(const std::string& backend, const std::vector<int>& scales, const Cluster* cluster,
                 const LatencyRelay* relay = nullptr) {
    std::map<int, double> seconds;
    for (int scale : scales) {
        Family family;
        family.backend = backend, family.scale = scale;
        const bool ready = cluster ? preparePostgres(family, *cluster) : prepareSqlite(family);
        const std::string direct = family.conninfo;
        if (ready && relay != nullptr)
            reachFamily(family, relay->keywordsFor(*cluster));
        const double taken = ready ? measure(family) : -1;
        if (taken >= 0 && relay != nullptr)
            printRoundTrips(direct, family.conninfo);
        if (cluster)
            dropDatabase(family, *cluster);
        if (taken < 0)
            return 1;
        seconds[scale] = taken;
    }
    if (seconds.contains(1) && seconds.contains(4))
        std::printf("backend=%s scale_ratio=%.2f\n", backend.c_str(), seconds[4] / seconds[1]);
    return 0;
}

/// The PostgreSQL family again with its server a millisecond further away
/// for every round trip: half of it on the way there, half on the way back.
int benchFarBackend(const std::vector<int>& scales, const Cluster& cluster) {
    Upstream upstream;
    LatencyRelay far;
    if (!findUpstream(cluster, upstream) || !far.start(upstream, relay::Delay(500)))
        return 1;
    return benchBackend(farBackend, scales, &cluster, &far);
}

bool readScales(int argc, char** argv, std::vector<int>& scales) {
    scales = {1, 4};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        const long scale = arg.starts_with("--scale=") ? std::strtol(arg.c_str() + 8, &end, 10) : 0;
        if (end == nullptr || *end != '\0' || end == arg.c_str() + 8 || scale < 1 || scale > 1000)
            return fail("usage: populate [--scale=N]   (N from 1 to 1000; without it, 1 and 4)");
        scales = {static_cast<int>(scale)};
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchName = "populate";
    std::vector<int> scales;
    if (!readScales(argc, argv, scales))
        return 2;
    int status = benchBackend("sqlite", scales, nullptr);
    const char* admin = std::getenv("PELO_TEST_PG");
    if (admin == nullptr || *admin == '\0') {
        printLeftOut("postgresql");
        printLeftOut(farBackend);
        return status;
    }
    const std::optional<Cluster> cluster = readCluster(admin);
    if (!cluster)
        return fail("PELO_TEST_PG is not a connection URI"), 1;
    if (benchBackend("postgresql", scales, &*cluster) != 0)
        status = 1;
    return benchFarBackend(scales, *cluster) != 0 ? 1 : status;
}
