// Files: one row per file of a release; rows of one source share SOURCEID.
#pragma once

#include <cstdint>

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

}  // namespace pelo
