// Coreqs: groups of co-requisite tracks.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the co-requisite rows of a track.  0 while a row is delivered, 1 at the end.
int dbgCoreqGetListForTrack(int mode, CoreqRecord& coreq, std::int32_t trackId);

/// Deletes the co-requisite rows of a track.  0, whether or not a row matched.
int dbgCoreqDeleteByTrack(std::int32_t trackId);

/// The co-requisites of many tracks, each track's in the order of dbgCoreqGetListForTrack.
BulkRows<CoreqRecord>& dbgCoreqBulkForTrack();

/// As dbgCoreqDeleteByTrack, for many tracks.  0, whether or not a row matched.
int dbgCoreqDeleteByTracks(std::span<const std::int32_t> trackIds);

}  // namespace pelo
