// The object selection: which rows of the family belong to an archive.
// generateDbPopulateFile (phases.h) walks them in a fixed order, releases,
// levels, tracks with their defects, files, paths, versions, components,
// users and the global tables, and takes each row: in an archive run it
// hands the row to its writer (writeDbPop.h; for Informix the notes and
// versions go to the load files of createDbExport.h), and in both kinds
// of run it counts the row and collects the ids it names into the lists of
// the archive context.  A check-only run, from whose lists and counters the
// estimate is made, writes nothing and touches no file.
//
// Lists kept for the later phases: releaseIdList, levelIdList and
// trackIdList (with the hold tracks taken), fileIdList, pathIdList,
// sourceIdList, destroyedSourceIdList and defectFeatureIdList.  changeList,
// compMbrList, compIdList, userIdList and trackIdHoldList are emptied once
// the walk is done with them.
//
// Every lookup goes through the lists' hash indexes, so the walk's cost
// grows with the rows it reads and nothing else.
#pragma once

#include <string>
#include <unordered_map>

#include "archive/context.h"
#include "archive/rowCopy.h"
#include "archive/writeDbPop.h"
#include "db/records.h"

namespace pelo {

/// The component at the root of the family's tree: never written as a
/// Components row nor as the child of a CompMembers row.
inline constexpr int rootComponentId = 2;

/// What one walk keeps beside the lists and counters of the archive
/// context: the writer of its script, and what its reads found, so that a
/// file or version met again is not read again.  generateDbPopulateFile
/// makes one for the phase and hands it on; nothing in it outlives the
/// walk.
struct PopulateWalk {
    DbPopWriter writer;
    /// The copy of every row taken, in an archive run (writer.rowCopy
    /// points to it then); never opened in a check-only run.
    RowCopy rowCopy;
    /// Versions whose chain getVersionsForFile has followed: all that came
    /// before them is collected, so a second file of the same source stops
    /// there instead of reading the chain again.
    IdList chainedVersionIds;
    /// The files of changes whose Files row is gone.
    IdList destroyedFileIds;
    /// The source of each changed version, -1 when the version has no row.
    std::unordered_map<int, int> versionSources;
};

/// Takes one track and what hangs on it: its Tracks row, then its changes,
/// approvals, fixes, tests and coreqs (each group committed when it wrote
/// a row), then its defect (takeDefectFeatureAndRelatedInfo).  0, or the
/// failing commit's result.
int takeTrackAndRelatedInfo(PopulateWalk& walk, const TrackRecord& track);

/// Takes the Sizes rows of the defect in the release, then, the first time
/// the defect is met, the defect with its history, notes and verify rows.
/// 0, or the failing commit's result.
int takeDefectFeatureAndRelatedInfo(PopulateWalk& walk, int releaseId, int defectId);

/// Adds the id unless the list holds it.
void appendUniqueIdToList(int id, IdList& list);

/// Adds the version to its source's entry in sourceIdList, making the
/// entry first when the source has none.
void appendUniqueVersionIdToList(int sourceId, int versionId);

/// Adds the member unless compMbrList holds its (parent, child) pair.
void appendUniqueCompMbrToList(const CompMbrCopy& member);

/// Adds the change to its file's group in changeList, making the group
/// first when the file has none; copies are never merged.
void appendChgToChangeList(const ChangeCopy& change);

/// The file's source id when sourceIdList has an entry for it; 0 when it
/// has none or the Files row does not exist.
int sourceIdExistsInList(int fileId);

/// 1 when the source's entry holds a version id greater than versionId.
int versionExistsHigherForSourceId(int versionId, int sourceId);

/// The greatest path id among the file's changes and, in baseName, the
/// last component of that path's name; 0 and baseName untouched when the
/// file has no changes.
int findPathIdForFileFromChanges(int fileId, std::string& baseName);

/// The greatest version id among the file's changes; 0 when it has none.
int findVersionIdForFileFromChanges(int fileId);

/// Collects the version chain of the source from versionId back to its
/// first version (PREVIOUSID 0), whichever release made each version.
/// A version already reached through a chain ends the walk, since what
/// came before it is already collected.  versionId 0 collects nothing.
void getVersionsForFile(PopulateWalk& walk, int sourceId, int versionId);

/// A file of a release archive: its id to fileIdList, its current path to
/// pathIdList, and the chain of its source from its current version.
void getPathAndVersionsForFile(PopulateWalk& walk, const FileViewRecord& file);

}  // namespace pelo
