// How a whole run of the utility compares with the least the same work
// could take.  On the large SQLite family, with SCCS and with PVCS
// histories, it runs the real peloarchive binary as the family's login
// (nss_wrapper, the family's environment, answers on standard input, as
// the black-box tests run it) for a release archive of every release the
// family lets go (all but the last, which is still active), three times:
//
//   check    a check-only run;
//   archive  a file-system archive into an empty directory, nothing removed;
//   remove   the same archive with removal, on a copy of the family's home
//            made beforehand and not timed;
//   restore  "--restore" of that archive into the copy it was removed from.
//
// Against that, in the same run and on the same family:
//
//   near_s   "sqlite3 family.db .dump" into a file plus "cp -r" of the
//            family's vc directory: reading the database out as SQL and
//            copying every history, the least an archive could do;
//   floor_s  the version-control tools' share: one "/bin/sh script" of the
//            commands the archive's phase ran, back to back, in the
//            environment the utility gives its children (bench/vcfiles
//            does the same for SCCS): each history named in the archive's
//            information file copied with cp, listed once (prs, or vlog
//            under PVCS) and cut with one rmdel (vdel) per delta the archive
//            lacks.  Its copies must come out byte for byte like the
//            archive's.
//
// On the archive of the archive run, and with the removal run's progress:
//
//   verify   "peloarchive --verify" of the archive, against a near limit of
//            "sha256sum -c" of the manifest from the archive's root (every
//            file it names, read and hashed) plus the sqlite3 CLI loading
//            the populate script's statements, read with the utility's
//            script reader and put in one transaction, into an empty
//            database with the family schema (without the PELODATE
//            collation, which the CLI lacks) and its configured columns;
//   proof    what the run with removal spends proving its archive before
//            it removes anything, from the summary its --json writes:
//            rowcopy_s, the time the populate walk spent on the row copy
//            (encoding and handing over its rows, whose inserts run beside
//            the walk, the reads of the configured columns, the wait for
//            the last inserts and the commit), plus readback_s, the
//            readBack phase (the read-back of every file the manifest
//            names, once the archive is synced).  Its near limit is the archive's, so the ratio is what the
//            proof adds to an archive with removal in units of near_s.
//
// The utility's peak RSS is what wait4 reports for its process, which
// takes in the children it waited for (the export tool, the VC tools).
// Every timed step first writes out the page cache and waits until the
// one-minute load average is below 1.5 (--load-below), so that a busy
// machine does not skew the figures.
//
//   archive [--scale=N] [--vc=sccs|pvcs] [--keep] [--load-below=X]
//
// With N above 1 the run measures scale 1 and then scale N, and the lines
// of scale N end in scale_ratio (time at N / time at 1).  Prints per
// history kind, scale and measure
//   vc=V scale=N measure=check seconds=... near_s=... ratio=... peak_rss_mb=...
//   vc=V scale=N measure=archive seconds=... near_s=... floor_s=... ratio=... ratio_without_floor=... peak_rss_mb=...
// (remove as archive), then
//   vc=V scale=N measure=verify seconds=... near_s=... ratio=...
//   vc=V scale=N measure=proof seconds=... near_s=... ratio=... rowcopy_s=... readback_s=...
//   vc=V scale=N measure=restore seconds=... remove_s=... ratio=... peak_rss_mb=...
// where ratio is seconds / near_s (restore: its seconds over the run with
// removal's), ratio_without_floor is (seconds - floor_s) / near_s, the
// seconds the run with removal spent before it and in each of its steps
// (remove_steps), and a line of detail.  Families come from the
// benchmarks' cache (benchFamily.h).
//
// With SCCS, the large family on PostgreSQL follows, on the cluster that
// PELO_TEST_PG names (as scripts/pgcluster sets it), restored from the
// cache into a new database before each run with removal and not timed
// (benchPostgres.h).  Its near limit is "pg_dump --data-only --inserts"
// into a file plus "cp -r" of vc; it is measured check-only and with
// removal, so its lines are
//   backend=postgresql vc=sccs scale=N measure=check seconds=... near_s=... ratio=... peak_rss_mb=...
// and the same with measure=remove, then its restore's line.  Without a cluster a line says it is
// left out.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/context.h"
#include "archive/dialect.h"
#include "archive/getArchOpts.h"
#include "archive/phases.h"
#include "archive/scriptReader.h"
#include "archive/scriptReload.h"
#include "db/schema.h"
#include "benchFamily.h"
#include "benchPostgres.h"
#include "vcFloor.h"
#include "db/client.h"
#include "db/dbgFile.h"
#include "db/records.h"
#include "support/msg.h"
#include "vc/location.h"

