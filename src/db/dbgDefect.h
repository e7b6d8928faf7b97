// Defects: defects and features (TYPE 'defect' or 'feature').
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a defect or feature by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgDefectGetById(DefectRecord& defect, std::int32_t id);

/// Walks the defects and features with an id above `lowestId` in state design, size or review.  0
/// while a row is delivered, 1 at the end.
int dbgDefectGetListDSR(int mode, DefectRecord& defect, std::int32_t lowestId);

/// Deletes a defect or feature.  0, whether or not a row matched.
int dbgDefectDelete(std::int32_t id);

/// Gives `newReleaseId` to every defect or feature whose release no longer exists, except those
/// with release `keepReleaseId` (called with 0 and 0 once releases were deleted).  0, whether or
/// not a row matched.
int dbgDefectModifyReleaseId(std::int32_t newReleaseId, std::int32_t keepReleaseId);

/// The defects and features of many ids, each as dbgDefectGetById reads it.
BulkRows<DefectRecord>& dbgDefectBulkById();

/// Deletes the defects and features of many ids.  0, whether or not a row matched.
int dbgDefectDeleteByIds(std::span<const std::int32_t> ids);

}  // namespace pelo
