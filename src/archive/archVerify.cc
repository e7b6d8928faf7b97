#include "archive/archVerify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "archive/archFiles.h"
#include "archive/archManifest.h"
#include "archive/historiesAhead.h"
#include "support/commandLine.h"
#include "support/digest.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
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

/// Reads the cpio archive of path into a new scratch directory; the
/// directory, or nothing after the problem.
std::optional<std::string> readMedium(const std::string& path, Scratch& scratch, Problems& problem) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/peloarchive.verify.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        problem(pattern, std::string("cannot be made: ") + std::strerror(errno));
        return std::nullopt;
    }
    scratch.path = pattern;
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

/// Each file the manifest names against the file the root holds.
void checkFiles(int rootFd, const ManifestRead& manifest, Problems& problem) {
    for (const auto& [path, recorded] : manifest.files) {
        if (stopped())
            return;
        const std::string shown = manifestPath(path);
        FileDigest now;
        const int error = digestFile(rootFd, path, digestBelowOnly, now);
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
        if (recorded.size >= 0 && now.size != recorded.size)
            problem(shown, "size " + std::to_string(now.size) + ", manifest says " + std::to_string(recorded.size));
        else if (!recorded.sha256.empty() && now.sha256 != recorded.sha256)
            problem(shown, "SHA-256 differs");
    }
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
void checkHistories(const std::string& root, const ManifestRead& manifest, Problems& problem) {
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
        const bool sccs = isSccsHistory(path);
        const char* tool = sccs ? "prs" : "vlog";
        const CommandResult listed =
            sccs ? send_command(CommandLine().quoted(tools + "/prs").text(" -e -d:I:").arg(path))
                 : send_command(vlogCommand(tools, path), log.data(), log.size(), stdErrBuf, stdErrBufSize);
        const Verdict verdict = listingVerdict(listed);
        if (verdict.failed()) {
            problem(shown, std::string(tool) + " fails: " + verdict.complaints.front());
            continue;
        }
        const std::vector<std::string> now = sccs ? prsSidLines(listed.out) : vlogRevisions(listed.out);
        if (now != kept)
            problem(shown, "keeps " + joined(kept) + ", " + tool + " lists " + joined(now));
    }
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
    std::ifstream manifestFile(root + "/" + manifestName, std::ios::binary);
    if (!manifestFile) {
        close(rootFd);
        problem(manifestName, "missing");
        return 0;
    }
    const std::string text{std::istreambuf_iterator<char>(manifestFile), {}};
    const ManifestRead manifest = readManifestText(text);
    for (const std::string& line : manifest.unreadLines)
        problem(manifestName, line + " not understood");
    checkFiles(rootFd, manifest, problem);
    close(rootFd);
    checkStrays(root, manifest, problem);
    checkHistories(root, manifest, problem);
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

}  // namespace pelo