namespace {

using namespace pelo;
using namespace pelo::bench;
namespace fs = std::filesystem;

struct Options {
    std::vector<int> scales = {1};
    std::vector<std::string> vcs = {"sccs", "pvcs"};
    bool keep = false;  ///< leave the work directories for a look
    double loadBelow = 1.5;
};

/// One run of the utility: its wall time and its peak RSS.
struct Run {
    double seconds = 0, peakMb = 0;
    /// Seconds from the start at which each heading of removalHeadings
    /// first appeared on standard output; -1 for one that never did.
    std::vector<double> marks;
};

/// The progress headings that split a run with removal into its steps,
/// as the utility's own message table has them.
const std::vector<std::string> removalHeadings = {msgDefault(1343), msgDefault(1542), msgDefault(1543),
                                                  msgDefault(1546), msgDefault(1347)};

/// Copies the utility's output from fd into the log as it comes, noting
/// when each heading first shows.  The utility flushes every piece of its
/// progress, so a heading's time is when it was printed, to within the
/// pause between reads.  The pause keeps this reader from being woken for
/// each progress dot, which would slow the utility's own writes.
void followOutput(int fd, const fs::path& logPath, const Clock::time_point start, Run& run) {
    std::ofstream log(logPath, std::ios::binary);
    run.marks.assign(removalHeadings.size(), -1);
    std::size_t longest = 0;
    for (const std::string& heading : removalHeadings)
        longest = std::max(longest, heading.size());
    std::string window;  // the end of the output so far: a heading may span two reads
    char chunk[4096];
    for (ssize_t length; (length = read(fd, chunk, sizeof chunk)) != 0;) {
        if (length < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        log.write(chunk, length);
        window.append(chunk, static_cast<std::size_t>(length));
        for (std::size_t h = 0; h < removalHeadings.size(); ++h)
            if (run.marks[h] < 0 && window.find(removalHeadings[h]) != std::string::npos)
                run.marks[h] = secondsSince(start);
        if (window.size() > longest)
            window.erase(0, window.size() - longest);
    }
}

/// What one family's measures came to.
struct Figures {
    Run check, archive, remove, restore;
    double dumpSeconds = 0, cprSeconds = 0, floorSeconds = 0;
    double verifySeconds = 0, sumSeconds = 0, loadSeconds = 0;  ///< --verify and its near limit
    double rowCopySeconds = 0, readBackSeconds = 0;              ///< from the removal run's summary
    std::size_t histories = 0, deltasRemoved = 0, floorCommands = 0;

    double nearSeconds() const { return dumpSeconds + cprSeconds; }
};

/// Writes out what the steps before left in the page cache, then waits
/// until the one-minute load average is below the bound, saying so once,
/// so that neither their write-back nor what else the machine does lands
/// in the next step's figures.
void waitForQuiet(double bound) {
    sync();
    bool told = false;
    for (;;) {
        double load = 0;
        std::ifstream("/proc/loadavg") >> load;
        if (load < bound)
            return;
        if (!told)
            std::fprintf(stderr, "%s: waiting for the load average (%.2f) to fall below %.2f\n", benchName, load,
                         bound);
        told = true;
        std::this_thread::sleep_for(std::chrono::seconds(5));
    }
}

// ---- the utility ----------------------------------------------------------

std::string releaseLine(const Family& family) {
    std::string line;
    for (const std::string& release : family.releases)
        line += (line.empty() ? "" : " ") + release;
    return line;
}

/// The environment the black-box tests give the utility: the family's own,
/// a plain PATH and locale, nss_wrapper, and the overrides last.
std::vector<std::string> utilityEnvironment(const Family& family, const std::map<std::string, std::string>& overrides) {
    std::map<std::string, std::string> env = family.env;
    env["PATH"] = "/usr/bin:/bin", env["LANG"] = "C.UTF-8", env["LD_PRELOAD"] = "libnss_wrapper.so";
    for (const auto& [name, value] : overrides)
        env[name] = value;
    std::vector<std::string> entries;
    for (const auto& [name, value] : env)
        entries.push_back(name + "=" + value);
    return entries;
}

/// Runs the utility with the options and the answers on standard input and
/// both outputs into dir/NAME.log; false (after saying where the log is)
/// unless it ends with status 0.
bool runUtility(const std::vector<std::string>& env, const std::string& answers, const fs::path& dir,
                const std::string& name, Run& run, const std::vector<std::string>& options = {}) {
    const fs::path answersPath = dir / (name + ".answers"), logPath = dir / (name + ".log");
    std::ofstream(answersPath) << answers;
    std::vector<char*> envp;
    for (const std::string& entry : env)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(PELO_ARCHIVE)};
    for (const std::string& option : options)
        argv.push_back(const_cast<char*>(option.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    int output[2];
    if (pipe(output) != 0)
        return fail("no pipe for the utility's output");
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(answersPath.c_str(), O_RDONLY);
        close(output[0]);
        if (in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(output[1], STDOUT_FILENO) < 0 ||
            dup2(output[1], STDERR_FILENO) < 0 || close(output[1]) != 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(output[1]);
    followOutput(output[0], logPath, start, run);
    close(output[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return fail("the utility's run was lost");
    run.seconds = secondsSince(start);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the " + name + " run failed with status " + std::to_string(status) + ", see " + logPath.string());
    return true;
}

/// The overrides that make the utility see the family's database: the
/// cached family.env names the one its build wrote, and a PostgreSQL
/// family lives in the database made for this run.
std::map<std::string, std::string> databaseOverride(const Family& family) { return {{"PELO_DB", family.target}}; }

/// A copy of the family's home below to, and the overrides that make the
/// utility see it as the family's: its login's home and its database, the
/// copy's SQLite file or the same PostgreSQL database.  The timed run after
/// it writes the copy out first (waitForQuiet).
bool copyFamily(const Family& family, const fs::path& to, std::map<std::string, std::string>& overrides) {
    const fs::path home = family.root / "home";
    if (runProgram({"cp", "-a", home.string(), (to / "home").string()}, "/dev/null") != 0)
        return fail("the copy of " + home.string() + " failed");
    std::string passwd = readWhole(family.root / "passwd");
    for (std::size_t at = passwd.find(home.string()); at != std::string::npos;
         at = passwd.find(home.string(), at + 1))
        passwd.replace(at, home.string().size(), (to / "home").string());
    std::ofstream(to / "passwd") << passwd;
    overrides = databaseOverride(family);
    overrides["NSS_WRAPPER_PASSWD"] = (to / "passwd").string();
    if (family.backend == "sqlite")
        overrides["PELO_DB"] = (to / "home" / "family.db").string();
    return true;
}

// ---- the near limit -------------------------------------------------------

bool measureNear(const Family& family, const fs::path& dir, Figures& figures) {
    auto start = Clock::now();
    const std::vector<std::string> dump = dumpCommand(family);
    if (runProgram(dump, (dir / "dump.sql").string()) != 0)
        return fail(dump[0] + " failed");
    figures.dumpSeconds = secondsSince(start);
    start = Clock::now();
    if (runProgram({"cp", "-r", (family.root / "home" / "vc").string(), (dir / "cpr").string()}, "/dev/null") != 0)
        return fail("cp -r failed");
    figures.cprSeconds = secondsSince(start);
    return true;
}

// ---- what the archive's phase did ------------------------------------------

/// Sets up a file-system archive into dir as the dialog would and writes
/// the populate script, which fills the list of archived files.
bool startArchive(const Family& family, const fs::path& dir) {
    archCtx = {};
    if (sqlConnect(family.target, familyLogin, familyPassword) != 0)
        return fail("connect: " + sqlca.sqlerrm);
    for (const auto& [name, value] : family.env)
        setenv(name.c_str(), value.c_str(), 1);
    archCtx.familyName = familyLogin, archCtx.familyHomeDir = (family.root / "home").string();
    archCtx.database = dialectNamed(family.requests.at("product"));
    archCtx.orac_home = family.env.at("ORACLE_HOME");
    archCtx.orac_dba_pass = family.env.at("ORACLE_PASS");
    archCtx.vctype = family.env.at("PELO_VCTYPE");
    for (const std::string& release : family.releases)
        archCtx.relNameList.listAppend(release);
    if (checkArchivePrereqs() != 0)
        return fail("the archive prerequisites are not met");
    archCtx.mode = RunMode::archive;
    archCtx.fileSystemName = dir.string();
    buildWorkFilePaths();
    createFiles();
    return generateDbPopulateFile() == 0 || fail("the populate script failed");
}

/// The histories the phase trims, those of the archived files (a destroyed
/// file's history is copied whole), one a line into dir/trimmed.  Worked
/// out in a child, so that the utility's code and its environment stay out
/// of this process.
bool writeTrimmed(const Family& family, const fs::path& dir) {
    fs::create_directory(dir / "scratch");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int log = open((dir / "trimmed.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        if (!startArchive(family, dir / "scratch"))
            _exit(1);
        std::ofstream out(dir / "trimmed");
        for (int fileId : archCtx.fileIdList) {
            FileRecord file{};
            if (dbgFileGetById(file, fileId) != 0 || file.SOURCEID == 0)
                continue;
            const int type = fileType(file.TYPE);
            const fs::path relative = fs::path("vc") / vcLocation(file.SOURCEID, type);
            out << (vcIsBinaryDirectory(type) ? relative / "s.binary" : relative).string() << '\n';
        }
        out.close();  // _exit below flushes nothing
        // createFiles made the PVCS clean-up list in the family home, where
        // the next run of the utility would refuse to start over it.
        archCtx.vcCleanPVCS.remove();
        sqlRollbackRelease();
        std::fflush(nullptr);
        _exit(out.fail() ? 1 : 0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the archived files could not be listed, see " + (dir / "trimmed.log").string());
    return true;
}

bool readRemovedDeltas(std::vector<History>& histories, const fs::path& dir, const fs::path& home,
                       const fs::path& archive, const VcTools& tools) {
    std::unordered_set<std::string> trimmed;
    std::ifstream list(dir / "trimmed");
    for (std::string line; std::getline(list, line);)
        trimmed.insert(line);
    return readRemovedDeltas(histories, trimmed, home, archive, tools);
}

// ---- the floor ------------------------------------------------------------------

bool measureFloor(const Family& family, const fs::path& dir, double loadBelow, Figures& figures) {
    const fs::path home = family.root / "home", archive = dir / "archive";
    const VcTools tools = toolsFor(family.requests.at("vc"), family.env.at("PELO_VCBIN"));
    std::vector<History> histories = archivedHistories(archive / "PELOarchive.info", home);
    if (histories.empty())
        return fail("the archive names no histories");
    if (!writeTrimmed(family, dir) || !readRemovedDeltas(histories, dir, home, archive, tools))
        return false;
    figures.floorCommands = writeFloorScript(histories, home, dir / "floor", tools, dir / "floor.sh");
    // The tools run in the environment the utility gives its children, the
    // preloaded nss_wrapper included, which every start of a program pays for.
    std::vector<std::string> floorCommand = {"env", "-i"};
    for (const std::string& entry : utilityEnvironment(family, {}))
        floorCommand.push_back(entry);
    floorCommand.insert(floorCommand.end(), {"/bin/sh", (dir / "floor.sh").string()});
    waitForQuiet(loadBelow);
    const auto start = Clock::now();
    const int status = runProgram(floorCommand, "/dev/null");
    figures.floorSeconds = secondsSince(start);
    if (status != 0 || !sameAsArchive(histories, archive, dir / "floor"))
        return fail("the floor script failed, see " + (dir / "floor.sh").string());
    figures.histories = histories.size();
    for (const History& history : histories)
        figures.deltasRemoved += history.removed.size();
    return true;
}

// ---- verify ---------------------------------------------------------------------

/// The populate script's statements as one transaction the sqlite3 CLI
/// reads, an Informix script's from its here-document; written to path.
bool writeNearLoad(const fs::path& archive, Dialect dialect, const fs::path& path) {
    const std::string script = readWhole(archive / populateScriptName);
    std::string statements = script;
    if (dialect == Dialect::informix) {
        ScriptFault fault;
        const std::optional<std::string> text = hereDocumentStatements(script, fault);
        if (!text)
            return fail("the Informix script cannot be read: " + fault.reason);
        statements = *text, dialect = Dialect::oracle;
    }
    std::ofstream out(path);
    out << "BEGIN;\n";
    ScriptReader reader(statements, dialect);
    for (ScriptStatement statement; reader.next(statement);)
        if (!isTransactionControl(statement.text))
            out << statement.text << ";\n";
    out << "COMMIT;\n";
    return !reader.fault() && out.flush() ? true : fail("the populate script cannot be read");
}

/// The family schema and the archive's configured columns for the sqlite3
/// CLI, which does not know the PELODATE collation the client layer
/// registers: the date columns keep the default one.
bool writeNearSchema(const fs::path& archive, const fs::path& path) {
    std::string schema(familySchemaSql(SqlProduct::sqlite));
    constexpr std::string_view collation = " COLLATE PELODATE";
    for (std::size_t at = schema.find(collation); at != std::string::npos; at = schema.find(collation, at))
        schema.erase(at, collation.size());
    try {
        schema += configuredColumnsSql(
            [&](const std::string& path) { return std::optional(readWhole(archive / path)); });
    } catch (const ReloadError& failure) {
        return fail(failure.what());
    }
    std::ofstream out(path);
    return out << schema && out.flush() ? true : fail("cannot write " + path.string());
}

/// --verify of the archive run's archive, and its near limit.
bool measureVerify(const Family& family, const fs::path& dir, double loadBelow, Figures& figures) {
    const fs::path archive = dir / "archive", nearDb = dir / "near.db", load = dir / "near.sql";
    if (!writeNearLoad(archive, dialectNamed(family.requests.at("product")), load) ||
        !writeNearSchema(archive, dir / "schema.sql") ||
        runProgram({"sqlite3", "-bail", nearDb.string(), ".read " + (dir / "schema.sql").string()}, "/dev/null") != 0)
        return fail("the empty family database " + nearDb.string() + " cannot be made");
    waitForQuiet(loadBelow);
    auto start = Clock::now();
    if (runProgram({"/bin/sh", "-c", "cd \"$1\" && exec sha256sum --quiet --strict -c PELOarchive.manifest", "sh",
                    archive.string()},
                   "/dev/null") != 0)
        return fail("sha256sum -c of the archive failed");
    figures.sumSeconds = secondsSince(start);
    start = Clock::now();
    if (runProgram({"sqlite3", "-bail", nearDb.string(), ".read " + load.string()}, "/dev/null") != 0)
        return fail("sqlite3 cannot load " + load.string());
    figures.loadSeconds = secondsSince(start);
    waitForQuiet(loadBelow);
    start = Clock::now();
    const int status = runProgram({"env", "-i", "PATH=/usr/bin:/bin", "LANG=C.UTF-8", "TMPDIR=" + dir.string(),
                                   "PELO_VCBIN=" + family.env.at("PELO_VCBIN"), PELO_ARCHIVE, "--verify",
                                   archive.string()},
                                  (dir / "verify.log").string());
    figures.verifySeconds = secondsSince(start);
    return status == 0 || fail("--verify found problems, see " + (dir / "verify.log").string());
}

// ---- the run ------------------------------------------------------------------

/// The row copy's and the read-back's seconds from the summary of a run
/// with removal.
bool readProof(const fs::path& summary, Figures& figures) {
    std::ifstream in(summary);
    const nlohmann::json s = nlohmann::json::parse(in, nullptr, false);
    if (s.is_discarded() || !s.contains("rowCopySeconds") || !s.contains("phases"))
        return fail("no summary in " + summary.string());
    figures.rowCopySeconds = s["rowCopySeconds"].get<double>();
    for (const nlohmann::json& phase : s["phases"])
        if (phase["name"] == "readBack")
            figures.readBackSeconds = phase["seconds"].get<double>();
    return true;
}

/// The family's database, its vc tree and the tools read once, so that
/// every measure finds them in the file cache.  A PostgreSQL family's
/// database was restored just before, so its server has read it already.
bool warmUp(const Family& family) {
    const fs::path home = family.root / "home";
    const std::string tools = family.env.at("PELO_VCBIN");
    const std::string database = family.backend == "sqlite" ? shellQuote(family.target) + ' ' : "";
    const std::string command = "find " + shellQuote((home / "vc").string()) + " -type f -exec cat {} + && cat " +
                                database + shellQuote(tools) + "/* " + shellQuote(PELO_ARCHIVE) + " /bin/cp /bin/sh";
    return runProgram({"/bin/sh", "-c", command}, "/dev/null") == 0 || fail("the warm-up failed");
}

/// Every measure of one family, in dir.  A PostgreSQL family, on cluster,
/// has no archive without removal and so no floor; its database is
/// restored again before the removal, so that the removal starts from the
/// family as built whatever the runs before it left.
bool measureFamily(Family& family, const Options& options, const fs::path& dir, const Cluster* cluster,
                   Figures& figures) {
    const std::string releases = releaseLine(family);
    const std::vector<std::string> env = utilityEnvironment(family, databaseOverride(family));
    for (const char* sub : {"archive", "removal", "copy"})
        fs::create_directory(dir / sub);
    if (!warmUp(family))
        return false;
    waitForQuiet(options.loadBelow);
    if (!measureNear(family, dir, figures))
        return false;
    waitForQuiet(options.loadBelow);
    if (!runUtility(env, "1\n2\n" + releases + "\n", dir, "check", figures.check))
        return false;
    if (cluster == nullptr) {
        waitForQuiet(options.loadBelow);
        if (!runUtility(env, "2\n2\n" + releases + "\n1\n1\n" + (dir / "archive").string() + "\n", dir, "archive",
                        figures.archive) ||
            !measureFloor(family, dir, options.loadBelow, figures) ||
            !measureVerify(family, dir, options.loadBelow, figures))
            return false;
    } else if (!preparePostgres(family, *cluster)) {
        return false;
    }
    std::map<std::string, std::string> overrides;
    if (!copyFamily(family, dir / "copy", overrides))
        return false;
    waitForQuiet(options.loadBelow);
    const std::vector<std::string> copyEnv = utilityEnvironment(family, overrides);
    const fs::path summary = dir / "remove.json";
    if (!runUtility(copyEnv, "", dir, "remove", figures.remove,
                    {"--releases", releases, "--to", (dir / "removal").string(), "--remove", "--yes-remove", "--json",
                     summary.string()}) ||
        !readProof(summary, figures))
        return false;
    waitForQuiet(options.loadBelow);
    return runUtility(copyEnv, "", dir, "restore", figures.restore, {"--restore", (dir / "removal").string()});
}

/// The detail below a family's lines: the removal run's steps (the
/// archive before it, the histories and their rows, the levels, releases
/// and tracks, the defects) and what the near limit and the floor took.
void printDetail(const Family& family, const Figures& figures) {
    const std::vector<double>& marks = figures.remove.marks;
    if (marks.size() == removalHeadings.size() && std::ranges::none_of(marks, [](double m) { return m < 0; }))
        std::printf("  remove_steps: archive_s=%.2f files_versions_s=%.2f levels_releases_tracks_s=%.2f "
                    "defects_s=%.2f\n",
                    marks[0], marks[2] - marks[1], marks[3] - marks[2], marks[4] - marks[3]);
    std::printf("  releases=%zu dump_s=%.2f cpr_s=%.2f", family.releases.size(), figures.dumpSeconds,
                figures.cprSeconds);
    if (family.backend == "sqlite")
        std::printf(" histories=%zu deltas_removed=%zu floor_commands=%zu", figures.histories, figures.deltasRemoved,
                    figures.floorCommands);
    std::printf("\n");
}

/// The verify line of a SQLite family, against its own near limit.
void printVerify(const std::string& lead, int scale, const Figures& figures) {
    const double near = figures.sumSeconds + figures.loadSeconds;
    std::printf("%s scale=%d measure=verify seconds=%.2f near_s=%.2f ratio=%.2f sha256sum_s=%.2f load_s=%.2f\n",
                lead.c_str(), scale, figures.verifySeconds, near, figures.verifySeconds / near, figures.sumSeconds,
                figures.loadSeconds);
}

/// The proof line: the row copy and the read-back of the run with removal,
/// as its summary gives them, against the archive's near limit.
void printProof(const std::string& lead, int scale, const Figures& figures) {
    const double near = figures.nearSeconds(), proof = figures.rowCopySeconds + figures.readBackSeconds;
    std::printf("%s scale=%d measure=proof seconds=%.2f near_s=%.2f ratio=%.2f rowcopy_s=%.2f readback_s=%.2f\n",
                lead.c_str(), scale, proof, near, proof / near, figures.rowCopySeconds, figures.readBackSeconds);
}

/// The lines of one family.  SQLite's have no backend (it was the only
/// one when they were first read); PostgreSQL's start with it, and with no
/// archive run and no floor its removal has the check's form.
void printFigures(const Family& family, const std::string& vc, const Figures& figures, const Figures* atOne) {
    const double near = figures.nearSeconds(), floor = figures.floorSeconds;
    const bool sqlite = family.backend == "sqlite";
    const std::string lead = (sqlite ? "" : "backend=" + family.backend + " ") + "vc=" + vc;
    auto scaleRatio = [&](const Run Figures::*run) {
        char text[48] = "";
        if (atOne != nullptr)
            std::snprintf(text, sizeof text, " scale_ratio=%.2f", (figures.*run).seconds / ((*atOne).*run).seconds);
        return std::string(text);
    };
    auto printWithoutFloor = [&](const char* name, const Run Figures::*run) {
        std::printf("%s scale=%d measure=%s seconds=%.2f near_s=%.2f ratio=%.2f peak_rss_mb=%.1f%s\n", lead.c_str(),
                    family.scale, name, (figures.*run).seconds, near, (figures.*run).seconds / near,
                    (figures.*run).peakMb, scaleRatio(run).c_str());
    };
    printWithoutFloor("check", &Figures::check);
    if (!sqlite)
        printWithoutFloor("remove", &Figures::remove);
    else
        for (const auto& [name, run] : {std::pair{"archive", &Figures::archive}, std::pair{"remove", &Figures::remove}})
            std::printf("%s scale=%d measure=%s seconds=%.2f near_s=%.2f floor_s=%.2f ratio=%.2f "
                        "ratio_without_floor=%.2f peak_rss_mb=%.1f%s\n",
                        lead.c_str(), family.scale, name, (figures.*run).seconds, near, floor,
                        (figures.*run).seconds / near, ((figures.*run).seconds - floor) / near, (figures.*run).peakMb,
                        scaleRatio(run).c_str());
    if (sqlite)
        printVerify(lead, family.scale, figures);
    printProof(lead, family.scale, figures);
    std::printf("%s scale=%d measure=restore seconds=%.2f remove_s=%.2f ratio=%.2f peak_rss_mb=%.1f%s\n",
                lead.c_str(), family.scale, figures.restore.seconds, figures.remove.seconds,
                figures.restore.seconds / figures.remove.seconds, figures.restore.peakMb,
                scaleRatio(&Figures::restore).c_str());
    printDetail(family, figures);
    std::fflush(stdout);
}

/// Every scale of one history kind, on SQLite or, given its cluster, on
/// PostgreSQL; false when a step failed.
bool benchVc(const std::string& vc, const Options& options, const Cluster* cluster = nullptr) {
    std::map<int, Figures> done;
    for (int scale : options.scales) {
        Family family;
        family.backend = cluster ? "postgresql" : "sqlite", family.scale = scale;
        if (!(cluster ? preparePostgres(family, *cluster) : prepareSqliteUnder(family, vc)))
            return false;
        char pattern[] = "/tmp/peloarchivebenchXXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return fail("mkdtemp");
        const fs::path dir = pattern;
        Figures figures;
        const bool good = measureFamily(family, options, dir, cluster, figures);
        if (cluster)
            dropDatabase(family, *cluster);
        if (good && !options.keep)
            fs::remove_all(dir);
        else
            std::fprintf(stderr, "archive: the work is left in %s\n", dir.c_str());
        if (!good)
            return false;
        done[scale] = figures;
        printFigures(family, vc, figures, scale != 1 && done.contains(1) ? &done[1] : nullptr);
    }
    return true;
}

/// The PostgreSQL family, which the cache holds with SCCS histories only,
/// on the cluster PELO_TEST_PG names; left out with a line without one.
bool benchPostgres(const Options& options) {
    const char* admin = std::getenv("PELO_TEST_PG");
    if (admin == nullptr || *admin == '\0') {
        printLeftOut("postgresql");
        return true;
    }
    const std::optional<Cluster> cluster = readCluster(admin);
    if (!cluster)
        return fail("PELO_TEST_PG is not a connection URI");
    return benchVc("sccs", options, &*cluster);
}

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        const long scale = arg.starts_with("--scale=") ? std::strtol(arg.c_str() + 8, &end, 10) : 0;
        if (arg == "--keep")
            options.keep = true;
        else if (arg == "--vc=sccs" || arg == "--vc=pvcs")
            options.vcs = {arg.substr(5)};
        else if (arg.starts_with("--load-below=") && std::atof(arg.c_str() + 13) > 0)
            options.loadBelow = std::atof(arg.c_str() + 13);
        else if (end != nullptr && *end == '\0' && end != arg.c_str() + 8 && scale >= 1 && scale <= 1000)
            options.scales = scale == 1 ? std::vector<int>{1} : std::vector<int>{1, static_cast<int>(scale)};
        else
            return fail("usage: archive [--scale=N] [--vc=sccs|pvcs] [--keep] [--load-below=X]   (N from 1 to 1000, "
                        "default 1; above 1, scale 1 is measured too)");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchName = "archive";
    Options options;
    if (!readOptions(argc, argv, options))
        return 2;
    int status = 0;
    for (const std::string& vc : options.vcs)
        if (!benchVc(vc, options))
            status = 1;
    if (std::ranges::find(options.vcs, "sccs") != options.vcs.end() && !benchPostgres(options))
        status = 1;
    return status;
}
