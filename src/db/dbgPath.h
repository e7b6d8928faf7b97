// Path: the directory paths of files.
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a path by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgPathGetById(PathRecord& path, std::int32_t id);

/// Deletes a path.  0, whether or not a row matched.
int dbgPathDeleteById(std::int32_t id);

/// The paths of many ids, each as dbgPathGetById reads it.
BulkRows<PathRecord>& dbgPathBulkById();

/// Deletes the paths of many ids.  0, whether or not a row matched.
int dbgPathDeleteByIds(std::span<const std::int32_t> ids);

}  // namespace pelo
