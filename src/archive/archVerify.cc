#include "archive/archVerify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include "archive/archFiles.h"
#include "archive/archManifest.h"
#include "archive/archVerifyReload.h"
#include "archive/historiesAhead.h"
#include "archive/rowCopy.h"
#include "support/commandLine.h"
#include "support/digest.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "vc/sccsDeltaTable.h"
#include "vc/vcLog.h"

namespace pelo {

namespace {

namespace fs = std::filesystem;

constexpr const char* manifestName = "PELOarchive.manifest";
constexpr const char* infoName = "PELOarchive.info";

// A termination signal is only recorded: the checks look between files
// and stop, so that the scratch directory is removed on the way out.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void recordStop(int signo) {
    if (stopSignal == 0)
        stopSignal = signo;
}

void catchTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = recordStop;
    sigemptyset(&action.sa_mask);
    for (const int signo : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signo, &action, nullptr);
}

bool stopped() { return stopSignal != 0; }

/// The problems found so far, each printed as it is found.
class Problems {
public:
    void operator()(const std::string& subject, const std::string& what) {
        std::printf("%s: %s\n", subject.c_str(), what.c_str());
        std::fflush(stdout);
        ++count_;
    }
    int count() const { return count_; }

private:
    int count_ = 0;
};

/// The problems of a check that runs beside the others, held until the
/// others are done so that the lines come in the order they always do.
class HeldProblems {
public:
    void operator()(const std::string& subject, const std::string& what) { lines_.emplace_back(subject, what); }
    void printTo(Problems& problem) const {
        for (const auto& [subject, what] : lines_)
            problem(subject, what);
    }

private:
    std::vector<std::pair<std::string, std::string>> lines_;
};

/// The scratch directory a medium is read into; removed with its content.
struct Scratch {
    std::string path;
    ~Scratch() {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
};

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text.empty() ? "nothing" : text;
}

/// Makes the scratch directory below $TMPDIR (else /tmp); false after the problem.
template <class Sink>
bool makeScratch(Scratch& scratch, Sink& problem) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/peloarchive.verify.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        problem(pattern, std::string("cannot be made: ") + std::strerror(errno));
        return false;
    }
    scratch.path = pattern;
    return true;
}

/// Reads the cpio archive of path into a new scratch directory; the
/// directory, or nothing after the problem.
std::optional<std::string> readMedium(const std::string& path, Scratch& scratch, Problems& problem) {
    if (!makeScratch(scratch, problem))
        return std::nullopt;
    const std::string absolute = fs::absolute(path).string();
    const CommandResult extracted = send_command(
        CommandLine("cd").arg(scratch.path).text(" && cpio -i -d --quiet --no-absolute-filenames <").quoted(absolute));
    const Verdict verdict = cpioVerdict(extracted.ending, extracted.err);
    if (verdict.failed()) {
        std::string complaint = verdict.complaints.front();
        if (!extracted.err.empty())
            complaint = std::string(extracted.err.substr(0, extracted.err.find('\n'))) + "; " + complaint;
        problem(path, "cpio fails: " + complaint);
        return std::nullopt;
    }
    return scratch.path;
}

/// A file of the archive's root that is itself a regular file: a link,
/// which could lead out of the archive, is not opened.
bool plainFile(const std::string& root, const char* name) {
    std::error_code error;
    return fs::symlink_status(root + "/" + name, error).type() == fs::file_type::regular;
}

/// What reading one file the manifest names found.
struct FileRead {
    int error = 0;
    FileDigest now;
};

/// Whether the reload reads the file: the files at the root (the script,
/// the export and load files, the row copy) and the configured-field tables.
bool reloadReads(const std::string& path) {
    return path.find('/') == std::string::npos || path.starts_with("configField/");
}

/// Reads the files the manifest names that the reload reads, or all the
/// others, below the root and through no link, into reads.
void readFiles(int rootFd, const ManifestRead& manifest, bool reloaded, std::map<std::string, FileRead>& reads) {
    for (const auto& [path, recorded] : manifest.files) {
        if (stopped())
            return;
        if (reloadReads(path) == reloaded) {
            FileRead& read = reads[path];
            read.error = digestFile(rootFd, path, digestBelowOnly, read.now);
        }
    }
}

/// Whether the file read whole as the manifest records it.
bool intactAsRead(const FileDigest& recorded, const FileRead& read) {
    return read.error == 0 && !recorded.sha256.empty() && recorded.size >= 0 && read.now == recorded;
}

