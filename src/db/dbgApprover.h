// Approvers: the users who approve the tracks of a release.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/records.h"

namespace pelo {

/// Walks the approvers of a release.  0 while a row is delivered, 1 at the end.
int dbgApproverGetForRelease(int mode, ApproverRecord& approver, std::int32_t releaseId);

/// Deletes the approvers of a release.  0, whether or not a row matched.
int dbgApproverDeleteForRelease(std::int32_t releaseId);

}  // namespace pelo
