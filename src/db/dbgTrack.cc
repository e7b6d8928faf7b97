#include "db/dbgTrack.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<TrackRecord> trackColumns[] = {
    PELO_RECORD_COLUMN(TrackRecord, ID),
    PELO_RECORD_COLUMN(TrackRecord, RELEASEID),
    PELO_RECORD_COLUMN(TrackRecord, DEFECTID),
    PELO_RECORD_COLUMN(TrackRecord, USERID),
    PELO_RECORD_COLUMN(TrackRecord, STATE),
    PELO_RECORD_COLUMN(TrackRecord, TARGET),
    PELO_RECORD_COLUMN(TrackRecord, ACTUAL),
    PELO_RECORD_COLUMN(TrackRecord, ADDDATE),
    PELO_RECORD_COLUMN(TrackRecord, LASTUPDATE),
};

const GetStatement<TrackRecord> trackGetById{trackColumns, "TRACKS", "ID=:b1"};
CursorStatement<TrackRecord> trackC1{trackColumns, "TRACKS", "RELEASEID=:b1 AND ACTUAL=:b2 ORDER BY ID"};
CursorStatement<TrackRecord> trackC2{trackColumns, "TRACKS", "RELEASEID=:b1 ORDER BY ID"};
CursorStatement<TrackRecord> trackC3{
    trackColumns, "TRACKS", "RELEASEID=:b1 AND ACTUAL IS NULL AND STATE IN('test','complete') ORDER BY ID"};
CursorStatement<TrackRecord> trackC4{
    trackColumns, "TRACKS",
    "RELEASEID=:b1 AND LASTUPDATE<:b2 AND ACTUAL IS NULL AND STATE IN('test','complete') ORDER BY ID"};
CursorStatement<TrackRecord> trackC5{
    trackColumns, "TRACKS",
    "RELEASEID=:b1 AND LASTUPDATE>:b2 AND ACTUAL IS NULL AND STATE IN('test','complete') ORDER BY ID"};

}  // namespace

int dbgTrackGetById(TrackRecord& track, std::int32_t id) {
    return trackGetById.get(track, {{1, id}});
}

int dbgTrackExistsForDefect(std::int32_t defectId) {
    return accessorExists("SELECT COUNT(*)INTO :b1 FROM TRACKS WHERE DEFECTID=:b2",
                          {{2, defectId}});
}

int dbgTrackExistsActiveForRelease(std::int32_t releaseId) {
    return accessorExists(
        "SELECT COUNT(*)INTO :b1 FROM TRACKS WHERE RELEASEID=:b2 AND STATE!='complete'",
        {{2, releaseId}});
}

int dbgTrackGetByLevel(int mode, TrackRecord& track, std::int32_t releaseId,
                       std::string_view levelName) {
    return trackC1.walk(mode, track,
                        {{1, releaseId}, {2, textKey(levelName, &TrackRecord::ACTUAL, "ACTUAL")}});
}

int dbgTrackGetByRelease(int mode, TrackRecord& track, std::int32_t releaseId) {
    return trackC2.walk(mode, track, {{1, releaseId}});
}

int dbgTrackGetByReleaseActualIsNull(int mode, TrackRecord& track, std::int32_t releaseId) {
    return trackC3.walk(mode, track, {{1, releaseId}});
}

int dbgTrackGetByReleaseCommittedNoLevel(int mode, TrackRecord& track, std::int32_t releaseId,
                                         std::string_view date) {
    return trackC4.walk(
        mode, track, {{1, releaseId}, {2, textKey(date, &TrackRecord::LASTUPDATE, "LASTUPDATE")}});
}

int dbgTrackGetByReleaseCommittedNoLevelHold(int mode, TrackRecord& track, std::int32_t releaseId,
                                             std::string_view date) {
    return trackC5.walk(
        mode, track, {{1, releaseId}, {2, textKey(date, &TrackRecord::LASTUPDATE, "LASTUPDATE")}});
}

int dbgTrackDelete(std::int32_t id) {
    return accessorModify("DELETE FROM TRACKS WHERE ID=:b1", {{1, id}});
}

BulkRows<TrackRecord>& dbgTrackBulkById() {
    static BulkRows<TrackRecord> bulk{trackColumns, {"TRACKS", "ID"}, dbgTrackGetById};
    return bulk;
}

int dbgTrackDeleteByIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("DELETE FROM TRACKS WHERE ID IN LIST(:b1)", ids);
}

std::unordered_set<std::int32_t> dbgTrackExistsForDefects(std::span<const std::int32_t> defectIds) {
    return accessorExistsByKey("SELECT DEFECTID,COUNT(*) FROM TRACKS WHERE DEFECTID IN LIST(:b1) GROUP BY DEFECTID",
                               defectIds);
}

}  // namespace pelo
