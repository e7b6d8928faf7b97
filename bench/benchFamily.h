// The benchmarks' family cache: the large family built once with mkfamily
// and kept below $XDG_CACHE_HOME/pelo-bench (or ~/.cache/pelo-bench), one
// directory per size, scale and backend, so that a benchmark run does not
// pay the minutes a build takes.  An entry counts as built only once its
// marker is there, so a build that broke half way is redone.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace pelo::bench {

using Clock = std::chrono::steady_clock;

inline constexpr const char* familyLogin = "pelofam";
inline constexpr const char* familyPassword = "pelopass";
inline constexpr const char* familySize = "large";

/// The benchmark's name, which starts its lines on standard error; each
/// program sets it before anything else.
inline const char* benchName = "bench";

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Reports a failed step on standard error; always false, so that callers
/// can return it.
inline bool fail(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", benchName, text.c_str());
    return false;
}

/// One family to measure and how the utility reaches it.
struct Family {
    std::string backend;   ///< "sqlite" or "postgresql"
    int scale = 1;
    std::filesystem::path root;  ///< the cache entry mkfamily built
    std::string target;          ///< what PELO_DB names
    std::string conninfo;        ///< PostgreSQL: libpq's key=value form of the family database
    std::string database;        ///< PostgreSQL: its name
    std::map<std::string, std::string> env;  ///< what family.env exports
    std::vector<std::string> releases;       ///< the releases to archive
    std::map<std::string, std::string> requests;  ///< family.txt: the archives the family is shaped for
};

inline std::filesystem::path cacheDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && *xdg == '/')
        return std::filesystem::path(xdg) / "pelo-bench";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && *home ? home : "/tmp") / ".cache" / "pelo-bench";
}

/// Runs argv with standard output into outputPath (standard error stays);
/// the exit status, or 127 when the program could not be started.
inline int runProgram(const std::vector<std::string>& argv, const std::string& outputPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        const int fd = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
            _exit(127);
        execvp(args[0], args.data());
        std::fprintf(stderr, "%s: cannot run %s\n", benchName, args[0]);
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return 127;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

/// The fastest way to read the family's database out as SQL, the limit the
/// benchmarks hold the utility's reading against: "sqlite3 FILE .dump", or
/// "pg_dump --data-only --inserts" of a PostgreSQL family.  Its output is
/// standard output.
inline std::vector<std::string> dumpCommand(const Family& family) {
    if (family.backend == "sqlite")
        return {"sqlite3", family.target, ".dump"};
    return {"pg_dump", "--data-only", "--inserts", "--dbname=" + family.conninfo};
}

/// family.env's exports, unquoted, family.txt's lines and the releases it
/// counts.
inline bool readFamily(Family& family) {
    std::ifstream envFile(family.root / "family.env");
    for (std::string line; std::getline(envFile, line);)  // export NAME='value'
        if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
            family.env[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
    std::ifstream requests(family.root / "family.txt");
    for (std::string line; std::getline(requests, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            family.requests[line.substr(0, eq)] = line.substr(eq + 1);
    const int releases = family.requests.contains("releases") ? std::atoi(family.requests["releases"].c_str()) : 0;
    // mkfamily leaves the last release active (levels in commit, tracks in
    // test), so every other release can be archived.
    family.releases.clear();
    for (int r = 1; r < releases; ++r)
        family.releases.push_back("rel" + std::to_string(r));
    return !family.env.empty() && !family.releases.empty() ? true : fail("cannot read " + family.root.string());
}

/// Builds the family into its cache entry with mkfamily, extra arguments
/// added.
inline bool buildFamily(const Family& family, const std::vector<std::string>& extra) {
    std::filesystem::remove_all(family.root);
    std::filesystem::create_directories(family.root.parent_path());
    std::vector<std::string> argv = {PELO_MKFAMILY, "--root=" + family.root.string(),
                                     std::string("--size=") + familySize, "--scale=" + std::to_string(family.scale)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::fprintf(stderr, "%s: building the %s family at scale %d for %s (once)\n", benchName, familySize,
                 family.scale, family.backend.c_str());
    if (runProgram(argv, family.root.string() + ".log") != 0)
        return fail("mkfamily failed, see " + family.root.string() + ".log");
    return true;
}

/// An entry counts as built once marked, and only while the tools it
/// links to are still there: the build tree that made it may have gone.
inline bool isBuilt(const Family& family) {
    namespace fs = std::filesystem;
    if (!fs::exists(family.root / "built"))
        return false;
    for (const fs::directory_entry& top : fs::directory_iterator(family.root)) {
        if (top.path().filename() == "home" || !top.is_directory())
            continue;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top.path()))
            if (entry.is_symlink() && !fs::exists(entry.path()))
                return false;
    }
    return true;
}

inline void markBuilt(const Family& family) { std::ofstream(family.root / "built") << "built\n"; }

inline std::filesystem::path entryFor(const std::string& backend, int scale) {
    return cacheDir() / (std::string(familySize) + "-s" + std::to_string(scale) + "-" + backend);
}

/// The SQLite family of family.scale, built first when the cache lacks it;
/// its database is family.db in the family home.
inline bool prepareSqlite(Family& family) {
    family.root = entryFor("sqlite", family.scale);
    if (!isBuilt(family)) {
        if (!buildFamily(family, {}))
            return false;
        markBuilt(family);
    }
    family.target = (family.root / "home" / "family.db").string();
    return readFamily(family);
}

/// The SQLite family of family.scale with its histories under vc ("sccs"
/// or "pvcs"), built first when the cache lacks it.  The SCCS family is
/// prepareSqlite's own entry; a PVCS family has an entry of its own.
inline bool prepareSqliteUnder(Family& family, const std::string& vc) {
    if (vc == "sccs")
        return prepareSqlite(family);
    family.root = entryFor("sqlite-" + vc, family.scale);
    if (!isBuilt(family)) {
        if (!buildFamily(family, {"--vc=" + vc}))
            return false;
        markBuilt(family);
    }
    family.target = (family.root / "home" / "family.db").string();
    return readFamily(family);
}

}  // namespace pelo::bench
