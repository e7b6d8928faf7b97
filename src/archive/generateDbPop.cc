#include "archive/generateDbPop.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <span>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/archUtil.h"
#include "archive/confField.h"
#include "archive/createDbExport.h"
#include "db/accessor.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "archive/runSummary.h"
#include "archive/writeDbPop.h"
#include "db/dbgApproval.h"
#include "db/dbgApprover.h"
#include "db/dbgChange.h"
#include "db/dbgComp.h"
#include "db/dbgCompmember.h"
#include "db/dbgCoreq.h"
#include "db/dbgDefect.h"
#include "db/dbgEnv.h"
#include "db/dbgFile.h"
#include "db/dbgFileview.h"
#include "db/dbgFix.h"
#include "db/dbgHost.h"
#include "db/dbgHistory.h"
#include "db/dbgLevel.h"
#include "db/dbgLevelmember.h"
#include "db/dbgNote.h"
#include "db/dbgNoteview.h"
#include "db/dbgPath.h"
#include "db/dbgRelease.h"
#include "db/dbgSize.h"
#include "db/dbgTest.h"
#include "db/dbgTrack.h"
#include "db/dbgUser.h"
#include "db/dbgVerify.h"
#include "db/dbgVersion.h"
#include "support/msg.h"
#include "support/util.h"

