// Sizes: the sizing records of defects and features per release.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>
#include <unordered_set>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the sizing records of a defect or feature in a release.  0 while a row is delivered, 1 at
/// the end.
int dbgSizeGetSequenceForDefect(int mode, SizeRecord& size, std::int32_t releaseId,
                                std::int32_t defectId);

/// Whether a release has sizing records in state ready or notReady.  1 or 0.
int dbgSizeExistsForReleaseInStates(std::int32_t releaseId);

/// Whether a defect or feature has sizing records in a release in state accept or reject.  1 or 0.
int dbgSizeExistsAcceptRejectForDefect(std::int32_t releaseId, std::int32_t defectId);

/// Whether a defect or feature has sizing records in any release.  1 or 0.
int dbgSizeExistsForDefect(std::int32_t defectId);

/// Deletes the sizing records of a defect or feature in every release.  0, whether or not a row
/// matched.
int dbgSizeDeleteAll(std::int32_t defectId);

/// Deletes the sizing records of a defect or feature in a release.  0, whether or not a row
/// matched.
int dbgSizeDeleteByRelDef(std::int32_t releaseId, std::int32_t defectId);

/// The sizing records of many defects, each defect's by release and then in the order of
/// dbgSizeGetSequenceForDefect; walked with forEachHeld after a load, having no single-key walk.
BulkRows<SizeRecord>& dbgSizeBulkForDefect();

/// The defects and features of `defectIds` that have sizing records in any release.
std::unordered_set<std::int32_t> dbgSizeExistsForDefects(std::span<const std::int32_t> defectIds);

/// As dbgSizeDeleteAll, for many defects and features.  0, whether or not a row matched.
int dbgSizeDeleteAllForDefects(std::span<const std::int32_t> defectIds);

/// As dbgSizeDeleteByRelDef, for many defects and features of one release.  0, whether or not a
/// row matched.
int dbgSizeDeleteByRelDefs(std::int32_t releaseId, std::span<const std::int32_t> defectIds);

}  // namespace pelo
