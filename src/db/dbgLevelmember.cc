#include "db/dbgLevelmember.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<LevelMemberRecord> levelMemberColumns[] = {
    PELO_RECORD_COLUMN(LevelMemberRecord, LEVELID),
    PELO_RECORD_COLUMN(LevelMemberRecord, TRACKID),
};

CursorStatement<LevelMemberRecord> levelmemberC1{levelMemberColumns, "LEVELMEMBERS", "LEVELID=:b1 ORDER BY TRACKID"};

}  // namespace

int dbgLevelmemberGetAllForLevel(int mode, LevelMemberRecord& levelMember, std::int32_t levelId) {
    return levelmemberC1.walk(mode, levelMember, {{1, levelId}});
}

std::int32_t dbgLevelmemberCountForTrackId(std::int32_t trackId) {
    return accessorCount("SELECT COUNT(*)INTO :b1 FROM LEVELMEMBERS WHERE TRACKID=:b2",
                         {{2, trackId}});
}

int dbgLevelmemberDelete(std::int32_t levelId) {
    return accessorModify("DELETE FROM LEVELMEMBERS WHERE LEVELID=:b1", {{1, levelId}});
}

BulkRows<LevelMemberRecord>& dbgLevelmemberBulkForLevel() {
    static BulkRows<LevelMemberRecord> bulk{levelMemberColumns, {"LEVELMEMBERS", "LEVELID", "TRACKID"},
                                            dbgLevelmemberGetAllForLevel};
    return bulk;
}


std::unordered_map<std::int32_t, std::int32_t> dbgLevelmemberCountsForTracks(std::span<const std::int32_t> trackIds) {
    return accessorCountsByKey(
        "SELECT TRACKID,COUNT(*) FROM LEVELMEMBERS WHERE TRACKID IN LIST(:b1) GROUP BY TRACKID", trackIds);
}

int dbgLevelmemberDeleteForLevels(std::span<const std::int32_t> levelIds) {
    return accessorModifyIds("DELETE FROM LEVELMEMBERS WHERE LEVELID IN LIST(:b1)", levelIds);
}

}  // namespace pelo
