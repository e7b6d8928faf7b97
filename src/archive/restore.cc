#include "archive/restore.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "archive/archCleanUp.h"
#include "archive/archManifest.h"
#include "archive/archVerify.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/restoreRows.h"
#include "archive/rowCopy.h"
#include "archive/runSummary.h"
#include "db/session.h"
#include "support/commandLine.h"
#include "support/fileCopy.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "support/util.h"

namespace pelo {

namespace {

namespace fs = std::filesystem;

/// What the clean-up takes away again when the restore does not finish:
/// the scratch directory a medium was read into, and until the commit the
/// files and directories put back and the temporary file being written.
struct Undo {
    std::string scratch;
    std::vector<std::string> temporaries;  ///< written, not yet renamed
    std::vector<std::string> files;
    std::vector<std::string> directories;  ///< in the order they were made
};
Undo undo;

void undoRestore() {
    for (const std::string& temporary : undo.temporaries)
        unlink(temporary.c_str());
    for (auto file = undo.files.rbegin(); file != undo.files.rend(); ++file)
        unlink(file->c_str());
    for (auto dir = undo.directories.rbegin(); dir != undo.directories.rend(); ++dir)
        rmdir(dir->c_str());
    std::error_code ignored;
    if (!undo.scratch.empty())
        fs::remove_all(undo.scratch, ignored);
    undo = {};
}

[[noreturn]] void refuseFile(const std::string& path, const std::string& why) {
    msgPrint(1742, manifestPath(path).c_str(), why.c_str());
    cleanUpAndExit();
}

/// The directory holding the archive's files: the archive itself, or a
/// scratch directory below the family home that its medium is read into,
/// so that nothing outside the home is written.
std::string archiveRoot(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        refuseFile(path, std::strerror(errno));
    if (S_ISDIR(status.st_mode))
        return path;
    msgPrint(1744, path.c_str());
    std::string scratch = archCtx.familyHomeDir + "/.peloarchive.restore.XXXXXX";
    if (mkdtemp(scratch.data()) == nullptr)
        refuseFile(scratch, std::strerror(errno));
    undo.scratch = scratch;
    const CommandResult extracted = send_command(CommandLine("cd").arg(scratch).text(" && cpio -i -d --quiet --no-absolute-filenames <").quoted(fs::absolute(path).string()));
    sigCheck();
    // A medium that cannot be read whole cannot verify.
    if (const Verdict verdict = cpioVerdict(extracted.ending, extracted.err); verdict.failed()) {
        archCtx.archiveNotVerified = true;
        refuseFile(path, verdict.complaints.front());
    }
    return scratch;
}

bool releaseArchive(const std::string& root) {
    std::ifstream info(root + "/PELOarchive.info", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(info), {}};
    return text.find(msgFormat(1448)) != std::string::npos;
}

// ---- the files -------------------------------------------------------------------

/// A file of the archive to put back at the same place below the home.
struct FileToPut {
    std::string relative;
    bool history;
};

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

bool belowAny(const std::string& relative, const std::set<std::string>& places) {
    return std::ranges::any_of(places, [&](const std::string& place) {
        return relative == place || relative.starts_with(place + "/");
    });
}

/// The files of one folder of the archive the family lacks; those it holds
/// with other bytes are conflicts, counted and named.  A link in the
/// archive, or a place that leaves the home, ends the run.
void planFolder(const std::string& root, const char* folder, const std::set<std::string>* places,
                std::vector<FileToPut>& files, std::int64_t& conflicts) {
    std::error_code error;
    fs::recursive_directory_iterator walk(root + "/" + folder, error), end;
    for (; !error && walk != end; walk.increment(error)) {
        const fs::file_type type = walk->symlink_status(error).type();
        if (type == fs::file_type::directory)
            continue;
        const std::string relative = walk->path().lexically_relative(root).string();
        if (type != fs::file_type::regular)
            refuseFile(walk->path().string(), "not a regular file of the archive");
        if (places != nullptr && !belowAny(relative, *places))
            continue;
        const std::string target = archCtx.familyHomeDir + "/" + relative;
        if (const std::string why = familyPathRefusal(archCtx.familyHomeDir, target, false); !why.empty())
            refuseFile(target, why);
        struct stat status {};
        if (lstat(target.c_str(), &status) != 0) {
            files.push_back({relative, places != nullptr});
        } else if (contents(target) != contents(walk->path().string())) {
            ++conflicts;
            msgPrint(1734, manifestPath(target).c_str());
        }
    }
    if (error && error != std::errc::no_such_file_or_directory)
        refuseFile(root + "/" + folder, error.message());
}

/// Makes the missing directories above target, each below the home.
void makeParents(const std::string& target) {
    const fs::path home = archCtx.familyHomeDir;
    fs::path dir = home;
    for (const fs::path& part : fs::path(target).parent_path().lexically_relative(home)) {
        dir /= part;
        if (const std::string why = familyPathRefusal(home.string(), dir.string(), true); !why.empty())
            refuseFile(dir.string(), why);
        if (mkdir(dir.c_str(), 0755) == 0)
            undo.directories.push_back(dir.string());
        else if (errno != EEXIST)
            refuseFile(dir.string(), std::strerror(errno));
    }
}

/// Writes the archive's file under a temporary name beside its place,
/// makes it durable and renames it there; a file that appeared meanwhile
/// is not replaced.
/// Writes the file under a temporary name beside its place, with the
/// archive's mode, and keeps the name for the rename and the undo.
void writeTemporary(const std::string& root, const FileToPut& file) {
    const std::string source = root + "/" + file.relative;
    const std::string target = archCtx.familyHomeDir + "/" + file.relative;
    makeParents(target);
    std::string temporary = fs::path(target).parent_path().string() + "/.peloarchive.restore.XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        refuseFile(target, std::strerror(errno));
    close(fd);
    undo.temporaries.push_back(temporary);
    if (const std::string complaint = copyRegularFile(source, temporary); !complaint.empty())
        refuseFile(target, complaint);
    struct stat status {};
    if (stat(source.c_str(), &status) != 0 || chmod(temporary.c_str(), status.st_mode & 0777) != 0)
        refuseFile(target, std::strerror(errno));
}

/// Waits until everything written below the family home is on its disk.
void syncHome() {
    const int home = open(archCtx.familyHomeDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home < 0 || syncfs(home) != 0) {
        const int failed = errno;
        if (home >= 0)
            close(home);
        refuseFile(archCtx.familyHomeDir, std::strerror(failed));
    }
    close(home);
}

/// Puts the files back: all written under temporary names and made
/// durable with one sync of the home's file system, so that no file shows
/// under its own name before its bytes are on the disk; then renamed,
/// never over a file the family has made meanwhile, and synced again so
/// that the names are durable before the rows that name them commit.
void putBackFiles(const std::string& root, const std::vector<FileToPut>& files) {
    for (const FileToPut& file : files) {
        writeTemporary(root, file);
        sigCheck();
    }
    syncHome();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string target = archCtx.familyHomeDir + "/" + files[i].relative;
        if (renameat2(AT_FDCWD, undo.temporaries[i].c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
            refuseFile(target, std::strerror(errno));
        undo.files.push_back(target);
        undo.temporaries[i].clear();
    }
    undo.temporaries.clear();
    syncHome();
    sigCheck();
}

/// The PVCS clean-up list of the removal names histories for their owner
/// to remove; once they are the family's again it goes, when every
/// history it names is one the archive holds.
void withdrawPVCSList(const std::string& root) {
    const std::string list = archCtx.familyHomeDir + "/PELOarchive.PVCS_clean";
    if (!familyPathRefusal(archCtx.familyHomeDir, list, false).empty() || !fileIsThere(list.c_str()))
        return;
    std::ifstream lines(list);
    const std::string prefix = archCtx.familyHomeDir + "/";
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(prefix + "vc/") && !fileIsThere((root + "/" + line.substr(prefix.size())).c_str()))
            return;
    unlink(list.c_str());
}

// ---- the counts ------------------------------------------------------------------

struct Totals {
    std::int64_t rows = 0, setBack = 0, files = 0;
};

Totals printCounts(const RowRestore& rows, const std::vector<FileToPut>& files) {
    Totals totals;
    for (const RestoredRows& table : rows.tables) {
        if (table.putBack != 0 || table.setBack != 0)
            msgPrint(1738, table.table.c_str(), int(table.putBack), int(table.setBack));
        totals.rows += table.putBack;
        totals.setBack += table.setBack;
    }
    const auto histories = std::ranges::count_if(files, &FileToPut::history);
    if (const auto maps = std::ssize(files) - histories; maps != 0)
        msgPrint(1739, "level maps", int(maps));
    if (histories != 0)
        msgPrint(1739, "version control files", int(histories));
    totals.files = std::ssize(files);
    return totals;
}

/// Compares the archive with the family; ends the run after conflicts.
RowRestore compare(const std::string& root, std::vector<FileToPut>& files) {
    msgPrint(1732);
    RowRestore rows;
    if (restoreRows(root + "/" + rowCopyName, false, rows) != 0)
        cleanUpAndExit();
    sigCheck();
    std::int64_t conflicts = rows.conflicts;
    planFolder(root, "maps", nullptr, files, conflicts);
    if (releaseArchive(root))
        planFolder(root, "vc", &rows.historyPlaces, files, conflicts);
    sigCheck();
    if (conflicts != 0) {
        msgPrint(1735, int(conflicts));
        setFailureStatus(ExitStatus::notReady);
        cleanUpAndExit();
    }
    return rows;
}

}  // namespace

std::string verifyForRestore(const std::string& path) {
    setCleanUpUndo(undoRestore);
    const std::string root = archiveRoot(path);
    msgPrint(1730, path.c_str());
    const int verified = verifyArchive(root);
    // The verification catches the termination signals for itself; one
    // that stopped it ends the run as any other does.
    sigInit();
    if (verifyStopped())
        serverRestart();
    if (verified != 0) {
        msgPrint(1731, path.c_str());
        archCtx.archiveNotVerified = true;
        cleanUpAndExit();
    }
    return root;
}

int restoreArchive(const std::string& root, const std::string& path, bool dryRun) {
    std::vector<FileToPut> files;
    RowRestore rows = compare(root, files);
    if (dryRun) {
        msgPrint(1745);
        const Totals totals = printCounts(rows, files);
        msgPrint(1741, path.c_str(), int(totals.rows), int(totals.setBack), int(totals.files));
        undoRestore();
        return 0;
    }
    msgPrint(1736);
    putBackFiles(root, files);
    msgPrint(1737);
    if (restoreRows(root + "/" + rowCopyName, true, rows) != 0 || rows.conflicts != 0)
        cleanUpAndExit();
    sigCheck();
    dbCommit();
    // From the commit on, what was put back is the family's.
    undo.files.clear();
    undo.directories.clear();
    withdrawPVCSList(root);
    const Totals totals = printCounts(rows, files);
    msgPrint(1740, path.c_str(), int(totals.rows), int(totals.setBack), int(totals.files));
    undoRestore();
    return 0;
}

}  // namespace pelo
