// Notes: the remarks on defects and features.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the notes of a defect or feature.  0 while a row is delivered, 1 at the end.
int dbgNoteGetList(int mode, NoteRecord& note, std::int32_t defectId);

/// How many notes belong to defects from `lowestDefectId` on (0: all notes).  The count.
std::int32_t dbgNoteCountAll(std::int32_t lowestDefectId);

/// Deletes the notes of a defect or feature.  0, whether or not a row matched.
int dbgNoteDeleteForDefect(std::int32_t defectId);

/// The notes of many defects, each defect's in the order of dbgNoteGetList.
BulkRows<NoteRecord>& dbgNoteBulkForDefect();

/// As dbgNoteDeleteForDefect, for many defects and features.  0, whether or not a row matched.
int dbgNoteDeleteForDefects(std::span<const std::int32_t> defectIds);

}  // namespace pelo
