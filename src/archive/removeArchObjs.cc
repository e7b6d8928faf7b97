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
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
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

void emptyCaptures() { stdOutBuf[0] = stdErrBuf[0] = '\0'; }

/// Each complaint a command left in the capture buffers, with the message.
int reportCaptured(int message) {
    int result = 0;
    for (const char* complaint : {stdOutBuf, stdErrBuf})
        if (complaint[0] != '\0') {
            msgPrint(message, complaint);
            result = 1;
        }
    return result;
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
    emptyCaptures();
    const CommandLine command = directory ? CommandLine("rm -fr").arg(history) : CommandLine("rm").arg(history);
    send_command(command, stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize);
    return reportCaptured(1464);
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
    emptyCaptures();
    send_command(CommandLine("rmdir").arg(mapDir), stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize);
    for (const char* complaint : {stdOutBuf, stdErrBuf})
        if (complaint[0] != '\0')
            msgPrint(1474, mapDir.c_str(), complaint);
}

}  // namespace

int removeVCfilesAndVersions() {
    const bool pvcs = vcIsPVCS();
    if (pvcs && writePVCSListHead() != 0)
        return 1;
    bool handled = false;
    // SCCS histories whose rows this walk deletes: they go once the
    // deletion is committed, so that no crash leaves a row naming a
    // history that is gone.  A PVCS history is only listed, as the walk goes.
    std::vector<std::pair<int, int>> histories;  // source id, file type
    const std::unordered_map<int, int> archivedFiles = countFilesBySourceIdInFileList();
    for (SourceEntry& entry : archCtx.sourceIdList) {
        const int sourceId = entry.sourceId;
        const int total = dbgFileCountBySourceId(sourceId);
        const auto archived = archivedFiles.find(sourceId);
        FileRecord file{};
        // Only a history every one of whose files is archived is touched.
        if (total != 0 && archived != archivedFiles.end() && total == archived->second && historyFile(sourceId, file)) {
            if (releaseArchive()) {
                if (!pvcs)
                    histories.emplace_back(sourceId, fileType(file.TYPE));
                else if (deleteVCFile(sourceId, fileType(file.TYPE)) != 0)
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
    if (!histories.empty()) {
        dbCommit();
        for (const auto& [sourceId, type] : histories)
            if (deleteVCFile(sourceId, type) != 0)
                return 1;
        sigCheck();
    }
    return pvcs ? finishPVCSList(handled) : 0;
}

int removeArchivedObjects() {
    ArchiveContext& c = archCtx;
    // A path goes with the last file row that names it, counted before any goes.
    if (releaseArchive() && c.pathIdList.listSize() > 0) {
        msgPrint(1541);
        for (int pathId : c.pathIdList)
            if (dbgFileCountByPathId(pathId) == 1)
                dbgPathDeleteById(pathId);
    }
    if (c.fileIdList.listSize() > 0)
        msgPrint(1542);
    if (int result = removeVCfilesAndVersions(); result != 0)
        return result;

    // Each step commits its rows before it removes the maps they named.
    if (c.levelIdList.listSize() > 0) {
        msgPrint(1543);
        std::vector<std::string> maps;
        for (int levelId : c.levelIdList) {
            LevelRecord level{};
            ReleaseRecord release{};
            dbgLevelGetById(level, levelId);
            dbgReleaseGetById(release, level.RELEASEID);
            maps.push_back(c.familyHomeDir + "/maps/" + release.NAME + "/" + level.NAME);
            dbgLevelDelete(level.ID);
            dbgLevelmemberDelete(level.ID);
        }
        dbCommit();
        // A map whose path leads out of the family stays where it is.
        for (const std::string& map : maps)
            if (familyPathRefusal(c.familyHomeDir, map, false).empty())
                unlink(map.c_str());
        sigCheck();
    }

    if (releaseArchive()) {
        msgPrint(1544);
        std::vector<std::string> mapDirs;
        for (int releaseId : c.releaseIdList) {
            ReleaseRecord release{};
            dbgReleaseGetById(release, releaseId);
            dbgEnvDeleteForRelease(release.ID);
            dbgApproverDeleteForRelease(release.ID);
            dbgReleaseDeleteById(release.ID);
            mapDirs.push_back(c.familyHomeDir + "/maps/" + release.NAME);
        }
        if (c.releaseIdList.listSize() > 0) {
            dbCommit();
            for (const std::string& mapDir : mapDirs)
                removeMapDirectory(mapDir);
            sigCheck();
        }
    }

    if (c.trackIdList.listSize() > 0) {
        msgPrint(1545);
        for (int trackId : c.trackIdList) {
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
        commitStep();
    }

    if (c.defectFeatureIdList.listSize() > 0) {
        msgPrint(1546);
        for (int defectId : c.defectFeatureIdList) {
            // The archive holds the sizing records of its own releases only,
            // and those went with the tracks: any left belong to a release
            // that stays, and so does the defect.
            if (dbgTrackExistsForDefect(defectId) || dbgVerifyExistsIncomplete(defectId) ||
                dbgSizeExistsForDefect(defectId))
                continue;
            dbgHistoryDeleteForDefect(defectId);
            dbgSizeDeleteAll(defectId);
            dbgVerifyDelete(defectId);
            dbgNoteDeleteForDefect(defectId);
            dbgDefectDelete(defectId);
            commitStep();
        }
    }
    dbgDefectModifyReleaseId(0, 0);
    dbCommit();
    return 0;
}

}  // namespace pelo
