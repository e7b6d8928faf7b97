// LEVELMEMBERVIEW: level members with their level, release, track owner and
// defect.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/records.h"

namespace pelo {

/// Walks the levels a track is in.  0 while a row is delivered, 1 at the end.
int dbgLevelmemberviewListForTrack(int mode, LevelMemberViewRecord& member, std::int32_t trackId);

}  // namespace pelo
