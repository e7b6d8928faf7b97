// Trimming a history to the archived versions.  The version-control tool
// lists a history's deltas; each delta whose SID is not that of an
// archived version is written to the VC clean-up list (device archive:
// the history goes onto the medium whole) or removed from the copy below
// the archive directory (file-system archive).  The family's own
// histories are only ever read.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <algorithm>
#include <vector>

#include "archive/archFiles.h"
#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/historiesAhead.h"
#include "archive/peloarchive.h"
#include "db/dbgVersion.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "support/util.h"
#include "vc/binaryVersion.h"
#include "vc/location.h"
#include "vc/sccsDeltaTable.h"
#include "vc/vcLog.h"

namespace pelo {

namespace {

/// The SIDs of a source's archived versions; found is false when nothing
/// of the source was collected, and then nothing of its history is touched.
struct ArchivedSids {
    bool found = false;
    std::unordered_set<std::string> sids;

    bool contains(const std::string& sid) const { return sids.contains(sid); }
};

ArchivedSids archivedSids(int sourceId) {
    ArchivedSids archived;
    const SourceEntry* entry = archCtx.sourceIdList.listFind(sourceId);
    if (entry == nullptr)
        return archived;
    archived.found = true;
    for (int versionId : entry->versionIds) {
        // Only the SID is cleared: the remark field alone is 128 KB.
        VersionRecord version;
        version.SID[0] = '\0';
        dbgVersionGetById(version, versionId);
        archived.sids.insert(version.SID);
    }
    return archived;
}

/// The history below base: the history file, or a binary directory's
/// "s.binary", which carries its delta tree.
std::string historyFile(const std::string& base, const FileRecord& file, int fileType) {
    std::string path = base + "/vc/" + vcLocation(file.SOURCEID, fileType);
    if (vcIsBinaryDirectory(fileType))
        path += "/s.binary";
    return path;
}

/// The deltas a trimmed copy keeps, as the walk learns them: every delta
/// of the history (when anything of its source is archived, else none),
/// less each one the trimming removes; deltas the walk does not come to
/// are kept, and so recorded.
using KeptDeltas = std::optional<std::vector<std::string>>;

/// The manifest records what the copy keeps, by the history's path below
/// the archive's root.
void recordKeptDeltas(const FileRecord& file, int fileType, KeptDeltas& kept) {
    if (kept)
        archCtx.keptDeltas[historyFile("", file, fileType).substr(1)] = std::move(*kept);
}

int cannotClean(const std::string& history, const char* complaint) {
    msgPrint(1471, history.c_str(), complaint);
    return 1;
}

/// 0 when the tool did its work; else 1 after a message for each complaint.
int cannotClean(const std::string& history, const Verdict& verdict) {
    for (const std::string& complaint : verdict.complaints)
        cannotClean(history, complaint.c_str());
    return verdict.failed() ? 1 : 0;
}

// What the PVCS tools say when they fail, besides their own name.
constexpr std::string_view vlogWords[] = {"ERROR", "Error", "error", "vlog:"};
constexpr std::string_view vdelWords[] = {"ERROR", "Error", "error", "vdel:"};

/// A line of the VC clean-up list for a delta the archive does not hold.
int listDelta(const FileRecord& file, int fileType, const std::string& sid) {
    FILE* list = archCtx.archVCclean.fp();
    if (list != nullptr && std::fprintf(list, "%ld : %d %s\n", long(file.SOURCEID), fileType, sid.c_str()) >= 0)
        return 0;
    msgPrint(1458, archCtx.archVCclean.path().c_str());
    return 1;
}

// ---- SCCS -----------------------------------------------------------------------

/// Hands every delta of the history to handle (SID, archived?), newest
/// first, and stops at the first that fails.
template <class Handle>
int walkSCCSDeltas(const std::string& history, int sourceId, const std::string& tools, Handle handle,
                   KeptDeltas* all = nullptr) {
    if (tools.empty())
        return cannotClean(history, msgFormat(1539));
    // The delta table is read from the file; one that does not read
    // cleanly is left to prs, whose complaint is then reported.
    std::optional<std::vector<std::string>> sids = sccsDeltaSidsOfFile(history);
    if (!sids) {
        const CommandResult listed =
            send_command(CommandLine().quoted(tools + "/prs").text(" -e -d:I:").arg(history));
        if (cannotClean(history, listingVerdict(listed)) != 0)
            return 1;
        sids = prsSidLines(listed.out);
    }
    const ArchivedSids archived = archivedSids(sourceId);
    if (!archived.found)
        return 0;
    if (all != nullptr)
        *all = *sids;
    for (const std::string& sid : *sids)
        if (handle(sid, archived.contains(sid)) != 0)
            return 1;
    return 0;
}

bool endsInDotOne(const std::string& sid) { return sid.size() >= 2 && sid.compare(sid.size() - 2, 2, ".1") == 0; }

/// A binary directory keeps full copies and reverse differences by SID.
/// Before a delta goes, the version below it is rebuilt as a full copy,
/// since the difference that led down to it goes with the delta.
bool dropBinaryVersion(const std::string& copyDir, const std::string& sid) {
    bool failed = false;
    if (!endsInDotOne(sid)) {
        std::string previous = sid;
        vcCalcPreviousVer(previous);
        std::string messages;
        if (vcGetSCCSBinaryFile(copyDir + "/" + previous, nullptr, &messages) < 0) {
            std::printf("\n%s\n", messages.c_str());
            std::fflush(stdout);
            failed = true;
        }
        unlink((copyDir + "/" + sid + "d").c_str());
    }
    unlink((copyDir + "/" + sid).c_str());
    return failed;
}

/// The family's full copy and difference of an archived binary version
/// are named in the information file.
int nameBinaryVersion(const std::string& familyDir, const std::string& sid) {
    for (const std::string& path : {familyDir + "/" + sid, familyDir + "/" + sid + "d"})
        if (fileIsThere(path.c_str()) && writeInfoLine(path + "\n") != 0)
            return 1;
    return 0;
}

// ---- PVCS -----------------------------------------------------------------------

/// Hands the revisions of the history's vlog log to handle (revision,
/// archived?) in walkVlogRevisions's order, and stops at the first that
/// fails.  The listing is the one started ahead when there is one.
template <class Handle>
int walkPVCSRevisions(const std::string& history, int sourceId, const std::string& tools, HistoriesAhead* ahead,
                      Handle handle, KeptDeltas* all = nullptr) {
    if (tools.empty())
        return cannotClean(history, msgFormat(1539));
    std::vector<char> log(vlogBufSize);
    const CommandLine command = vlogCommand(tools, history);
    std::optional<CommandResult> early;
    if (ahead != nullptr)
        early = ahead->take(command, log.data(), log.size(), stdErrBuf, stdErrBufSize);
    const CommandResult listed =
        early ? *early : send_command(command, log.data(), log.size(), stdErrBuf, stdErrBufSize);
    if (cannotClean(history, listingVerdict(listed, vlogWords)) != 0)
        return 1;
    const ArchivedSids archived = archivedSids(sourceId);
    if (!archived.found)
        return 0;
    if (all != nullptr)
        *all = vlogRevisions(listed.out);
    std::string text(listed.out);
    return walkVlogRevisions(text, [&](const std::string& revision) {
        return handle(revision, archived.contains(revision));
    });
}

}  // namespace

std::string vcToolDir() {
    const std::optional<std::string> value = env("PELO_VCBIN");
    if (!value)
        return {};
    const std::size_t first = value->find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return value->substr(first, value->find_last_not_of(" \t") - first + 1);
}

int genSCCSvcCleanUPfile(const FileRecord& file, int fileType) {
    const std::string history = historyFile(archCtx.familyHomeDir, file, fileType);
    return walkSCCSDeltas(history, file.SOURCEID, vcToolDir(), [&](const std::string& sid, bool archived) {
        return archived ? 0 : listDelta(file, fileType, sid);
    });
}

int genPVCSvcCleanUPfile(const FileRecord& file, int fileType, HistoriesAhead* ahead) {
    const std::string history = historyFile(archCtx.familyHomeDir, file, fileType);
    return walkPVCSRevisions(history, file.SOURCEID, vcToolDir(), ahead, [&](const std::string& revision, bool archived) {
        return archived ? 0 : listDelta(file, fileType, revision);
    });
}

int parseSCCSvcFiles(const FileRecord& file, int fileType) {
    const std::string location = vcLocation(file.SOURCEID, fileType);
    const std::string copyDir = archCtx.fileSystemName + "/vc/" + location;
    const std::string familyDir = archCtx.familyHomeDir + "/vc/" + location;
    const std::string history = historyFile(archCtx.fileSystemName, file, fileType);
    const bool binary = vcIsBinaryDirectory(fileType) != 0;
    const std::string tools = vcToolDir();
    KeptDeltas kept;
    const int result = walkSCCSDeltas(
        history, file.SOURCEID, tools,
        [&](const std::string& sid, bool archived) {
            if (archived)
                return binary ? nameBinaryVersion(familyDir, sid) : 0;
            const bool dropFailed = binary && dropBinaryVersion(copyDir, sid);
            const CommandResult removed =
                send_command(CommandLine().quoted(tools + "/rmdel").text(" -r").quoted(sid).arg(history));
            std::erase(*kept, sid);
            return cannotClean(history, deletionVerdict(removed)) != 0 || dropFailed ? 1 : 0;
        },
        &kept);
    recordKeptDeltas(file, fileType, kept);
    return result;
}

int parsePVCSvcFiles(const FileRecord& file, int fileType, HistoriesAhead* ahead) {
    const std::string history = historyFile(archCtx.fileSystemName, file, fileType);
    const std::string tools = vcToolDir();
    KeptDeltas kept;
    const int result = walkPVCSRevisions(
        history, file.SOURCEID, tools, ahead,
        [&](const std::string& revision, bool archived) {
            if (archived)
                return 0;
            const CommandResult removed =
                send_command(CommandLine().quoted(tools + "/vdel").text(" -q -y -r").quoted(revision).arg(history));
            std::erase(*kept, revision);
            return cannotClean(history, deletionVerdict(removed, vdelWords));
        },
        &kept);
    recordKeptDeltas(file, fileType, kept);
    return result;
}

}  // namespace pelo
