// Fix: the fix records of a track, one per component.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the fix records of a track.  0 while a row is delivered, 1 at the end.
int dbgFixGetListForTrack(int mode, FixRecord& fix, std::int32_t trackId);

/// Deletes the fix records of a track.  0, whether or not a row matched.
int dbgFixDelete(std::int32_t trackId);

/// The fix records of many tracks, each track's in the order of dbgFixGetListForTrack.
BulkRows<FixRecord>& dbgFixBulkForTrack();

/// As dbgFixDelete, for many tracks.  0, whether or not a row matched.
int dbgFixDeleteForTracks(std::span<const std::int32_t> trackIds);

}  // namespace pelo
