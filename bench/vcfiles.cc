// How the version-control phase of a file-system archive compares with the
// least any design that runs one tool per history could take.  On the
// large SQLite family (scale 1 unless told) it sets up a file-system
// archive as the dialog would, a release archive of every release the
// family lets go (or, with --archive=level, the level archive family.txt
// names), writes the populate script so that the phase's lists are full,
// and times getVCFiles alone: each history copied with cp, listed with
// prs and cut back with one rmdel per delta not archived, every command
// through the command runner.
//
// Against that it times, in one "/bin/sh script", the same commands back
// to back: for each history named in the archive's information file the
// same cp into a fresh tree (every entry of a binary directory), the same
// prs on the copy and one rmdel per delta the phase removed, newest first.
// The deltas are those prs lists in the family's history but not in the
// archive's copy, so the script repeats what the utility did, not what it
// was meant to do; its copies must come out byte for byte like the
// archive's.  Last, "cp -r" of the family's whole vc directory.  The vc
// tree and the tools are read once beforehand, so all three find them in
// the file cache.
//
//   vcfiles [--scale=N] [--archive=release|level] [--keep]
//
// Families come from the benchmarks' cache (benchFamily.h).  Prints
//   vc_s=... floor_s=... cpr_s=... ratio=... histories=... deltas_removed=...
// where ratio is vc_s / floor_s.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/context.h"
#include "archive/dialect.h"
#include "archive/getArchOpts.h"
#include "archive/phases.h"
#include "benchFamily.h"
#include "vcFloor.h"
#include "db/client.h"
#include "db/dbgFile.h"
#include "db/records.h"
#include "vc/location.h"

namespace {

using namespace pelo;
using namespace pelo::bench;
namespace fs = std::filesystem;

struct Options {
    int scale = 1;
    bool levelArchive = false;
    bool keep = false;  ///< leave the archive, the floor script and its tree for a look
};

/// Standard output goes to a file while the utility's phases print their
/// progress, and comes back when this ends.
class StdoutTo {
public:
    explicit StdoutTo(const fs::path& log) {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            close(fd);
        }
    }
    StdoutTo(const StdoutTo&) = delete;
    StdoutTo& operator=(const StdoutTo&) = delete;
    ~StdoutTo() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
    }

private:
    int saved_ = -1;
};

// ---- the utility's run -------------------------------------------------------

/// Sets up a file-system archive into dir as the dialog would, and writes
/// the populate script, which fills the lists the phase reads.
bool startArchive(const Family& family, const Options& options, const fs::path& dir) {
    archCtx = {};
    if (sqlConnect(family.target, familyLogin, familyPassword) != 0)
        return fail("connect: " + sqlca.sqlerrm);
    for (const auto& [name, value] : family.env)  // PELO_VCBIN above all: the phase's tools
        setenv(name.c_str(), value.c_str(), 1);
    archCtx.familyName = familyLogin, archCtx.familyHomeDir = (family.root / "home").string();
    archCtx.database = dialectNamed(family.requests.at("product"));
    archCtx.orac_home = family.env.at("ORACLE_HOME");
    archCtx.orac_dba_pass = family.env.at("ORACLE_PASS");
    archCtx.vctype = family.env.at("PELO_VCTYPE");
    if (options.levelArchive) {
        archCtx.levelName = family.requests.at("levelArchive");
        archCtx.relNameList.listAppend(family.requests.at("levelArchiveRelease"));
    } else {
        for (const std::string& release : family.releases)
            archCtx.relNameList.listAppend(release);
    }
    if (checkArchivePrereqs() != 0)
        return fail("the archive prerequisites are not met");
    archCtx.mode = RunMode::archive;
    archCtx.fileSystemName = dir.string();
    buildWorkFilePaths();
    createFiles();
    if (writeToArchiveInfoFile() != 0 || generateDbPopulateFile() != 0)
        return fail("the information file or the populate script failed");
    return true;
}

/// The SCCS files the phase trims: those of the archived files; a
/// destroyed file's history is copied whole.
std::unordered_set<std::string> trimmedHistories() {
    std::unordered_set<std::string> trimmed;
    for (int fileId : archCtx.fileIdList) {
        FileRecord file{};
        if (dbgFileGetById(file, fileId) != 0 || file.SOURCEID == 0)
            continue;
        const int type = fileType(file.TYPE);
        fs::path relative = fs::path("vc") / vcLocation(file.SOURCEID, type);
        trimmed.insert((vcIsBinaryDirectory(type) ? relative / "s.binary" : relative).string());
    }
    return trimmed;
}

