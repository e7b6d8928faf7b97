#include "db/dbgVersion.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<VersionRecord> versionColumns[] = {
    PELO_RECORD_COLUMN(VersionRecord, ID),
    PELO_RECORD_COLUMN(VersionRecord, PREVIOUSID),
    PELO_RECORD_COLUMN(VersionRecord, SOURCEID),
    PELO_RECORD_COLUMN(VersionRecord, USERID),
    PELO_RECORD_COLUMN(VersionRecord, RAWLINES),
    PELO_RECORD_COLUMN(VersionRecord, CODELINES),
    PELO_RECORD_COLUMN(VersionRecord, COMMENTLINES),
    PELO_RECORD_COLUMN(VersionRecord, REMARKS),
    PELO_RECORD_COLUMN(VersionRecord, CHANGEDATE),
    PELO_RECORD_COLUMN(VersionRecord, SID),
    PELO_RECORD_COLUMN(VersionRecord, VERSIZE),
};

const GetStatement<VersionRecord> versionGetById{versionColumns, "VERSIONS", "ID=:b1"};

}  // namespace

int dbgVersionGetById(VersionRecord& version, std::int32_t id) {
    return versionGetById.get(version, {{1, id}});
}

std::int32_t dbgVersionCountAll(std::int32_t lowestId) {
    return accessorCount("SELECT COUNT(*)INTO :b1 FROM VERSIONS WHERE ID>=:b2", {{2, lowestId}});
}

int dbgVersionDeleteById(std::int32_t id) {
    return accessorModify("DELETE FROM VERSIONS WHERE ID=:b1", {{1, id}});
}

int dbgVersionDeleteBySourceId(std::int32_t sourceId) {
    return accessorModify("DELETE FROM VERSIONS WHERE SOURCEID=:b1", {{1, sourceId}});
}

int dbgVersionResetPreviousId(std::int32_t id) {
    return accessorModify("UPDATE VERSIONS SET PREVIOUSID=0 WHERE PREVIOUSID=:b1", {{1, id}});
}

BulkRows<VersionRecord>& dbgVersionBulkById() {
    static BulkRows<VersionRecord> bulk{versionColumns, {"VERSIONS", "ID"}, dbgVersionGetById};
    return bulk;
}

BulkRows<VersionRecord>& dbgVersionBulkBySource() {
    static BulkRows<VersionRecord> bulk{versionColumns, {"VERSIONS", "ID", "", "SOURCEID"}, dbgVersionGetById};
    return bulk;
}

int dbgVersionDeleteByIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("DELETE FROM VERSIONS WHERE ID IN LIST(:b1)", ids);
}

int dbgVersionDeleteBySourceIds(std::span<const std::int32_t> sourceIds) {
    return accessorModifyIds("DELETE FROM VERSIONS WHERE SOURCEID IN LIST(:b1)", sourceIds);
}

int dbgVersionResetPreviousIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("UPDATE VERSIONS SET PREVIOUSID=0 WHERE PREVIOUSID IN LIST(:b1)", ids);
}

}  // namespace pelo
