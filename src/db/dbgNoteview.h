// NOTEVIEW: notes with their defect and author named.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Walks the notes of a defect or feature, oldest first.  0 while a row is delivered, 1 at the end.
int dbgNoteviewGet(int mode, NoteViewRecord& note, std::int32_t defectId);

/// The note view rows of many defects, each defect's in the order of dbgNoteviewGet.
BulkRows<NoteViewRecord>& dbgNoteviewBulkForDefect();

}  // namespace pelo
