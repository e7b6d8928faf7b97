// Sequence: the serial counters, one row per counter.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "db/records.h"

namespace pelo {

/// Reads a counter by its name.  0 found and filled; 1 no such row, the record untouched.  A `name`
/// longer than 16 characters ends the run.
int dbgSequenceGetByName(SequenceRecord& sequence, std::string_view name);

/// Walks every counter.  0 while a row is delivered, 1 at the end.
int dbgSequenceGetList(int mode, SequenceRecord& sequence);

}  // namespace pelo
