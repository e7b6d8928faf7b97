// Tracks: the work on a defect or feature in a release.  ACTUAL names the level
// that took the track, NULL while no level has.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_set>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a track by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgTrackGetById(TrackRecord& track, std::int32_t id);

/// Whether a defect or feature has a track.  1 or 0.
int dbgTrackExistsForDefect(std::int32_t defectId);

/// Whether a release has a track that is not complete.  1 or 0.
int dbgTrackExistsActiveForRelease(std::int32_t releaseId);

/// Walks the tracks of a release that the named level took.  0 while a row is delivered, 1 at the
/// end.  A `levelName` longer than 32 characters ends the run.
int dbgTrackGetByLevel(int mode, TrackRecord& track, std::int32_t releaseId,
                       std::string_view levelName);

/// Walks the tracks of a release.  0 while a row is delivered, 1 at the end.
int dbgTrackGetByRelease(int mode, TrackRecord& track, std::int32_t releaseId);

/// Walks the tracks of a release in state test or complete that no level took.  0 while a row is
/// delivered, 1 at the end.
int dbgTrackGetByReleaseActualIsNull(int mode, TrackRecord& track, std::int32_t releaseId);

/// As dbgTrackGetByReleaseActualIsNull, for tracks last updated before `date`.  0 while a row is
/// delivered, 1 at the end.  A `date` longer than 26 characters ends the run.
int dbgTrackGetByReleaseCommittedNoLevel(int mode, TrackRecord& track, std::int32_t releaseId,
                                         std::string_view date);

/// As dbgTrackGetByReleaseActualIsNull, for tracks last updated after `date`.  A track updated at
/// `date` itself is in neither walk.  0 while a row is delivered, 1 at the end.  A `date` longer
/// than 26 characters ends the run.
int dbgTrackGetByReleaseCommittedNoLevelHold(int mode, TrackRecord& track, std::int32_t releaseId,
                                             std::string_view date);

/// Deletes a track.  0, whether or not a row matched.
int dbgTrackDelete(std::int32_t id);

/// The tracks of many ids, each as dbgTrackGetById reads it.
BulkRows<TrackRecord>& dbgTrackBulkById();

/// Deletes the tracks of many ids.  0, whether or not a row matched.
int dbgTrackDeleteByIds(std::span<const std::int32_t> ids);

/// The defects and features of `defectIds` that have a track, as dbgTrackExistsForDefect answers
/// for each.
std::unordered_set<std::int32_t> dbgTrackExistsForDefects(std::span<const std::int32_t> defectIds);

}  // namespace pelo
