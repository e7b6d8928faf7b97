// Verify: the verification records of defects and features.
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

/// Walks the verification records of a defect or feature.  0 while a row is delivered, 1 at the
/// end.
int dbgVerifyGetList(int mode, VerifyRecord& verify, std::int32_t defectId);

/// Whether a defect or feature has a verification record outside the states accept, reject and
/// abstain.  1 or 0.
int dbgVerifyExistsIncomplete(std::int32_t defectId);

/// Deletes the verification records of a defect or feature.  0, whether or not a row matched.
int dbgVerifyDelete(std::int32_t defectId);

/// The verification records of many defects, each defect's in the order of dbgVerifyGetList.
BulkRows<VerifyRecord>& dbgVerifyBulkForDefect();

/// The defects and features of `defectIds` that dbgVerifyExistsIncomplete answers 1 for.
std::unordered_set<std::int32_t> dbgVerifyExistsIncompleteForDefects(std::span<const std::int32_t> defectIds);

/// As dbgVerifyDelete, for many defects and features.  0, whether or not a row matched.
int dbgVerifyDeleteForDefects(std::span<const std::int32_t> defectIds);

}  // namespace pelo