/// Each file the manifest names against what reading it found, in the
/// manifest's order; the paths that could be read.
std::set<std::string> checkFiles(const ManifestRead& manifest, const std::map<std::string, FileRead>& reads,
                                 Problems& problem) {
    std::set<std::string> readable;
    for (const auto& [path, recorded] : manifest.files) {
        const auto read = reads.find(path);
        if (read == reads.end())  // a signal came first
            continue;
        const std::string shown = manifestPath(path);
        const int error = read->second.error;
        const FileDigest& now = read->second.now;
        if (error == ENOENT)
            problem(shown, "in the manifest, missing");
        else if (error != 0)
            problem(shown, std::string("cannot be read: ") + std::strerror(error));
        if (recorded.sha256.empty())
            problem(shown, "no SHA-256 line in the manifest");
        if (recorded.size < 0)
            problem(shown, "no size line in the manifest");
        if (error != 0)
            continue;
        readable.insert(path);
        if (recorded.size >= 0 && now.size != recorded.size)
            problem(shown, "size " + std::to_string(now.size) + ", manifest says " + std::to_string(recorded.size));
        else if (!recorded.sha256.empty() && now.sha256 != recorded.sha256)
            problem(shown, "SHA-256 differs");
    }
    return readable;
}

/// Every file below the root that the manifest does not name: anything
/// but a directory, the manifest and the information file.
void checkStrays(const std::string& root, const ManifestRead& manifest, Problems& problem) {
    std::error_code error;
    fs::recursive_directory_iterator walk(root, error), end;
    for (; !error && !stopped() && walk != end; walk.increment(error)) {
        if (walk->symlink_status(error).type() == fs::file_type::directory)
            continue;
        const std::string relative = walk->path().lexically_relative(root).string();
        if (relative != manifestName && relative != infoName && !manifest.files.contains(relative))
            problem(manifestPath(relative), "not in the manifest");
    }
    if (error)
        problem(root, "cannot be read: " + error.message());
}

bool isSccsHistory(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char magic[2] = {};
    return file.read(magic, 2) && magic[0] == '\001' && magic[1] == 'h';
}

/// Each trimmed history against what its tool lists of it now.
void checkHistories(const std::string& root, const ManifestRead& manifest, const std::set<std::string>& readable,
                    Problems& problem) {
    if (manifest.kept.empty())
        return;
    const std::string tools = vcToolDir();
    if (tools.empty()) {
        problem("histories", "not checked, PELO_VCBIN is not set");
        return;
    }
    std::vector<char> log(vlogBufSize);
    for (const auto& [history, kept] : manifest.kept) {
        if (stopped())
            return;
        const std::string shown = manifestPath(history);
        const std::string path = root + "/" + history;
        if (!manifest.files.contains(history)) {
            problem(shown, "kept deltas recorded, but no file line in the manifest");
            continue;
        }
        // A history that did not read cleanly below the root is named
        // already; its tool is not let loose on whatever the path reaches.
        if (!readable.contains(history))
            continue;
        const bool sccs = isSccsHistory(path);
        const char* tool = sccs ? "prs" : "vlog";
        // The delta table read in the process gives exactly what prs
        // prints, or declines and leaves the history to prs.
        std::optional<std::vector<std::string>> now;
        if (sccs)
            now = sccsDeltaSidsOfFile(path);
        if (!now) {
            const CommandResult listed =
                sccs ? send_command(CommandLine().quoted(tools + "/prs").text(" -e -d:I:").arg(path))
                     : send_command(vlogCommand(tools, path), log.data(), log.size(), stdErrBuf, stdErrBufSize);
            const Verdict verdict = listingVerdict(listed);
            if (verdict.failed()) {
                problem(shown, std::string(tool) + " fails: " + verdict.complaints.front());
                continue;
            }
            now = sccs ? prsSidLines(listed.out) : vlogRevisions(listed.out);
        }
        if (*now != kept)
            problem(shown, "keeps " + joined(kept) + ", " + tool + " lists " + joined(*now));
    }
}

/// The counts section of the information file, by its names, in its
/// order; nothing when the file has no such section.
std::optional<std::vector<std::pair<std::string, long long>>> infoCounts(const std::string& info) {
    const std::size_t heading = info.find("PELO Objects Archived\n");
    if (heading == info.npos)
        return std::nullopt;
    std::vector<std::pair<std::string, long long>> counts;
    std::istringstream lines(info.substr(heading));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find("= ");
        const std::string digits = equals == line.npos ? "" : line.substr(equals + 2);
        if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != digits.npos)
            continue;
        counts.emplace_back(line.substr(0, line.find_first_of(" =")), std::stoll(digits));
    }
    return counts;
}

/// The row copy's table of a count's name: "Defects(Features)" counts
/// DEFECTS, every other name its own table in capitals.  Empty when the
/// copy has no such table.
std::string copyTableOf(const std::string& countName) {
    std::string table = countName.substr(0, countName.find('('));
    for (char& c : table)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (int t = 0; t <= int(CopyTable::compProcs); ++t)
        if (table == copyTableName(CopyTable(t)))
            return table;
    return {};
}

