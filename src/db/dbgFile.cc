#include "db/dbgFile.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<FileRecord> fileColumns[] = {
    PELO_RECORD_COLUMN(FileRecord, ID),
    PELO_RECORD_COLUMN(FileRecord, COMPID),
    PELO_RECORD_COLUMN(FileRecord, SOURCEID),
    PELO_RECORD_COLUMN(FileRecord, PATHID),
    PELO_RECORD_COLUMN(FileRecord, NUPATHID),
    PELO_RECORD_COLUMN(FileRecord, VERSIONID),
    PELO_RECORD_COLUMN(FileRecord, NUVERSIONID),
    PELO_RECORD_COLUMN(FileRecord, ADDDATE),
    PELO_RECORD_COLUMN(FileRecord, NUADDDATE),
    PELO_RECORD_COLUMN(FileRecord, DROPDATE),
    PELO_RECORD_COLUMN(FileRecord, NUDROPDATE),
    PELO_RECORD_COLUMN(FileRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(FileRecord, BASENAME),
    PELO_RECORD_COLUMN(FileRecord, TYPE),
    PELO_RECORD_COLUMN(FileRecord, RELEASEID),
    PELO_RECORD_COLUMN(FileRecord, USERLOGIN),
    PELO_RECORD_COLUMN(FileRecord, FMODE),
};

const GetStatement<FileRecord> fileGetById{fileColumns, "FILES", "ID=:b1"};
const GetStatement<FileRecord> fileGetBySourceIdAndRelease{fileColumns, "FILES",
                                                           "SOURCEID=:b3 AND RELEASEID=:b15"};

}  // namespace

int dbgFileGetById(FileRecord& file, std::int32_t id) {
    return fileGetById.get(file, {{1, id}});
}

int dbgFileGetBySourceIdAndRelease(FileRecord& file, std::int32_t sourceId,
                                   std::int32_t releaseId) {
    return fileGetBySourceIdAndRelease.get(file, {{3, sourceId}, {15, releaseId}});
}

std::int32_t dbgFileCountByPathId(std::int32_t pathId) {
    return accessorCount(
        "SELECT COUNT(*)INTO :b1 FROM FILES WHERE PATHID=:b2 AND DROPDATE IS NULL AND NUDROPDATE IS NULL",
        {{2, pathId}});
}

std::int32_t dbgFileCountBySourceId(std::int32_t sourceId) {
    return accessorCount("SELECT COUNT(*)INTO :b1 FROM FILES WHERE SOURCEID=:b2", {{2, sourceId}});
}

int dbgFileExistsBySourceIdReleaseId(std::int32_t sourceId, std::int32_t releaseId) {
    return accessorExists("SELECT COUNT(*)INTO :b1 FROM FILES WHERE SOURCEID=:b2 AND RELEASEID=:b3",
                          {{2, sourceId}, {3, releaseId}});
}

int dbgFileDeleteBySourceIdAndReleaseId(std::int32_t sourceId, std::int32_t releaseId) {
    return accessorModify("DELETE FROM FILES WHERE SOURCEID=:b1 AND RELEASEID=:b2",
                          {{1, sourceId}, {2, releaseId}});
}

BulkRows<FileRecord>& dbgFileBulkById() {
    static BulkRows<FileRecord> bulk{fileColumns, {"FILES", "ID"}, dbgFileGetById};
    return bulk;
}

std::unordered_map<std::int32_t, std::int32_t> dbgFileCountByPathIds(std::span<const std::int32_t> pathIds) {
    return accessorCountsByKey(
        "SELECT PATHID,COUNT(*) FROM FILES WHERE PATHID IN LIST(:b1) AND DROPDATE IS NULL AND NUDROPDATE IS NULL "
        "GROUP BY PATHID",
        pathIds);
}

std::unordered_map<std::int32_t, std::int32_t> dbgFileCountBySourceIds(std::span<const std::int32_t> sourceIds) {
    return accessorCountsByKey("SELECT SOURCEID,COUNT(*) FROM FILES WHERE SOURCEID IN LIST(:b1) GROUP BY SOURCEID",
                               sourceIds);
}

int dbgFileDeleteBySourceIdsAndReleaseIds(std::span<const std::int32_t> sourceIds,
                                          std::span<const std::int32_t> releaseIds) {
    if (sourceIds.empty() || releaseIds.empty())
        return 0;
    const std::string sources = sqlIdList(sourceIds), releases = sqlIdList(releaseIds);
    return accessorModify("DELETE FROM FILES WHERE SOURCEID IN LIST(:b1) AND RELEASEID IN LIST(:b2)",
                          {{1, std::string_view(sources)}, {2, std::string_view(releases)}});
}

BulkRows<FileRecord>& dbgFileBulkBySource() {
    static BulkRows<FileRecord> bulk{fileColumns, {"FILES", "SOURCEID", "RELEASEID,ID"}, BulkRows<FileRecord>::Get{}};
    return bulk;
}

}  // namespace pelo
