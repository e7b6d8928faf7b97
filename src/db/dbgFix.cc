#include "db/dbgFix.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<FixRecord> fixColumns[] = {
    PELO_RECORD_COLUMN(FixRecord, TRACKID),
    PELO_RECORD_COLUMN(FixRecord, USERID),
    PELO_RECORD_COLUMN(FixRecord, COMPID),
    PELO_RECORD_COLUMN(FixRecord, STATE),
    PELO_RECORD_COLUMN(FixRecord, ADDDATE),
    PELO_RECORD_COLUMN(FixRecord, LASTUPDATE),
};

CursorStatement<FixRecord> fixC1{fixColumns, "FIX", "TRACKID=:b1 ORDER BY COMPID,USERID"};

}  // namespace

int dbgFixGetListForTrack(int mode, FixRecord& fix, std::int32_t trackId) {
    return fixC1.walk(mode, fix, {{1, trackId}});
}

int dbgFixDelete(std::int32_t trackId) {
    return accessorModify("DELETE FROM FIX WHERE TRACKID=:b1", {{1, trackId}});
}

BulkRows<FixRecord>& dbgFixBulkForTrack() {
    static BulkRows<FixRecord> bulk{fixColumns, {"FIX", "TRACKID", "COMPID,USERID"}, dbgFixGetListForTrack};
    return bulk;
}

int dbgFixDeleteForTracks(std::span<const std::int32_t> trackIds) {
    return accessorModifyIds("DELETE FROM FIX WHERE TRACKID IN LIST(:b1)", trackIds);
}

}  // namespace pelo
