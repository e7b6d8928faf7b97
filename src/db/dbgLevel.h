// Levels: the levels of the releases.
// Cursor walks take a mode (0 open, 1 next, 2 close); their keys count
// when the walk opens, and the walk closes itself after its last row
// (CursorStatement in accessor.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads the level of that name in a release.  0 found and filled; 1 no such row, the record
/// untouched.  A `name` longer than 32 characters ends the run.
int dbgLevelGet(LevelRecord& level, std::string_view name, std::int32_t releaseId);

/// Reads a level by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgLevelGetById(LevelRecord& level, std::int32_t id);

/// Whether a release has a level of that name.  1 or 0.  A `name` longer than 32 characters ends
/// the run.
int dbgLevelExists(std::string_view name, std::int32_t releaseId);

/// How many levels of a release were committed.  The count.
std::int32_t dbgLevelCommittedCountByRel(std::int32_t releaseId);

/// Walks the levels of a release.  0 while a row is delivered, 1 at the end.
int dbgLevelGetByRel(int mode, LevelRecord& level, std::int32_t releaseId);

/// Walks the levels of a release committed before a date.  0 while a row is delivered, 1 at the
/// end.  A `date` longer than 26 characters ends the run.
int dbgLevelGetByRelAndDate(int mode, LevelRecord& level, std::int32_t releaseId,
                            std::string_view date);

/// Walks the committed levels of a release, oldest commit first.  0 while a row is delivered, 1 at
/// the end.
int dbgLevelCommittedGetByRel(int mode, LevelRecord& level, std::int32_t releaseId);

/// Deletes a level.  0, whether or not a row matched.
int dbgLevelDelete(std::int32_t id);

/// The levels of many ids, each as dbgLevelGetById reads it.
BulkRows<LevelRecord>& dbgLevelBulkById();

/// Deletes the levels of many ids.  0, whether or not a row matched.
int dbgLevelDeleteByIds(std::span<const std::int32_t> ids);

}  // namespace pelo
