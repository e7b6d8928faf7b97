// Tests: the test records of a track, one per environment.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the test records of a track.  0 while a row is delivered, 1 at the end.
int dbgTestGetListForTrack(int mode, TestRecord& test, std::int32_t trackId);

/// Deletes the test records of a track.  0, whether or not a row matched.
int dbgTestFreeAll(std::int32_t trackId);

/// The test records of many tracks, each track's in the order of dbgTestGetListForTrack.
BulkRows<TestRecord>& dbgTestBulkForTrack();

/// As dbgTestFreeAll, for many tracks.  0, whether or not a row matched.
int dbgTestFreeAllForTracks(std::span<const std::int32_t> trackIds);

}  // namespace pelo
