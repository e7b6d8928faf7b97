#include "db/dbgLevel.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<LevelRecord> levelColumns[] = {
    PELO_RECORD_COLUMN(LevelRecord, ID),
    PELO_RECORD_COLUMN(LevelRecord, NAME),
    PELO_RECORD_COLUMN(LevelRecord, RELEASEID),
    PELO_RECORD_COLUMN(LevelRecord, USERID),
    PELO_RECORD_COLUMN(LevelRecord, ADDDATE),
    PELO_RECORD_COLUMN(LevelRecord, COMMITDATE),
    PELO_RECORD_COLUMN(LevelRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(LevelRecord, STATE),
    PELO_RECORD_COLUMN(LevelRecord, TYPE),
    PELO_RECORD_COLUMN(LevelRecord, LEVELSIZE),
};

const GetStatement<LevelRecord> levelGet{levelColumns, "LEVELS", "NAME=:b2 AND RELEASEID=:b3"};
const GetStatement<LevelRecord> levelGetById{levelColumns, "LEVELS", "ID=:b1"};
CursorStatement<LevelRecord> levelC1{levelColumns, "LEVELS", "RELEASEID=:b1 AND COMMITDATE<:b2 ORDER BY ID"};
CursorStatement<LevelRecord> levelC2{levelColumns, "LEVELS", "RELEASEID=:b1 ORDER BY ID"};
CursorStatement<LevelRecord> levelC3{
    levelColumns, "LEVELS", "RELEASEID=:b1 AND COMMITDATE IS NOT NULL ORDER BY COMMITDATE ASC,ID"};

}  // namespace

int dbgLevelGet(LevelRecord& level, std::string_view name, std::int32_t releaseId) {
    return levelGet.get(level, {{2, textKey(name, &LevelRecord::NAME, "NAME")}, {3, releaseId}});
}

int dbgLevelGetById(LevelRecord& level, std::int32_t id) {
    return levelGetById.get(level, {{1, id}});
}

int dbgLevelExists(std::string_view name, std::int32_t releaseId) {
    return accessorExists("SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE NAME=:b2 AND RELEASEID=:b3",
                          {{2, textKey(name, &LevelRecord::NAME, "NAME")}, {3, releaseId}});
}

std::int32_t dbgLevelCommittedCountByRel(std::int32_t releaseId) {
    return accessorCount(
        "SELECT COUNT(*)INTO :b1 FROM LEVELS WHERE RELEASEID=:b2 AND COMMITDATE IS NOT NULL",
        {{2, releaseId}});
}

int dbgLevelGetByRel(int mode, LevelRecord& level, std::int32_t releaseId) {
    return levelC2.walk(mode, level, {{1, releaseId}});
}

int dbgLevelGetByRelAndDate(int mode, LevelRecord& level, std::int32_t releaseId,
                            std::string_view date) {
    return levelC1.walk(
        mode, level, {{1, releaseId}, {2, textKey(date, &LevelRecord::COMMITDATE, "COMMITDATE")}});
}

int dbgLevelCommittedGetByRel(int mode, LevelRecord& level, std::int32_t releaseId) {
    return levelC3.walk(mode, level, {{1, releaseId}});
}

int dbgLevelDelete(std::int32_t id) {
    return accessorModify("DELETE FROM LEVELS WHERE ID=:b1", {{1, id}});
}

BulkRows<LevelRecord>& dbgLevelBulkById() {
    static BulkRows<LevelRecord> bulk{levelColumns, {"LEVELS", "ID"}, dbgLevelGetById};
    return bulk;
}

int dbgLevelDeleteByIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("DELETE FROM LEVELS WHERE ID IN LIST(:b1)", ids);
}

}  // namespace pelo