/// The rows of the table, or nothing after the problem.
std::optional<long long> copyRows(sqlite3* copy, const std::string& table, Problems& problem) {
    sqlite3_stmt* statement = nullptr;
    // The name is one of the copy's own table names, never read from a file.
    const std::string sql = "SELECT count(*) FROM \"" + table + "\"";
    std::optional<long long> rows;
    if (sqlite3_prepare_v2(copy, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        rows = sqlite3_column_int64(statement, 0);
    else
        problem(rowCopyName, table + " cannot be read: " + sqlite3_errmsg(copy));
    sqlite3_finalize(statement);
    return rows;
}

/// The counts section of the information file against the rows of the copy.
void checkCounts(const std::string& root, Problems& problem) {
    std::ifstream infoFile;
    if (plainFile(root, infoName))
        infoFile.open(root + "/" + infoName, std::ios::binary);
    if (!infoFile.is_open()) {
        problem(infoName, "missing");
        return;
    }
    const std::optional counts = infoCounts(std::string{std::istreambuf_iterator<char>(infoFile), {}});
    if (!counts || counts->empty()) {
        problem(infoName, "no counts section");
        return;
    }
    if (!plainFile(root, rowCopyName)) {
        problem("counts", std::string("not checked, no ") + rowCopyName);
        return;
    }
    std::string error;
    sqlite3* copy = openImmutable(root + "/" + rowCopyName, error);
    if (!error.empty()) {
        problem(rowCopyName, "cannot be read: " + error);
        sqlite3_close(copy);
        return;
    }
    for (const auto& [name, count] : *counts) {
        if (stopped())
            break;
        const std::string table = copyTableOf(name);
        const std::optional<long long> rows =
            table.empty() ? std::nullopt : copyRows(copy, table, problem);
        if (table.empty())
            problem("counts", name + " " + std::to_string(count) + " in the information file, no table in the row copy");
        else if (rows && *rows != count)
            problem("counts", name + " " + std::to_string(count) + " in the information file, " +
                                  std::to_string(*rows) + " in the row copy");
    }
    sqlite3_close(copy);
}

/// Where the archive's files are: the directory itself, or the scratch
/// directory its medium is read into; nothing after the problem.
std::optional<std::string> archiveRoot(const std::string& path, Scratch& scratch, Problems& problem) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        problem(path, std::string("cannot be read: ") + std::strerror(errno));
        return std::nullopt;
    }
    return S_ISDIR(status.st_mode) ? path : readMedium(path, scratch, problem);
}

/// Every check of the files below root; the number of files the manifest names.
std::size_t checkArchive(const std::string& root, Problems& problem) {
    const int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        problem(root, std::string("cannot be read: ") + std::strerror(errno));
        return 0;
    }
    std::ifstream manifestFile;
    if (plainFile(root, manifestName))
        manifestFile.open(root + "/" + manifestName, std::ios::binary);
    if (!manifestFile.is_open()) {
        close(rootFd);
        problem(manifestName, "missing");
        return 0;
    }
    const std::string text{std::istreambuf_iterator<char>(manifestFile), {}};
    const ManifestRead manifest = readManifestText(text);
    for (const std::string& line : manifest.unreadLines)
        problem(manifestName, line + " not understood");
    // The reload, by far the longest check, runs on a thread of its own
    // while this one checks the rest; it reads only files found intact,
    // and it alone uses the database client.  Its files are read first, so
    // that it starts before the maps and histories, most of the files, are
    // read.  A directory of its own: a medium's scratch directory is the
    // archive.
    std::map<std::string, FileRead> reads;
    readFiles(rootFd, manifest, true, reads);
    std::set<std::string> intact;
    for (const auto& [path, read] : reads)
        if (intactAsRead(manifest.files.at(path), read))
            intact.insert(path);
    Scratch reloadScratch;
    HeldProblems reloadProblems;
    std::exception_ptr reloadFailure;
    std::jthread reload;  // joined on every way out
    if (!stopped() && makeScratch(reloadScratch, reloadProblems))
        reload = std::jthread([&] {
            try {
                checkReload({rootFd, root, manifest, intact}, reloadScratch.path, std::ref(reloadProblems), stopped);
            } catch (...) {
                reloadFailure = std::current_exception();
            }
        });
    readFiles(rootFd, manifest, false, reads);
    const std::set<std::string> readable = checkFiles(manifest, reads, problem);
    checkStrays(root, manifest, problem);
    checkHistories(root, manifest, readable, problem);
    checkCounts(root, problem);
    if (reload.joinable())
        reload.join();
    close(rootFd);
    if (reloadFailure)
        std::rethrow_exception(reloadFailure);
    reloadProblems.printTo(problem);
    return manifest.files.size();
}

}  // namespace

int verifyArchive(const std::string& path) {
    catchTerminationSignals();
    Problems problem;
    Scratch scratch;
    const std::optional<std::string> root = archiveRoot(path, scratch, problem);
    const std::size_t files = root ? checkArchive(*root, problem) : 0;
    const int count = problem.count();
    if (stopped())
        std::printf("peloarchive --verify: %s: stopped by signal %d, %d problem%s so far\n", path.c_str(),
                    int(stopSignal), count, count == 1 ? "" : "s");
    else if (count == 0)
        std::printf("peloarchive --verify: %s: verified, %zu files\n", path.c_str(), files);
    else
        std::printf("peloarchive --verify: %s: %d problem%s\n", path.c_str(), count, count == 1 ? "" : "s");
    std::fflush(stdout);
    return count == 0 && !stopped() ? 0 : 1;
}

bool verifyStopped() { return stopped(); }

}  // namespace pelo
