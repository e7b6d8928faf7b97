// Removal of what an archive took: the rows, the level maps and, for a
// release archive, the histories of the archived files.  Nothing goes that
// the archive does not hold: a history stays while a file outside the
// archive shares it, and a defect stays while a track, an open
// verification or a sizing record of a release outside the archive
// remains.
//
// The rows go in bulk: a window of ids is read, checked and deleted with
// a few statements, and where the walk once committed each defect, and
// each source of a level archive, it commits a batch of them.  Each check
// is read where the walk once read it for one object, so it answers as it
// did then, and the family ends as it always has.
//
// No row goes that the archive's row copy does not hold: before each
// delete is sent, the keys of the rows it would take are read from the
// family and looked up in the copy, and a row the copy lacks stops the
// removal before that delete and those sent with it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "archive/rowCopy.h"
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

/// Objects whose rows wait for their commit point.  A commit waits for
/// the database to reach its disk, and one per object took most of a
/// removal's time; a batch commits after a thousand objects or a second
/// of work, whichever comes first, so a termination signal still waits
/// about a second at most, and a removal stopped between batches leaves
/// the family as one commit point left it.
class CommitBatch {
public:
    /// `send` issues the statements of the objects added since the last
    /// commit point: 0, or 1 when it refused to.
    explicit CommitBatch(std::function<int()> send) : send_(std::move(send)) {}

    /// One more object waits; the batch commits when it is full or old.
    /// 0, or 1 when the send refused.
    int added() {
        if (++objects_ >= batchObjects || Clock::now() - started_ >= batchTime)
            return commit();
        return 0;
    }

