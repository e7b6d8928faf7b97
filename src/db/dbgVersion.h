// Versions: the versions of the sources, chained by PREVIOUSID (0 for the
// first).
#pragma once

#include <cstdint>
#include <span>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a version by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgVersionGetById(VersionRecord& version, std::int32_t id);

/// How many versions have an id from `lowestId` on (0: all versions).  The count.
std::int32_t dbgVersionCountAll(std::int32_t lowestId);

/// Deletes a version.  0, whether or not a row matched.
int dbgVersionDeleteById(std::int32_t id);

/// Deletes every version of a source.  0, whether or not a row matched.
int dbgVersionDeleteBySourceId(std::int32_t sourceId);

/// Unlinks the versions that follow version `id` (their PREVIOUSID becomes 0).  0, whether or not a
/// row matched.
int dbgVersionResetPreviousId(std::int32_t id);

/// The versions of many ids, each as dbgVersionGetById reads it.
BulkRows<VersionRecord>& dbgVersionBulkById();

/// The versions of many sources, loaded by source id and each got by its
/// own id as dbgVersionGetById reads it.
BulkRows<VersionRecord>& dbgVersionBulkBySource();

/// Deletes the versions of many ids.  0, whether or not a row matched.
int dbgVersionDeleteByIds(std::span<const std::int32_t> ids);

/// Deletes every version of many sources.  0, whether or not a row matched.
int dbgVersionDeleteBySourceIds(std::span<const std::int32_t> sourceIds);

/// As dbgVersionResetPreviousId, for the versions that follow any of `ids`.  0, whether or not a
/// row matched.
int dbgVersionResetPreviousIds(std::span<const std::int32_t> ids);

}  // namespace pelo
