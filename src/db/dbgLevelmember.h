// LevelMembers: which tracks each level holds.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the members of a level.  0 while a row is delivered, 1 at the end.
int dbgLevelmemberGetAllForLevel(int mode, LevelMemberRecord& levelMember, std::int32_t levelId);

/// In how many levels a track is.  The count.
std::int32_t dbgLevelmemberCountForTrackId(std::int32_t trackId);

/// Deletes the members of a level.  0, whether or not a row matched.
int dbgLevelmemberDelete(std::int32_t levelId);

/// The members of many levels, each level's in the order of dbgLevelmemberGetAllForLevel.
BulkRows<LevelMemberRecord>& dbgLevelmemberBulkForLevel();


/// dbgLevelmemberCountForTrackId for many tracks at once: each track's
/// count, none for a track in no level.
std::unordered_map<std::int32_t, std::int32_t> dbgLevelmemberCountsForTracks(std::span<const std::int32_t> trackIds);

/// Deletes the members of many levels.  0, whether or not a row matched.
int dbgLevelmemberDeleteForLevels(std::span<const std::int32_t> levelIds);

}  // namespace pelo