namespace pelo {

namespace {

bool informix() { return archCtx.database == Dialect::informix; }

// ---- progress ---------------------------------------------------------------

void startPhase(int heading) {
    msgPrint(heading);
    msgPrint(1329);
}

// One unit of work done: a dot, and the moment to look for a signal.
void unitDone() {
    msgProgress(1331);
    sigCheck();
}

void endPhase() { msgPrint(1333); }

// A commit statement, in an archive run only; its failure (already
// reported) ends the walk.
int commit(const DbPopWriter& writer) { return archiving() ? addCommitStmtToDbPopFile(writer) : 0; }

// A group of rows committed after it when it had any.
template <class Record, class Visit>
int rowGroup(const DbPopWriter& writer, BulkRows<Record>& rows, Visit visit, int key) {
    return rows.forEach(key, visit) > 0 ? commit(writer) : 0;
}

// ---- reading ahead ----------------------------------------------------------------

// The walk reads ahead: the rows of the next objects come with a few
// statements, and each object's are then taken from memory in the order
// its own statement would give them.
constexpr std::size_t readAhead = 1000;

// Hands the ids to take in order, each window of readAhead ids given to
// load first; stops at take's first result that is not 0.
template <class Ids, class Load, class Take>
int inWindows(const Ids& ids, Load load, Take take) {
    std::vector<std::int32_t> window;
    window.reserve(readAhead);
    for (auto next = ids.begin(); next != ids.end();) {
        window.clear();
        for (; next != ids.end() && window.size() < readAhead; ++next)
            window.push_back(*next);
        load(std::span<const std::int32_t>(window));
        for (const std::int32_t id : window)
            if (int result = take(id); result != 0)
                return result;
    }
    return 0;
}

// The ids that fn(record) yields for the held rows of every key, each once.
template <class Record, class Yield>
std::vector<std::int32_t> idsNamed(BulkRows<Record>& rows, std::span<const std::int32_t> keys, Yield yield) {
    std::vector<std::int32_t> ids;
    std::unordered_set<std::int32_t> seen;
    for (const std::int32_t key : keys)
        rows.forEachHeld(key, [&](const Record& row) {
            yield(row, [&](std::int32_t id) {
                if (seen.insert(id).second)
                    ids.push_back(id);
            });
        });
    return ids;
}

// The configured values of the loaded defects and features, by name, for
// their Defects rows.
void loadDefectValues(DbPopWriter& writer, std::span<const std::int32_t> defectIds) {
    std::vector<std::string> defects, features;
    for (const std::int32_t defectId : defectIds) {
        DefectRecord defect{};
        if (dbgDefectBulkById().get(defect, defectId) == 0)
            (std::string_view(defect.TYPE) == "defect" ? defects : features).emplace_back(defect.NAME);
    }
    loadConfiguredValues(writer, ConfigObject::defect, defects);
    loadConfiguredValues(writer, ConfigObject::feature, features);
}

// The rows the tracks of a window and their defects bring: changes,
// approvals, fixes, tests and coreqs, the files and versions the changes
// name that the walk has not met, and the defects with their sizes,
// history, notes and verify rows, and in an archive run their configured
// values.
void loadTracks(PopulateWalk& walk, std::span<const std::int32_t> trackIds) {
    dbgTrackBulkById().load(trackIds);
    dbgChangeBulkForTrack().load(trackIds);
    dbgApprovalBulkForTrack().load(trackIds);
    dbgFixBulkForTrack().load(trackIds);
    dbgTestBulkForTrack().load(trackIds);
    dbgCoreqBulkForTrack().load(trackIds);
    // Every file, since a hold track looks at the files of all its changes.
    dbgFileBulkById().load(
        idsNamed(dbgChangeBulkForTrack(), trackIds, [](const ChangeRecord& c, auto add) { add(c.FILEID); }));
    dbgVersionBulkById().load(idsNamed(dbgChangeBulkForTrack(), trackIds, [&](const ChangeRecord& c, auto add) {
        if (!walk.versionSources.contains(c.VERSIONID))
            add(c.VERSIONID);
    }));
    dbgSizeBulkForDefect().load(
        idsNamed(dbgTrackBulkById(), trackIds, [](const TrackRecord& t, auto add) { add(t.DEFECTID); }));
    // A defect met before is not taken again.
    const auto unmet = [](const TrackRecord& t, auto add) {
        if (!archCtx.defectFeatureIdList.listContains(t.DEFECTID))
            add(t.DEFECTID);
    };
    const std::vector<std::int32_t> defectIds = idsNamed(dbgTrackBulkById(), trackIds, unmet);
    dbgDefectBulkById().load(defectIds);
    if (archiving())
        loadDefectValues(walk.writer, defectIds);
    walk.rowCopy.loadConfigured(CopyTable::defects, defectIds);
    dbgHistoryBulkForDefect().load(defectIds);
    (informix() ? dbgNoteviewBulkForDefect().load(defectIds) : dbgNoteBulkForDefect().load(defectIds));
    dbgVerifyBulkForDefect().load(defectIds);
}

// What loadTracks read, forgotten: the later phases and the removal read
// afresh.
void forgetTracks(PopulateWalk& walk) {
    dbgTrackBulkById().clear();
    dbgChangeBulkForTrack().clear();
    dbgApprovalBulkForTrack().clear();
    dbgFixBulkForTrack().clear();
    dbgTestBulkForTrack().clear();
    dbgCoreqBulkForTrack().clear();
    dbgFileBulkById().clear();
    dbgVersionBulkById().clear();
    dbgSizeBulkForDefect().clear();
    dbgDefectBulkById().clear();
    dbgHistoryBulkForDefect().clear();
    dbgNoteviewBulkForDefect().clear();
    dbgNoteBulkForDefect().clear();
    dbgVerifyBulkForDefect().clear();
    forgetConfiguredValues(walk.writer, ConfigObject::defect);
    forgetConfiguredValues(walk.writer, ConfigObject::feature);
}

// ---- small list helpers ---------------------------------------------------------

void addUser(int userId) { appendUniqueIdToList(userId, archCtx.userIdList); }
void addComponent(int compId) { appendUniqueIdToList(compId, archCtx.compIdList); }

ChangeCopy copyOf(const ChangeRecord& change) {
    return {change.PATHID, change.TRACKID, change.FILEID, change.VERSIONID,
            change.LEVELID, change.TYPE, change.USERID};
}

CompMbrCopy copyOf(const CompMemberRecord& member) {
    return {member.PARENTID, member.CHILDID, member.RANK, member.REFERENCE};
}

// Flushes and closes a work file the walk has finished with.  1 after
// message 1333 and 1435 for a failed flush (or a write lost before it),
// 1436 for a failed close.
int closeWorkFile(WorkFile& file) {
    const bool lostWrite = file.fp() != nullptr && std::ferror(file.fp()) != 0;
    const WorkFile::Closed closed = file.close();
    if (closed.ok() && !lostWrite)
        return 0;
    msgPrint(1333);
    if (!closed.flushed || lostWrite)
        msgPrint(1435, programName, file.path().c_str());
    if (!closed.closed)
        msgPrint(1436, programName, file.path().c_str());
    return 1;
}

// Names a finished work file in the cpio list of a device archive.
int listForCpio(WorkFile ArchiveContext::*file) {
    if (!isDeviceArchive() || addCpioListEntry(file) == 0)
        return 0;
    msgPrint(1333);
    msgPrint(1458, archCtx.cpioFileList.path().c_str());
    return 1;
}

// A row the walk takes: counted, and its user and component collected
// where it names them.
template <class Record>
void collectRow(const Record& row, int ArchiveContext::*count) {
    ++(archCtx.*count);
    if constexpr (requires { row.USERID; })
        addUser(row.USERID);
    if constexpr (requires { row.COMPID; })
        addComponent(row.COMPID);
}

// A row of a table the walk takes whole: written in an archive run, then
// collected.
template <class Record>
struct TakeRow {
    DbPopWriter& writer;
    void (*write)(DbPopWriter&, const Record&);
    int ArchiveContext::*count;