// ---- what the phase did -------------------------------------------------------

// ---- the floor -------------------------------------------------------------------

// ---- the run ---------------------------------------------------------------------

/// The vc tree and the tools read once, so that every measure finds them
/// in the file cache.
bool warmUp(const fs::path& home, const std::string& tools) {
    const std::string command = "find " + shellQuote((home / "vc").string()) + " -type f -exec cat {} + && cat " +
                                shellQuote(tools + "/prs") + ' ' + shellQuote(tools + "/rmdel") + " /bin/cp /bin/sh";
    return runProgram({"/bin/sh", "-c", command}, "/dev/null") == 0 || fail("the warm-up failed");
}

/// The measures in dir; false when a step failed.
bool measure(const Family& family, const Options& options, const fs::path& dir) {
    const fs::path home = family.root / "home", archive = dir / "archive", floor = dir / "floor";
    const std::string tools = family.env.at("PELO_VCBIN");
    fs::create_directory(archive);
    if (!warmUp(home, tools))
        return false;
    double vcSeconds = 0;
    {
        StdoutTo log(dir / "progress.log");
        if (!startArchive(family, options, archive))
            return false;
        const auto start = Clock::now();
        const int result = getVCFiles();
        vcSeconds = secondsSince(start);
        if (result != 0)
            return fail("getVCFiles failed, see " + (dir / "progress.log").string());
        std::fflush(archCtx.archInfo.fp());
    }
    std::vector<History> histories = archivedHistories(archive / "PELOarchive.info", home);
    const VcTools sccs = toolsFor("sccs", tools);
    if (histories.empty() || !readRemovedDeltas(histories, trimmedHistories(), home, archive, sccs))
        return fail("the archive names no histories");
    sqlRollbackRelease();

    const std::size_t commands = writeFloorScript(histories, home, floor, sccs, dir / "floor.sh");
    auto start = Clock::now();
    const int status = runProgram({"/bin/sh", (dir / "floor.sh").string()}, "/dev/null");
    const double floorSeconds = secondsSince(start);
    if (status != 0 || !sameAsArchive(histories, archive, floor))
        return fail("the floor script failed, see " + (dir / "floor.sh").string());

    start = Clock::now();
    if (runProgram({"cp", "-r", (home / "vc").string(), (dir / "cpr").string()}, "/dev/null") != 0)
        return fail("cp -r failed");
    const double cprSeconds = secondsSince(start);

    std::size_t removed = 0;
    for (const History& history : histories)
        removed += history.removed.size();
    std::fprintf(stderr, "vcfiles: %s archive at scale %d, %zu commands in the floor script\n",
                 options.levelArchive ? "level" : "release", family.scale, commands);
    std::printf("vc_s=%.2f floor_s=%.2f cpr_s=%.2f ratio=%.2f histories=%zu deltas_removed=%zu\n", vcSeconds,
                floorSeconds, cprSeconds, vcSeconds / floorSeconds, histories.size(), removed);
    return true;
}

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        const long scale = arg.starts_with("--scale=") ? std::strtol(arg.c_str() + 8, &end, 10) : 0;
        if (arg == "--keep")
            options.keep = true;
        else if (arg == "--archive=release" || arg == "--archive=level")
            options.levelArchive = arg == "--archive=level";
        else if (end != nullptr && *end == '\0' && end != arg.c_str() + 8 && scale >= 1 && scale <= 1000)
            options.scale = static_cast<int>(scale);
        else
            return fail("usage: vcfiles [--scale=N] [--archive=release|level] [--keep]   (N from 1 to 1000, default 1)");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchName = "vcfiles";
    Options options;
    if (!readOptions(argc, argv, options))
        return 2;
    Family family;
    family.backend = "sqlite", family.scale = options.scale;
    if (!prepareSqlite(family))
        return 1;
    char pattern[] = "/tmp/pelovcfilesXXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return fail("mkdtemp"), 1;
    const fs::path dir = pattern;
    const bool good = measure(family, options, dir);
    if (good && !options.keep)
        fs::remove_all(dir);
    else
        std::fprintf(stderr, "vcfiles: the work is left in %s\n", dir.c_str());
    return good ? 0 : 1;
}
