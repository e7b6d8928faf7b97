// FILEVIEW: files with their component, versions, paths and release named.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>

#include "db/records.h"

namespace pelo {

/// Reads a file by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgFileviewGetById(FileViewRecord& fileView, std::int32_t id);

/// Walks the files of a release.  0 while a row is delivered, 1 at the end.
int dbgFileviewGetAllByRelease(int mode, FileViewRecord& fileView, std::int32_t releaseId);

}  // namespace pelo
