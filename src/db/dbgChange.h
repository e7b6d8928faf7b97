// Changes: the file versions a track changed.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the changes of a track by file id, then version id, both descending.  0 while a row is
/// delivered, 1 at the end.
int dbgChangeGetListForTrack(int mode, ChangeRecord& change, std::int32_t trackId);

/// Deletes the changes of a track.  0, whether or not a row matched.
int dbgChangeDeleteForTrack(std::int32_t trackId);

/// The changes of many tracks, each track's in the order of dbgChangeGetListForTrack.
BulkRows<ChangeRecord>& dbgChangeBulkForTrack();

/// As dbgChangeDeleteForTrack, for many tracks.  0, whether or not a row matched.
int dbgChangeDeleteForTracks(std::span<const std::int32_t> trackIds);

}  // namespace pelo