    /// Sends and commits what waits; nothing when nothing does.  0, or 1
    /// when the send refused, with nothing committed.
    int commit() {
        if (objects_ == 0)
            return 0;
        if (send_() != 0)
            return 1;
        commitStep();
        objects_ = 0;
        started_ = Clock::now();
        return 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t batchObjects = 1000;
    static constexpr auto batchTime = std::chrono::seconds(1);

    std::function<int()> send_;
    std::size_t objects_ = 0;
    Clock::time_point started_ = Clock::now();
};

// ---- the row copy ---------------------------------------------------------------

/// The keys of the archive's row copy while a removal runs; null otherwise.
RowCopyKeys* copiedRows = nullptr;

/// 0 when the row copy holds every row of the table that the condition
/// finds, which is what a delete with that condition would take; else 1
/// after message 1711 naming the first row it lacks (or 1712 when the copy
/// cannot be read).  Every delete is checked so before it is sent.
int checkCopied(CopyTable table, std::string_view condition, SqlBinds binds) {
    const std::optional<std::string> missing = copiedRows->firstMissing(table, condition, binds);
    if (!missing)
        return 0;
    if (!missing->empty())
        msgPrint(1711, copyTableName(table), missing->c_str(), archCtx.rowCopy.path().c_str());
    return 1;
}

/// checkCopied for a delete of the rows whose column holds one of the ids;
/// no ids, no delete and nothing to check.
int checkCopiedIds(CopyTable table, std::string_view column, std::span<const std::int32_t> ids) {
    if (ids.empty())
        return 0;
    const std::string list = sqlIdList(ids);
    return checkCopied(table, std::string(column) + " IN LIST(:b1)", {{1, std::string_view(list)}});
}

// ---- histories and versions --------------------------------------------------

/// How many files of fileIdList each source has, every file read once.
std::unordered_map<int, int> countFilesBySourceIdInFileList() {
    std::unordered_map<int, int> counts;
    forEachWindow(archCtx.fileIdList, [&](std::span<const std::int32_t> fileIds) {
        dbgFileBulkById().load(fileIds);
        for (const std::int32_t fileId : fileIds) {
            FileRecord file{};
            if (dbgFileBulkById().get(file, fileId) == 0)
                ++counts[file.SOURCEID];
        }
        return 0;
    });
    dbgFileBulkById().clear();
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

/// The file row that stands for a history: the first archived release that
/// has one, found among the source's rows that dbgFileBulkBySource holds.
bool historyFile(int sourceId, FileRecord& file) {
    for (int releaseId : archCtx.releaseIdList) {
        int rows = 0;
        dbgFileBulkBySource().forEachHeld(sourceId, [&](const FileRecord& row) {
            if (row.RELEASEID == releaseId && rows++ == 0)
                file = row;
        });
        if (rows == 1)
            return true;
        // Two rows of one source in one release: the single read refuses
        // them, and ends the run as it always has.
        if (rows > 1)
            return dbgFileGetBySourceIdAndRelease(file, sourceId, releaseId) == 0;
    }
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

/// The rows the files step deletes, gathered and sent in a few statements.
struct SourceDeletes {
    std::vector<std::int32_t> versionsOfSources;  ///< every version of these sources
    std::vector<std::int32_t> filesOfSources;     ///< their files of the archived releases
    std::vector<std::int32_t> rootsAfter;         ///< versions that follow these become roots
    std::vector<std::int32_t> versions;

    /// 0, or 1 when the row copy lacks a row they would take, with nothing sent.
    int send() {
        const std::vector<std::int32_t> releaseIds(archCtx.releaseIdList.begin(), archCtx.releaseIdList.end());
        const std::string sources = sqlIdList(filesOfSources), releases = sqlIdList(releaseIds);
        const bool files = !filesOfSources.empty() && !releaseIds.empty();
        if (checkCopiedIds(CopyTable::versions, "SOURCEID", versionsOfSources) != 0 ||
            (files && checkCopied(CopyTable::files, "SOURCEID IN LIST(:b1) AND RELEASEID IN LIST(:b2)",
                                  {{1, std::string_view(sources)}, {2, std::string_view(releases)}}) != 0) ||
            checkCopiedIds(CopyTable::versions, "ID", versions) != 0)
            return 1;
        dbgVersionDeleteBySourceIds(versionsOfSources);
        dbgFileDeleteBySourceIdsAndReleaseIds(filesOfSources, releaseIds);
        dbgVersionResetPreviousIds(rootsAfter);
        dbgVersionDeleteByIds(versions);
        *this = {};
        return 0;
    }
};

/// The sources of the window every file of which the archive holds, with
/// their files held by dbgFileBulkBySource for historyFile.  A source's
/// count changes only when its own rows go, after its turn, so counting
/// the window before its first turn gives each the count of its turn.
std::unordered_set<std::int32_t> loadWholeSources(std::span<const std::int32_t> sourceIds,
                                                  const std::unordered_map<int, int>& archivedFiles,
                                                  std::unordered_map<std::int32_t, std::int32_t>& totals) {
    totals = dbgFileCountBySourceIds(sourceIds);
    std::vector<std::int32_t> whole;
    for (const std::int32_t sourceId : sourceIds) {
        const auto total = totals.find(sourceId);
        const auto archived = archivedFiles.find(sourceId);
        if (total != totals.end() && archived != archivedFiles.end() && total->second == archived->second)
            whole.push_back(sourceId);
    }
    dbgFileBulkBySource().load(whole);
    return {whole.begin(), whole.end()};
}

/// The turn of one source whose files the archive all holds.  A release
/// archive takes its history and every version; a level archive keeps the
/// file's current version, and the versions built on the newest archived
/// one become roots.  1 when a PVCS history could not be listed.
int takeWholeSource(const SourceEntry& entry, const FileRecord& file, SourceDeletes& deletes,
                    std::vector<NamedFile>& named) {
    const int sourceId = entry.sourceId;
    if (releaseArchive()) {
        const int type = fileType(file.TYPE);
        if (!vcIsPVCS())
            named.push_back({NamedFile::Kind::history, {}, sourceId, type});
        else if (deleteVCFile(sourceId, type) != 0)
            return 1;
        deletes.versionsOfSources.push_back(sourceId);
        return 0;
    }
    const int newest = findMaxVersionIdInVersionList(entry.versionIds);
    deletes.rootsAfter.push_back(newest);
    const int kept = file.VERSIONID == newest ? newest : 0;
    for (int id : entry.versionIds)
        if (id != kept)
            deletes.versions.push_back(id);
    return 0;
}

/// The histories, versions and file rows of the archived sources.  A
/// history is touched only when every file that shares it is archived.
/// SCCS histories of a release archive are handed back to go after the
/// commit; a PVCS one is only listed, as the walk goes.  A release
/// archive sends each window's deletes; a level archive keeps its
/// histories and commits its sources in batches.
int removeVCfilesAndVersions(std::vector<NamedFile>& named) {
    const bool pvcs = vcIsPVCS();
    if (pvcs && writePVCSListHead() != 0)
        return 1;
    bool handled = false;
    const std::unordered_map<int, int> archivedFiles = countFilesBySourceIdInFileList();
    SourceDeletes deletes;
    CommitBatch batch([&] { return deletes.send(); });
    const int result = forEachWindow(
        archCtx.sourceIdList,
        [&](std::span<const std::int32_t> sourceIds) {
            std::unordered_map<std::int32_t, std::int32_t> totals;
            const std::unordered_set<std::int32_t> whole = loadWholeSources(sourceIds, archivedFiles, totals);
            for (const std::int32_t sourceId : sourceIds) {
                FileRecord file{};
                if (whole.contains(sourceId) && historyFile(sourceId, file)) {
                    if (takeWholeSource(*archCtx.sourceIdList.listFind(sourceId), file, deletes, named) != 0)
                        return 1;
                    if (releaseArchive())
                        handled = true;
                    else if (batch.added() != 0)
                        return 1;
                }
                if (releaseArchive() && totals.contains(sourceId))
                    deletes.filesOfSources.push_back(sourceId);
            }
            return releaseArchive() ? deletes.send() : 0;
        },
        SourceIdOf{});
    dbgFileBulkBySource().clear();
    if (result != 0 || batch.commit() != 0)
        return 1;
    return pvcs ? finishPVCSList(handled) : 0;
}

// ---- the steps ---------------------------------------------------------------

/// A path goes with the last file row that names it, counted before any goes.
int removePaths(std::vector<NamedFile>&) {
    return forEachWindow(archCtx.pathIdList, [](std::span<const std::int32_t> pathIds) {
        const std::unordered_map<std::int32_t, std::int32_t> counts = dbgFileCountByPathIds(pathIds);
        std::vector<std::int32_t> going;
        for (const std::int32_t pathId : pathIds)
            if (const auto count = counts.find(pathId); count != counts.end() && count->second == 1)
                going.push_back(pathId);
        if (checkCopiedIds(CopyTable::paths, "ID", going) != 0)
            return 1;
        return dbgPathDeleteByIds(going);
    });
}

int removeLevels(std::vector<NamedFile>& named) {
    std::unordered_map<std::int32_t, ReleaseRecord> releases;  // each read once
    const int result = forEachWindow(archCtx.levelIdList, [&](std::span<const std::int32_t> levelIds) {
        dbgLevelBulkById().load(levelIds);
        std::vector<std::int32_t> going;
        for (const std::int32_t levelId : levelIds) {
            LevelRecord level{};
            dbgLevelBulkById().get(level, levelId);
            const auto [release, fresh] = releases.try_emplace(level.RELEASEID);
            if (fresh)
                dbgReleaseGetById(release->second, level.RELEASEID);
            named.push_back({NamedFile::Kind::levelMap,
                             archCtx.familyHomeDir + "/maps/" + release->second.NAME + "/" + level.NAME});
            going.push_back(level.ID);
        }
        if (checkCopiedIds(CopyTable::levels, "ID", going) != 0 ||
            checkCopiedIds(CopyTable::levelMembers, "LEVELID", going) != 0)
            return 1;
        dbgLevelDeleteByIds(going);
        return dbgLevelmemberDeleteForLevels(going);
    });
    dbgLevelBulkById().clear();
    return result;
}

int removeReleases(std::vector<NamedFile>& named) {
    const std::vector<std::int32_t> releaseIds(archCtx.releaseIdList.begin(), archCtx.releaseIdList.end());
    if (checkCopiedIds(CopyTable::environments, "RELEASEID", releaseIds) != 0 ||
        checkCopiedIds(CopyTable::approvers, "RELEASEID", releaseIds) != 0 ||
        checkCopiedIds(CopyTable::releases, "ID", releaseIds) != 0)
        return 1;
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

/// checkCopied for every delete of a window of tracks.
int checkTrackRows(std::span<const std::int32_t> trackIds,
                   const std::map<std::int32_t, std::vector<std::int32_t>>& defectsByRelease) {
    for (const auto& [releaseId, defectIds] : defectsByRelease) {
        const std::string list = sqlIdList(defectIds);
        if (checkCopied(CopyTable::sizes, "RELEASEID=:b1 AND DEFECTID IN LIST(:b2)",
                        {{1, releaseId}, {2, std::string_view(list)}}) != 0)
            return 1;
    }
    for (const CopyTable table :
         {CopyTable::approvals, CopyTable::fixes, CopyTable::tests, CopyTable::coreqs, CopyTable::changes})
        if (checkCopiedIds(table, "TRACKID", trackIds) != 0)
            return 1;
    return checkCopiedIds(CopyTable::tracks, "ID", trackIds);
}

/// A track takes its rows and the sizing records of its defect in its
/// release.
int removeTracks(std::vector<NamedFile>&) {
    const int result = forEachWindow(archCtx.trackIdList, [](std::span<const std::int32_t> trackIds) {
        dbgTrackBulkById().load(trackIds);
        std::map<std::int32_t, std::vector<std::int32_t>> defectsByRelease;
        for (const std::int32_t trackId : trackIds) {
            TrackRecord track{};
            if (dbgTrackBulkById().get(track, trackId) == 0)
                defectsByRelease[track.RELEASEID].push_back(track.DEFECTID);
        }
        if (checkTrackRows(trackIds, defectsByRelease) != 0)
            return 1;
        for (const auto& [releaseId, defectIds] : defectsByRelease)
            dbgSizeDeleteByRelDefs(releaseId, defectIds);
        dbgTrackDeleteByIds(trackIds);
        dbgApprovalDeleteForTracks(trackIds);
        dbgFixDeleteForTracks(trackIds);
        dbgTestFreeAllForTracks(trackIds);
        dbgCoreqDeleteByTracks(trackIds);
        return dbgChangeDeleteForTracks(trackIds);
    });
    dbgTrackBulkById().clear();
    return result;
}

/// A defect goes once nothing the family keeps refers to it.  The archive
/// holds the sizing records of its own releases only, and those went with
/// the tracks: any left belong to a release that stays, and so does the
/// defect.  A defect's checks read its own tracks, open verifications and
/// sizing records, which no other defect's removal touches, so a window's
/// checks are read before any of its defects goes.
int removeDefects(std::vector<NamedFile>&) {
    std::vector<std::int32_t> going;
    CommitBatch batch([&] {
        for (const CopyTable table : {CopyTable::history, CopyTable::sizes, CopyTable::verify, CopyTable::notes})
            if (checkCopiedIds(table, "DEFECTID", going) != 0)
                return 1;
        if (checkCopiedIds(CopyTable::defects, "ID", going) != 0)
            return 1;
        dbgHistoryDeleteForDefects(going);
        dbgSizeDeleteAllForDefects(going);
        dbgVerifyDeleteForDefects(going);
        dbgNoteDeleteForDefects(going);
        dbgDefectDeleteByIds(going);
        going.clear();
        return 0;
    });
    const int result = forEachWindow(archCtx.defectFeatureIdList, [&](std::span<const std::int32_t> defectIds) {
        const std::unordered_set<std::int32_t> tracked = dbgTrackExistsForDefects(defectIds);
        const std::unordered_set<std::int32_t> open = dbgVerifyExistsIncompleteForDefects(defectIds);
        const std::unordered_set<std::int32_t> sized = dbgSizeExistsForDefects(defectIds);
        for (const std::int32_t defectId : defectIds) {
            if (tracked.contains(defectId) || open.contains(defectId) || sized.contains(defectId))
                continue;
            going.push_back(defectId);
            if (batch.added() != 0)
                return 1;
        }
        return 0;
    });
    return result != 0 ? result : batch.commit();
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
    asItGoes,   ///< the step commits its objects in batches
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
    RowCopyKeys keys(archCtx.rowCopy.path());
    copiedRows = &keys;
    int result = 0;
    for (const RemovalStep& step : removalSteps)
        if (result = runRemovalStep(step); result != 0)
            break;
    copiedRows = nullptr;
    return result;
}

}  // namespace pelo
