// Approvals: the approval records of a track.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the approvals of a track.  0 while a row is delivered, 1 at the end.
int dbgApprovalGetSequenceForTrack(int mode, ApprovalRecord& approval, std::int32_t trackId);

/// Deletes the approvals of a track.  0, whether or not a row matched.
int dbgApprovalDeleteForTrack(std::int32_t trackId);

/// The approvals of many tracks, each track's in the order of dbgApprovalGetSequenceForTrack.
BulkRows<ApprovalRecord>& dbgApprovalBulkForTrack();

/// As dbgApprovalDeleteForTrack, for many tracks.  0, whether or not a row matched.
int dbgApprovalDeleteForTracks(std::span<const std::int32_t> trackIds);

}  // namespace pelo