    void operator()(const Record& row) const {
        if (archiving())
            write(writer, row);
        collectRow(row, count);
    }
};

// Spelled out: clang before 17 deduces no template arguments for an aggregate.
template <class Record>
TakeRow(DbPopWriter&, void (*)(DbPopWriter&, const Record&), int ArchiveContext::*) -> TakeRow<Record>;

// ---- releases and levels ----------------------------------------------------------

int processReleases(PopulateWalk& walk) {
    using C = ArchiveContext;
    startPhase(1527);
    for (int releaseId : archCtx.releaseIdList) {
        ReleaseRecord release{};
        dbgReleaseGetById(release, releaseId);
        if (archiving())
            writeReleaseInfoToDbPopFile(walk.writer, release);
        ++archCtx.numReleases;
        forEachRow(dbgEnvGetAllForRelease, TakeRow{walk.writer, writeEnvInfoToDbPopFile, &C::numEnvironments},
                   releaseId);
        forEachRow(dbgApproverGetForRelease, TakeRow{walk.writer, writeApproverInfoToDbPopFile, &C::numApprovers},
                   releaseId);
        addComponent(release.COMPID);
        addUser(release.USERID);
        unitDone();
        if (int result = commit(walk.writer); result != 0)
            return result;
    }
    endPhase();
    return 0;
}

int processLevels(PopulateWalk& walk) {
    if (archCtx.levelIdList.listSize() == 0)
        return 0;
    startPhase(1528);
    const TakeRow takeMember{walk.writer, writeLevelMemInfoToDbPopFile, &ArchiveContext::numLevelMembers};
    const auto load = [](std::span<const std::int32_t> ids) {
        dbgLevelBulkById().load(ids);
        dbgLevelmemberBulkForLevel().load(ids);
    };
    const int result = inWindows(archCtx.levelIdList, load, [&](int levelId) {
        LevelRecord level{};
        dbgLevelBulkById().get(level, levelId);
        if (archiving())
            writeLevelInfoToDbPopFile(walk.writer, level);
        ++archCtx.numLevels;
        addUser(level.USERID);
        dbgLevelmemberBulkForLevel().forEach(levelId, [&](const LevelMemberRecord& member) {
            takeMember(member);
            unitDone();
        });
        return commit(walk.writer);
    });
    dbgLevelBulkById().clear();
    dbgLevelmemberBulkForLevel().clear();
    if (result != 0)
        return result;
    endPhase();
    return 0;
}

// ---- tracks -----------------------------------------------------------------------

// A change: its row, its file (or the destroyed source of a file that is
// gone), the version it made and its path.
void processChange(PopulateWalk& walk, const ChangeRecord& change) {
    if (archiving())
        writeChangeInfoToDbPopFile(walk.writer, change);
    ++archCtx.numChanges;
    appendChgToChangeList(copyOf(change));
    unitDone();
    bool destroyed = walk.destroyedFileIds.listContains(change.FILEID);
    if (!destroyed && !archCtx.fileIdList.listContains(change.FILEID)) {
        FileRecord file{};
        destroyed = dbgFileBulkById().get(file, change.FILEID) != 0;
        (destroyed ? walk.destroyedFileIds : archCtx.fileIdList).listAppendUnique(change.FILEID);
    }
    auto [known, fresh] = walk.versionSources.try_emplace(change.VERSIONID, -1);
    if (fresh) {
        VersionRecord version;  // read only once found; see processVersions
        if (dbgVersionBulkById().get(version, change.VERSIONID) == 0)
            known->second = version.SOURCEID;
    }
    if (const int sourceId = known->second; sourceId != -1) {
        appendUniqueVersionIdToList(sourceId, change.VERSIONID);
        if (destroyed)
            appendUniqueIdToList(sourceId, archCtx.destroyedSourceIdList);
    }
    appendUniqueIdToList(change.PATHID, archCtx.pathIdList);
}

// Each group is committed after it when it wrote a row.
int processTrackGroups(PopulateWalk& walk, int trackId) {
    using C = ArchiveContext;
    DbPopWriter& writer = walk.writer;
    const auto change = [&](const ChangeRecord& row) { processChange(walk, row); };
    const auto take = [&](auto write, int C::*count) { return TakeRow{writer, write, count}; };
    const std::function<int()> groups[] = {
        [&] { return rowGroup(writer, dbgChangeBulkForTrack(), change, trackId); },
        [&] {
            return rowGroup(writer, dbgApprovalBulkForTrack(), take(writeApprovalInfoToDbPopFile, &C::numApprovals),
                            trackId);
        },
        [&] { return rowGroup(writer, dbgFixBulkForTrack(), take(writeFixInfoToDbPopFile, &C::numFixes), trackId); },
        [&] { return rowGroup(writer, dbgTestBulkForTrack(), take(writeTestInfoToDbPopFile, &C::numTests), trackId); },
        [&] {
            return rowGroup(writer, dbgCoreqBulkForTrack(), take(writeCoreqInfoToDbPopFile, &C::numCoreqs), trackId);
        },
    };
    for (const std::function<int()>& group : groups)
        if (int result = group(); result != 0)
            return result;
    return 0;
}

// A hold track belongs with the archive when its first change of a source
// the archive collected is older than a version collected for that
// source: the archived history then runs past the track's change.
bool holdTrackTaken(int trackId) {
    bool taken = false;
    dbgChangeBulkForTrack().forEach(trackId, [&](const ChangeRecord& change) {
        const int sourceId = sourceIdExistsInList(change.FILEID);
        if (sourceId == 0)
            return false;
        taken = versionExistsHigherForSourceId(change.VERSIONID, sourceId) != 0;
        return true;
    });
    return taken;
}

// A taken hold track joins trackIdList, so the later phases treat it as
// archived.  Each test sees the versions of the tracks taken before it.
int processHoldTracks(PopulateWalk& walk) {
    const int result = inWindows(
        archCtx.trackIdHoldList, [&](std::span<const std::int32_t> ids) { loadTracks(walk, ids); },
        [&](int trackId) {
            if (!holdTrackTaken(trackId))
                return 0;
            TrackRecord track{};
            dbgTrackBulkById().get(track, trackId);
            if (int result = takeTrackAndRelatedInfo(walk, track); result != 0)
                return result;
            archCtx.trackIdList.listAppend(trackId);
            return 0;
        });
    if (result != 0)
        return result;
    archCtx.trackIdHoldList.listFreeItems();
    return 0;
}

// Informix: the rows gathered in a load file go in with one load
// statement (none when there are none), and the file is complete.
int finishLoadFile(const DbPopWriter& writer, int rows, int (*addLoadStmt)(), WorkFile& file) {
    if (rows > 0) {
        if (int result = addLoadStmt(); result != 0)
            return result;
        if (int result = commit(writer); result != 0)
            return result;
    }
    return closeWorkFile(file);
}

int processTracks(PopulateWalk& walk) {
    startPhase(1529);
    if (int result = inWindows(
            archCtx.trackIdList, [&](std::span<const std::int32_t> ids) { loadTracks(walk, ids); },
            [&](int trackId) {
                TrackRecord track{};
                dbgTrackBulkById().get(track, trackId);
                return takeTrackAndRelatedInfo(walk, track);
            }))
        return result;
    if (int result = processHoldTracks(walk); result != 0)
        return result;
    forgetTracks(walk);
    // The products other than Informix export every note of the family.
    if (!informix())
        archCtx.allNotes = dbgNoteCountAll(0);
    if (archiving() && informix())
        if (int result =
                finishLoadFile(walk.writer, archCtx.numNotes, addNotesLoadStmtToDbPopFile, archCtx.dbLoadNotes))
            return result;
    endPhase();
    return 0;
}

// ---- defects ----------------------------------------------------------------------

int processDefectRow(DbPopWriter& writer, const DefectRecord& defect) {
    archCtx.defectFeatureIdList.listAppend(defect.ID);
    ++archCtx.numDefectsFeatures;
    if (archiving()) {
        if (std::string_view(defect.TYPE) == "defect")
            writeDefectInfoToDbPopFile(writer, defect);
        else
            writeFeatureInfoToDbPopFile(writer, defect);
    }
    if (int result = commit(writer); result != 0)
        return result;
    addComponent(defect.COMPID);
    addUser(defect.ORIGINID);
    addUser(defect.OWNERID);
    return 0;
}

// No writer takes a note, so the walk copies it itself.
template <class Note>
void copyNote(const DbPopWriter& writer, const Note& note) {
    if (writer.rowCopy != nullptr)
        writer.rowCopy->copy(note);
}

int processHistoryNotesVerify(DbPopWriter& writer, int defectId) {
    using C = ArchiveContext;
    if (int result = rowGroup(writer, dbgHistoryBulkForDefect(),
                              TakeRow{writer, writeHistoryInfoToDbPopFile, &C::numHistory}, defectId))
        return result;
    // Notes are counted in every dialect; only Informix carries the
    // archived ones itself, in its load file.
    if (informix())
        dbgNoteviewBulkForDefect().forEach(defectId, [&](const NoteViewRecord& note) {
            if (archiving())
                writeNoteInfoToDbLoadFile(note);
            copyNote(writer, note);
            collectRow(note, &C::numNotes);
        });
    else
        dbgNoteBulkForDefect().forEach(defectId, [&](const NoteRecord& note) {
            copyNote(writer, note);
            collectRow(note, &C::numNotes);
        });
    return rowGroup(writer, dbgVerifyBulkForDefect(), TakeRow{writer, writeVerifyInfoToDbPopFile, &C::numVerify},
                    defectId);
}

// ---- files, paths and versions ------------------------------------------------------

// A release archive takes every file of its releases, with the version
// chain from the file's current version.
void collectReleaseFiles(PopulateWalk& walk) {
    for (int releaseId : archCtx.releaseIdList) {
        // What the chains need of each file, read first so that the
        // versions of the files' sources come in windows.
        std::vector<FileViewRecord> files;
        std::unordered_map<std::int32_t, std::size_t> fileOfId;
        forEachRow(
            dbgFileviewGetAllByRelease,
            [&](const FileViewRecord& file) {
                if (file.ID == 0)
                    return;
                fileOfId.try_emplace(file.ID, files.size());
                files.push_back(file);
            },
            releaseId);
        std::vector<std::int32_t> order;
        order.reserve(files.size());
        for (std::size_t i = 0; i < files.size(); ++i)
            order.push_back(static_cast<std::int32_t>(i));
        inWindows(
            order,
            [&](std::span<const std::int32_t> window) {
                std::vector<std::int32_t> sources;
                for (const std::int32_t i : window)
                    sources.push_back(files[static_cast<std::size_t>(i)].SOURCEID);
                dbgVersionBulkBySource().load(sources);
            },
            [&](int i) {
                getPathAndVersionsForFile(walk, files[static_cast<std::size_t>(i)]);
                return 0;
            });
    }
}

// A level archive writes each file with the path and version of its newest
// archived change, and collects the chain from that version; a release
// archive writes each file as it is now.
int processFiles(PopulateWalk& walk) {
    startPhase(1530);
    const bool level = !archCtx.levelName.empty();
    if (!level)
        collectReleaseFiles(walk);
    const auto load = [&](std::span<const std::int32_t> ids) {
        dbgFileBulkById().load(ids);
        if (archiving())
            loadConfiguredValues(walk.writer, ConfigObject::file, ids);
        walk.rowCopy.loadConfigured(CopyTable::files, ids);
        if (!level)
            return;
        std::vector<std::int32_t> sources, paths;
        for (const std::int32_t fileId : ids) {
            FileRecord file{};
            if (dbgFileBulkById().get(file, fileId) == 0)
                sources.push_back(file.SOURCEID);
            if (const ChangeGroup* group = archCtx.changeList.listFind(fileId); group != nullptr)
                for (const ChangeCopy& change : group->changes)
                    paths.push_back(change.pathId);
        }
        dbgVersionBulkBySource().load(sources);
        if (archiving())
            dbgPathBulkById().load(paths);
    };
    const int result = inWindows(archCtx.fileIdList, load, [&](int fileId) {
        FileRecord file{};
        dbgFileBulkById().get(file, fileId);
        int pathId = file.NUPATHID, versionId = file.NUVERSIONID;
        std::string baseName = level ? "" : file.BASENAME;
        if (level) {
            versionId = findVersionIdForFileFromChanges(fileId);
            getVersionsForFile(walk, file.SOURCEID, versionId);
            if (archiving())
                pathId = findPathIdForFileFromChanges(fileId, baseName);
        }
        if (archiving()) {
            writeFileInfoToDbPopFile(walk.writer, file, pathId, versionId, baseName.c_str());
            if (int result = commit(walk.writer); result != 0)
                return result;
        }
        ++archCtx.numFiles;
        addComponent(file.COMPID);
        unitDone();
        return 0;
    });
    dbgFileBulkById().clear();
    dbgVersionBulkBySource().clear();
    dbgPathBulkById().clear();
    forgetConfiguredValues(walk.writer, ConfigObject::file);
    if (result != 0)
        return result;
    endPhase();
    return 0;
}

// Paths are only written, so a check-only run skips them.
int processPaths(PopulateWalk& walk) {
    if (!archiving())
        return 0;
    startPhase(1531);
    const int result = inWindows(
        archCtx.pathIdList, [](std::span<const std::int32_t> ids) { dbgPathBulkById().load(ids); },
        [&](int pathId) {
            PathRecord path{};
            dbgPathBulkById().get(path, pathId);
            writePathInfoToDbPopFile(walk.writer, path);
            ++archCtx.numPaths;
            if (int result = commit(walk.writer); result != 0)
                return result;
            unitDone();
            return 0;
        });
    dbgPathBulkById().clear();
    if (result != 0)
        return result;
    endPhase();
    return 0;
}

int processVersions(PopulateWalk& walk) {
    startPhase(1532);
    // The versions come in windows of whole sources.
    std::size_t ahead = 0;
    std::vector<std::int32_t> window;
    for (auto entry = archCtx.sourceIdList.begin(); entry != archCtx.sourceIdList.end(); ++entry) {
        if (ahead == 0) {
            window.clear();
            for (auto next = entry; next != archCtx.sourceIdList.end() && window.size() < readAhead; ++next, ++ahead)
                window.insert(window.end(), next->versionIds.begin(), next->versionIds.end());
            dbgVersionBulkById().load(window);
        }
        --ahead;
        for (int versionId : entry->versionIds) {
            // Not cleared: a found row fills every column, and a version's
            // remark field is 128 KB, which clearing would cost per version.
            VersionRecord version;
            if (dbgVersionBulkById().get(version, versionId) != 0)
                continue;
            ++archCtx.numVersions;
            walk.rowCopy.copy(version);
            addUser(version.USERID);
            if (archiving() && informix())
                writeVersionInfoToDbLoadFile(version);
        }
        unitDone();
    }
    dbgVersionBulkById().clear();
    // The products other than Informix export every version of the family.
    if (!informix())
        archCtx.allVersions = dbgVersionCountAll(0);
    else if (archiving())
        if (int result = finishLoadFile(walk.writer, archCtx.numVersions, addVersionsLoadStmtToDbPopFile,
                                        archCtx.dbLoadVers))
            return result;
    endPhase();
    return 0;
}

// ---- components ---------------------------------------------------------------------

// The memberships of a component as a child; the second cursor walks
// those of a parent while the first is open.
void addMembersOf(int childId, bool secondCursor) {
    (secondCursor ? dbgCompmemberBulkForChild2() : dbgCompmemberBulkForChild())
        .forEach(childId, [&](const CompMemberRecord& member) {
            if (member.CHILDID != rootComponentId)
                appendUniqueCompMbrToList(copyOf(member));
            // One level further up, and no further.
            if (!secondCursor && member.PARENTID != childId && member.PARENTID != rootComponentId)
                addMembersOf(member.PARENTID, true);
        });
}

// The tree is followed two levels up from every collected component, in
// an archive run only: a check-only run counts no memberships.
int processCompMembers(DbPopWriter& writer) {
    if (archiving()) {
        std::vector<std::int32_t> children(archCtx.compIdList.begin(), archCtx.compIdList.end());
        dbgCompmemberBulkForChild().load(children);
        const auto parents = [](const CompMemberRecord& m, auto add) {
            if (m.PARENTID != m.CHILDID && m.PARENTID != rootComponentId)
                add(m.PARENTID);
        };
        dbgCompmemberBulkForChild2().load(idsNamed(dbgCompmemberBulkForChild(), children, parents));
        for (int compId : archCtx.compIdList)
            addMembersOf(compId, false);
        dbgCompmemberBulkForChild().clear();
        dbgCompmemberBulkForChild2().clear();
    }
    for (const CompMbrCopy& member : archCtx.compMbrList) {
        if (member.parentId != rootComponentId)
            addComponent(member.parentId);
        if (archiving())
            writeCompMbrInfoToDbPopFile(writer, member);
        ++archCtx.numCompMbrs;
    }
    archCtx.compMbrList.listFreeItems();
    return commit(writer);
}

// A component id without a row (a release or defect that names none) is
// neither written nor counted.
int processComponents(PopulateWalk& walk) {
    startPhase(1533);
    archCtx.changeList.listFreeItems();
    if (int result = processCompMembers(walk.writer); result != 0)
        return result;
    const std::vector<std::int32_t> compIds(archCtx.compIdList.begin(), archCtx.compIdList.end());
    dbgCompBulkById().load(compIds);
    for (int compId : archCtx.compIdList) {
        ComponentRecord component{};
        if (dbgCompBulkById().get(component, compId) != 0)
            continue;
        if (archiving() && compId != rootComponentId)
            writeCompInfoToDbPopFile(walk.writer, component);
        else if (compId == rootComponentId)
            walk.rowCopy.copy(component);  // counted, though never written
        ++archCtx.numComponents;
        addUser(component.USERID);
        unitDone();
    }
    dbgCompBulkById().clear();
    archCtx.compIdList.listFreeItems();
    if (int result = commit(walk.writer); result != 0)
        return result;
    endPhase();
    return 0;
}

// ---- users ----------------------------------------------------------------------------

// User 0 is the family's own system user, which every family has: it is
// never archived.  A user id without a row is neither written nor counted.
int processUsers(PopulateWalk& walk) {
    startPhase(1534);
    const auto load = [&](std::span<const std::int32_t> ids) {
        dbgUserBulkById().load(ids);
        dbgHostBulkForUser().load(ids);
        walk.rowCopy.loadConfigured(CopyTable::users, ids);
        if (!archiving())
            return;
        std::vector<std::string> logins;
        for (const std::int32_t userId : ids)
            if (UserRecord user{}; userId != 0 && dbgUserBulkById().get(user, userId) == 0)
                logins.emplace_back(user.LOGIN);
        loadConfiguredValues(walk.writer, ConfigObject::user, logins);
    };
    const int result = inWindows(archCtx.userIdList, load, [&](int userId) {
        UserRecord user{};
        if (userId == 0 || dbgUserBulkById().get(user, userId) != 0)
            return 0;
        // A check-only run counts the hosts an archive would write.
        archCtx.numHosts += archiving() ? writeUserAndHostInfoToDbPopFile(walk.writer, user)
                                        : dbgHostBulkForUser().forEach(user.ID, [](const HostRecord&) {});
        if (archiving() && std::fprintf(archCtx.archUser.fp(), "%s\n", user.LOGIN) < 0) {
            msgPrint(1333);
            msgPrint(1458, archCtx.archUser.path().c_str());
            return 1;
        }
        ++archCtx.numUsers;
        unitDone();
        return 0;
    });
    dbgUserBulkById().clear();
    dbgHostBulkForUser().clear();
    forgetConfiguredValues(walk.writer, ConfigObject::user);
    if (result != 0)
        return result;
    archCtx.userIdList.listFreeItems();
    if (!archiving())
        return 0;
    if (int result = closeWorkFile(archCtx.archUser); result != 0)
        return result;
    return listForCpio(&ArchiveContext::archUser);
}

// ---- the end of the script ---------------------------------------------------------------

// The here-document of an Informix script ends with its own line; every
// writer's refusal has been reported by now.
int finishScript(PopulateWalk& walk) {
    const DbPopWriter& writer = walk.writer;
    if (!archiving())
        return 0;
    if (writer.failed)
        return 1;
    const DialectSettings& dialect = dialectSettings(archCtx.database);
    if (dialect.hereDocument && std::fputs(dialect.scriptTrailer, archCtx.dbPop.fp()) < 0) {
        msgPrint(1333);
        msgPrint(1458, archCtx.dbPop.path().c_str());
        return 1;
    }
    if (int result = closeWorkFile(archCtx.dbPop); result != 0)
        return result;
    if (int result = listForCpio(&ArchiveContext::dbPop); result != 0)
        return result;
    const int copied = walk.rowCopy.finish();
    noteRowCopySeconds(walk.rowCopy.seconds());
    if (copied != 0)
        return 1;
    if (int result = listForCpio(&ArchiveContext::rowCopy); result != 0)
        return result;
    if (!informix())
        return 0;
    if (int result = listForCpio(&ArchiveContext::dbLoadNotes); result != 0)
        return result;
    return listForCpio(&ArchiveContext::dbLoadVers);
}

void readConfigTables() {
    readConfigFields(defTbl, "configField/DefectConfigTbl");
    readConfigFields(featTbl, "configField/FeatureConfigTbl");
    readConfigFields(fileTbl, "configField/FileConfigTbl");
    readConfigFields(userTbl, "configField/UserConfigTbl");
    readConfigReport();
}

void createSelectionLists() {
    ArchiveContext& c = archCtx;
    for (IdList* list : {&c.compIdList, &c.userIdList, &c.fileIdList, &c.destroyedSourceIdList,
                         &c.pathIdList, &c.defectFeatureIdList})
        list->listInit();
    c.sourceIdList.listInit();
    c.changeList.listInit();
    c.compMbrList.listInit();
}

}  // namespace

// ---- list operations ------------------------------------------------------------------------

void appendUniqueIdToList(int id, IdList& list) { list.listAppendUnique(id); }

void appendUniqueVersionIdToList(int sourceId, int versionId) {
    SourceEntry& entry = archCtx.sourceIdList.listFindOrAppend(SourceEntry{sourceId, {}});
    entry.versionIds.listAppendUnique(versionId);
    entry.highestVersionId = std::max(entry.highestVersionId, versionId);
}

void appendUniqueCompMbrToList(const CompMbrCopy& member) { archCtx.compMbrList.listAppendUnique(member); }

void appendChgToChangeList(const ChangeCopy& change) {
    archCtx.changeList.listFindOrAppend(ChangeGroup{change.fileId, {}}).changes.listAppend(change);
}

int sourceIdExistsInList(int fileId) {
    FileRecord file{};
    if (dbgFileBulkById().get(file, fileId) != 0)
        return 0;
    return archCtx.sourceIdList.listFind(file.SOURCEID) != nullptr ? file.SOURCEID : 0;
}

int versionExistsHigherForSourceId(int versionId, int sourceId) {
    const SourceEntry* entry = archCtx.sourceIdList.listFind(sourceId);
    if (entry == nullptr)
        return 0;
    return entry->highestVersionId > versionId ? 1 : 0;
}

int findPathIdForFileFromChanges(int fileId, std::string& baseName) {
    ChangeGroup* group = archCtx.changeList.listFind(fileId);
    if (group == nullptr)
        return 0;
    int pathId = 0;
    for (const ChangeCopy& change : group->changes)
        pathId = std::max(pathId, change.pathId);
    PathRecord path{};
    if (dbgPathBulkById().get(path, pathId) == 0)
        baseName = basePath(path.NAME);
    return pathId;
}

int findVersionIdForFileFromChanges(int fileId) {
    ChangeGroup* group = archCtx.changeList.listFind(fileId);
    int versionId = 0;
    if (group != nullptr)
        for (const ChangeCopy& change : group->changes)
            versionId = std::max(versionId, change.versionId);
    return versionId;
}

void getVersionsForFile(PopulateWalk& walk, int sourceId, int versionId) {
    while (versionId != 0 && walk.chainedVersionIds.listAppendUnique(versionId)) {
        appendUniqueVersionIdToList(sourceId, versionId);
        VersionRecord version;  // read only once found; see processVersions
        if (dbgVersionBulkBySource().get(version, versionId) != 0)
            return;
        versionId = version.PREVIOUSID;
    }
}

void getPathAndVersionsForFile(PopulateWalk& walk, const FileViewRecord& file) {
    appendUniqueIdToList(file.ID, archCtx.fileIdList);
    appendUniqueIdToList(file.NUPATHID, archCtx.pathIdList);
    getVersionsForFile(walk, file.SOURCEID, file.NUVERSIONID);
}

// ---- the walk -------------------------------------------------------------------------------

int takeTrackAndRelatedInfo(PopulateWalk& walk, const TrackRecord& track) {
    addUser(track.USERID);
    if (archiving())
        writeTrackInfoToDbPopFile(walk.writer, track);
    ++archCtx.numTracks;
    if (int result = processTrackGroups(walk, track.ID); result != 0)
        return result;
    return takeDefectFeatureAndRelatedInfo(walk, track.RELEASEID, track.DEFECTID);
}

// Sizes belong to a release, so a defect with tracks in several archived
// releases brings the sizes of each; the defect itself comes once.
int takeDefectFeatureAndRelatedInfo(PopulateWalk& walk, int releaseId, int defectId) {
    DbPopWriter& writer = walk.writer;
    const TakeRow takeSize{writer, writeSizeInfoToDbPopFile, &ArchiveContext::numSizes};
    int sizes = 0;
    if (dbgSizeBulkForDefect().holds(defectId))
        dbgSizeBulkForDefect().forEachHeld(defectId, [&](const SizeRecord& size) {
            if (size.RELEASEID == releaseId) {
                takeSize(size);
                ++sizes;
            }
        });
    else
        sizes = forEachRow(dbgSizeGetSequenceForDefect, takeSize, releaseId, defectId);
    if (sizes > 0)
        if (int result = commit(writer); result != 0)
            return result;
    if (archCtx.defectFeatureIdList.listContains(defectId))
        return 0;
    DefectRecord defect{};
    if (dbgDefectBulkById().get(defect, defectId) != 0)
        return 0;
    if (int result = processDefectRow(writer, defect); result != 0)
        return result;
    return processHistoryNotesVerify(writer, defectId);
}

int generateDbPopulateFile() {
    readConfigTables();
    if (archiving())
        if (int result = addLoginLineToDbPopFile(); result != 0)
            return result;
    createSelectionLists();
    PopulateWalk walk;
    if (archiving()) {
        if (walk.rowCopy.create(archCtx.rowCopy.path()) != 0)
            return 1;
        walk.writer.rowCopy = &walk.rowCopy;
    }
    for (int (*phase)(PopulateWalk&) : {processReleases, processLevels, processTracks, processFiles, processPaths,
                                        processVersions, processComponents, processUsers})
        if (int result = phase(walk); result != 0)
            return result;
    // The users' line of progress stays open over the global tables and
    // the end of the script.
    if (int result = takeGlobalTables(walk.writer); result != 0)
        return result;
    if (int result = finishScript(walk); result != 0)
        return result;
    msgPrint(1333);
    return 0;
}

}  // namespace pelo
