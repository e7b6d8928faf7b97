// Environments: the test environments of the releases.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/records.h"

namespace pelo {

/// Walks the environments of a release.  0 while a row is delivered, 1 at the end.
int dbgEnvGetAllForRelease(int mode, EnvironmentRecord& environment, std::int32_t releaseId);

/// Deletes the environments of a release.  0, whether or not a row matched.
int dbgEnvDeleteForRelease(std::int32_t releaseId);

}  // namespace pelo
