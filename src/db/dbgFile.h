// Files: one row per file of a release; rows of one source share SOURCEID.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>

#include "db/accessor.h"
#include "db/records.h"

namespace pelo {

/// Reads a file by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgFileGetById(FileRecord& file, std::int32_t id);

/// Reads the file of a source in a release.  0 found and filled; 1 no such row, the record
/// untouched.
int dbgFileGetBySourceIdAndRelease(FileRecord& file, std::int32_t sourceId, std::int32_t releaseId);

/// How many files on a path are not dropped.  The count.
std::int32_t dbgFileCountByPathId(std::int32_t pathId);

/// How many files share a source.  The count.
std::int32_t dbgFileCountBySourceId(std::int32_t sourceId);

/// Whether a release has a file of a source.  1 or 0.
int dbgFileExistsBySourceIdReleaseId(std::int32_t sourceId, std::int32_t releaseId);

/// Deletes the files of a source in a release.  0, whether or not a row matched.
int dbgFileDeleteBySourceIdAndReleaseId(std::int32_t sourceId, std::int32_t releaseId);

/// The files of many ids, each as dbgFileGetById reads it.
BulkRows<FileRecord>& dbgFileBulkById();

/// dbgFileCountByPathId of many paths: the count of each path that has files not dropped.
std::unordered_map<std::int32_t, std::int32_t> dbgFileCountByPathIds(std::span<const std::int32_t> pathIds);

/// dbgFileCountBySourceId of many sources: the count of each source that has files.
std::unordered_map<std::int32_t, std::int32_t> dbgFileCountBySourceIds(std::span<const std::int32_t> sourceIds);

/// Deletes the files of every source of `sourceIds` in every release of `releaseIds`.  0, whether
/// or not a row matched.
int dbgFileDeleteBySourceIdsAndReleaseIds(std::span<const std::int32_t> sourceIds,
                                          std::span<const std::int32_t> releaseIds);

/// The files of many sources, each source's by release and then by id; walked with forEachHeld
/// after a load, having no single-key walk.
BulkRows<FileRecord>& dbgFileBulkBySource();

}  // namespace pelo
