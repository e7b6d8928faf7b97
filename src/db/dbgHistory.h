// History: the actions taken on defects and features.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the history of a defect or feature.  0 while a row is delivered, 1 at the end.
int dbgHistoryGetList(int mode, HistoryRecord& history, std::int32_t defectId);

/// Deletes the history of a defect or feature.  0, whether or not a row matched.
int dbgHistoryDeleteForDefect(std::int32_t defectId);

/// The history rows of many defects, each defect's in the order of dbgHistoryGetList.
BulkRows<HistoryRecord>& dbgHistoryBulkForDefect();

/// As dbgHistoryDeleteForDefect, for many defects and features.  0, whether or not a row matched.
int dbgHistoryDeleteForDefects(std::span<const std::int32_t> defectIds);

}  // namespace pelo
