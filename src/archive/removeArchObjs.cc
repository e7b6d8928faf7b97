// Removal of what an archive took: the rows, the level maps and, for a
// release archive, the histories of the archived files.  Nothing goes that
// the archive does not hold: a history stays while a file outside the
// archive shares it, and a defect stays while a track, an open
// verification or a sizing record of a release outside the archive
// remains.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "db/dbgApproval.h"
#include "db/dbgApprover.h"
#include "db/dbgChange.h"
#include "db/dbgCoreq.h"
#include "db/dbgDefect.h"
#include "db/dbgEnv.h"
#include "db/dbgFile.h"
#include "db/dbgFix.h"
#include "db/dbgHistory.h"
#include "db/dbgLevel.h"
#include "db/dbgLevelmember.h"
#include "db/dbgNote.h"
#include "db/dbgPath.h"
#include "db/dbgRelease.h"
#include "db/dbgSize.h"
#include "db/dbgTest.h"
#include "db/dbgTrack.h"
#include "db/dbgVerify.h"
#include "db/dbgVersion.h"
#include "db/session.h"
#include "support/fileCopy.h"
#include "support/msg.h"
#include "support/util.h"
#include "vc/location.h"

namespace pelo {

namespace {

bool releaseArchive() { return archCtx.levelName.empty(); }

// A commit point is where a termination signal that arrived meanwhile is
// honoured: what went before it stays removed, nothing after it has begun.
void commitStep() {
    dbCommit();
    sigCheck();
}

// ---- histories and versions --------------------------------------------------

/// How many files of fileIdList each source has, every file read once.
std::unordered_map<int, int> countFilesBySourceIdInFileList() {
    std::unordered_map<int, int> counts;
    for (int fileId : archCtx.fileIdList) {
        FileRecord file{};
        if (dbgFileGetById(file, fileId) == 0)
            ++counts[file.SOURCEID];
    }
    return counts;
}

/// A PVCS history is listed for its owner to remove; an SCCS one goes.
int deleteVCFile(int sourceId, int fileType) {
    const std::string history = archCtx.familyHomeDir + "/vc/" + vcLocation(sourceId, fileType);
    if (vcIsPVCS()) {
        FILE* list = archCtx.vcCleanPVCS.fp();
        if (list != nullptr && std::fprintf(list, "%s\n", history.c_str()) >= 0)
            return 0;
        msgPrint(1458, archCtx.vcCleanPVCS.path().c_str());
        return 1;
    }
    // A history that leads out of the family, or is not what its type
    // says, is never removed through.
    const bool directory = vcIsBinaryDirectory(fileType);
    if (const std::string refusal = familyPathRefusal(archCtx.familyHomeDir, history, directory); !refusal.empty()) {
        msgPrint(1464, refusal.c_str());
        return 1;
    }
    const std::string complaint = directory ? removeTree(history) : removeFile(history);
    if (complaint.empty())
        return 0;
    msgPrint(1464, complaint.c_str());
    return 1;
}

int findMaxVersionIdInVersionList(const IdList& versionIds) {
    int highest = 0;
    for (int id : versionIds)
        highest = std::max(highest, id);
    return highest;
}

void deleteForSourceIdFromVersionListExceptId(const IdList& versionIds, int keptId) {
    for (int id : versionIds)
        if (id != keptId)
            dbgVersionDeleteById(id);
}

void deleteForSourceIdFromVersionList(const IdList& versionIds) { deleteForSourceIdFromVersionListExceptId(versionIds, 0); }

/// The file row that stands for a history: the first archived release that
/// has one.
bool historyFile(int sourceId, FileRecord& file) {
    for (int releaseId : archCtx.releaseIdList)
        if (dbgFileExistsBySourceIdReleaseId(sourceId, releaseId))
            return dbgFileGetBySourceIdAndRelease(file, sourceId, releaseId) == 0;
    return false;
}

int writePVCSListHead() {
    FILE* list = archCtx.vcCleanPVCS.fp();
    if (list != nullptr && std::fprintf(list, "\n%s\n", msgFormat(1486)) >= 0)
        return 0;
    msgPrint(1458, archCtx.vcCleanPVCS.path().c_str());
    return 1;
}

int finishPVCSList(bool listed) {
    if (!listed) {
        archCtx.vcCleanPVCS.remove();
        return 0;
    }
    if (closeReported(archCtx.vcCleanPVCS) != 0)
        return 1;
    msgPrint(1547, archCtx.vcCleanPVCS.path().c_str());
    return 0;
}

/// The release's map directory, emptied by the levels step; a complaint
/// of rmdir is reported and the removal goes on.
void removeMapDirectory(const std::string& mapDir) {
    if (const std::string refusal = familyPathRefusal(archCtx.familyHomeDir, mapDir, true); !refusal.empty()) {
        msgPrint(1474, mapDir.c_str(), refusal.c_str());
        return;
    }
    if (!dirExists(mapDir.c_str()))
        return;
    if (const std::string complaint = removeEmptyDirectory(mapDir); !complaint.empty())
        msgPrint(1474, mapDir.c_str(), complaint.c_str());
}

/// A file that rows of the family named, removed once their deletion is
/// committed: a crash in between leaves a file no row names, never a row
/// naming a file that is gone.
struct NamedFile {
    enum class Kind { history, levelMap, mapDirectory };
    Kind kind;
    std::string path;   // level maps and map directories
    int sourceId = 0;   // histories
    int fileType = 0;
};

/// Removes one named file; 1 when a history could not be deleted.
int removeNamedFile(const NamedFile& file) {
    switch (file.kind) {
    case NamedFile::Kind::history:
        return deleteVCFile(file.sourceId, file.fileType);
    case NamedFile::Kind::levelMap:
        // A map whose path leads out of the family stays where it is.
        if (familyPathRefusal(archCtx.familyHomeDir, file.path, false).empty())
            unlink(file.path.c_str());
        return 0;
    case NamedFile::Kind::mapDirectory:
        removeMapDirectory(file.path);
        return 0;
    }
    return 0;
}

/// The histories, versions and file rows of the archived sources.  A
/// history is touched only when every file that shares it is archived.
/// SCCS histories of a release archive are handed back to go after the
/// commit; a PVCS one is only listed, as the walk goes.  A level archive
/// keeps its histories and commits once per source.
int removeVCfilesAndVersions(std::vector<NamedFile>& named) {
    const bool pvcs = vcIsPVCS();
    if (pvcs && writePVCSListHead() != 0)
        return 1;
    bool handled = false;
    const std::unordered_map<int, int> archivedFiles = countFilesBySourceIdInFileList();
    for (SourceEntry& entry : archCtx.sourceIdList) {
        const int sourceId = entry.sourceId;
        const int total = dbgFileCountBySourceId(sourceId);
        const auto archived = archivedFiles.find(sourceId);
        FileRecord file{};
        if (total != 0 && archived != archivedFiles.end() && total == archived->second && historyFile(sourceId, file)) {
            if (releaseArchive()) {
                const int type = fileType(file.TYPE);
                if (!pvcs)
                    named.push_back({NamedFile::Kind::history, {}, sourceId, type});
                else if (deleteVCFile(sourceId, type) != 0)
                    return 1;
                dbgVersionDeleteBySourceId(sourceId);
                handled = true;
            } else {
                // The file's current version stays; versions built on the
                // newest archived one become roots.
                const int newest = findMaxVersionIdInVersionList(entry.versionIds);
                dbgVersionResetPreviousId(newest);
                commitStep();
                if (file.VERSIONID == newest)
                    deleteForSourceIdFromVersionListExceptId(entry.versionIds, newest);
                else
                    deleteForSourceIdFromVersionList(entry.versionIds);
            }
        }
        if (releaseArchive() && total != 0)
            for (int releaseId : archCtx.releaseIdList)
                dbgFileDeleteBySourceIdAndReleaseId(sourceId, releaseId);
    }
    return pvcs ? finishPVCSList(handled) : 0;
}

// ---- the steps ---------------------------------------------------------------

/// A path goes with the last file row that names it, counted before any goes.
int removePaths(std::vector<NamedFile>&) {
    for (int pathId : archCtx.pathIdList)
        if (dbgFileCountByPathId(pathId) == 1)
            dbgPathDeleteById(pathId);
    return 0;
}

int removeLevels(std::vector<NamedFile>& named) {
    for (int levelId : archCtx.levelIdList) {
        LevelRecord level{};
        ReleaseRecord release{};
        dbgLevelGetById(level, levelId);
        dbgReleaseGetById(release, level.RELEASEID);
        named.push_back({NamedFile::Kind::levelMap, archCtx.familyHomeDir + "/maps/" + release.NAME + "/" + level.NAME});
        dbgLevelDelete(level.ID);
        dbgLevelmemberDelete(level.ID);
    }
    return 0;
}

int removeReleases(std::vector<NamedFile>& named) {
    for (int releaseId : archCtx.releaseIdList) {
        ReleaseRecord release{};
        dbgReleaseGetById(release, releaseId);
        dbgEnvDeleteForRelease(release.ID);
        dbgApproverDeleteForRelease(release.ID);
        dbgReleaseDeleteById(release.ID);
        named.push_back({NamedFile::Kind::mapDirectory, archCtx.familyHomeDir + "/maps/" + release.NAME});
    }
    return 0;
}

int removeTracks(std::vector<NamedFile>&) {
    for (int trackId : archCtx.trackIdList) {
        TrackRecord track{};
        if (dbgTrackGetById(track, trackId) == 0)
            dbgSizeDeleteByRelDef(track.RELEASEID, track.DEFECTID);
        dbgTrackDelete(trackId);
        dbgApprovalDeleteForTrack(trackId);
        dbgFixDelete(trackId);
        dbgTestFreeAll(trackId);
        dbgCoreqDeleteByTrack(trackId);
        dbgChangeDeleteForTrack(trackId);
    }
    return 0;
}

/// A defect goes, committed on its own, once nothing the family keeps
/// refers to it.  The archive holds the sizing records of its own releases
/// only, and those went with the tracks: any left belong to a release that
/// stays, and so does the defect.
int removeDefects(std::vector<NamedFile>&) {
    for (int defectId : archCtx.defectFeatureIdList) {
        if (dbgTrackExistsForDefect(defectId) || dbgVerifyExistsIncomplete(defectId) || dbgSizeExistsForDefect(defectId))
            continue;
        dbgHistoryDeleteForDefect(defectId);
        dbgSizeDeleteAll(defectId);
        dbgVerifyDelete(defectId);
        dbgNoteDeleteForDefect(defectId);
        dbgDefectDelete(defectId);
        commitStep();
    }
    return 0;
}

/// Every defect whose release no longer exists gets release 0.
int resetDefectReleases(std::vector<NamedFile>&) {
    dbgDefectModifyReleaseId(0, 0);
    return 0;
}

bool always() { return true; }
bool pathsListed() { return releaseArchive() && archCtx.pathIdList.listSize() > 0; }
bool filesListed() { return archCtx.fileIdList.listSize() > 0; }
bool levelsListed() { return archCtx.levelIdList.listSize() > 0; }
bool releasesListed() { return releaseArchive() && archCtx.releaseIdList.listSize() > 0; }
bool tracksListed() { return archCtx.trackIdList.listSize() > 0; }
bool defectsListed() { return archCtx.defectFeatureIdList.listSize() > 0; }

/// Where a step's rows are committed.
enum class CommitPoint {
    later,      ///< with the next step's commit
    afterRows,  ///< at the step's end, before the files the rows named go
    asItGoes,   ///< the step commits each object it removes
};

/// One step of the removal: its progress line (0 for none) and when it is
/// printed, when the step runs, what it removes, and its commit point.
struct RemovalStep {
    int message;
    bool (*announced)();
    bool (*runs)();
    int (*removeRows)(std::vector<NamedFile>& named);
    CommitPoint commit;
};

// The order matters: a path is counted before its file rows go, and a
// defect is looked at only after the tracks that name it are gone.  The
// file walk always runs, so that a PVCS run with nothing to list leaves
// no list behind.
constexpr RemovalStep removalSteps[] = {
    {1541, pathsListed, pathsListed, removePaths, CommitPoint::later},
    {1542, filesListed, always, removeVCfilesAndVersions, CommitPoint::afterRows},
    {1543, levelsListed, levelsListed, removeLevels, CommitPoint::afterRows},
    {1544, releaseArchive, releasesListed, removeReleases, CommitPoint::afterRows},
    {1545, tracksListed, tracksListed, removeTracks, CommitPoint::afterRows},
    {1546, defectsListed, defectsListed, removeDefects, CommitPoint::asItGoes},
    {0, always, always, resetDefectReleases, CommitPoint::afterRows},
};

int runRemovalStep(const RemovalStep& step) {
    if (step.message != 0 && step.announced())
        msgPrint(step.message);
    if (!step.runs())
        return 0;
    std::vector<NamedFile> named;
    if (const int result = step.removeRows(named); result != 0)
        return result;
    if (step.commit != CommitPoint::afterRows)
        return 0;
    dbCommit();
    for (const NamedFile& file : named)
        if (removeNamedFile(file) != 0)
            return 1;
    // The signal is honoured once the step's files are gone too.
    sigCheck();
    return 0;
}

}  // namespace

int removeArchivedObjects() {
    for (const RemovalStep& step : removalSteps)
        if (const int result = runRemovalStep(step); result != 0)
            return result;
    return 0;
}

}  // namespace pelo
