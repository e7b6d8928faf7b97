#include "db/dbgCoreq.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<CoreqRecord> coreqColumns[] = {
    PELO_RECORD_COLUMN(CoreqRecord, TRACKID),
    PELO_RECORD_COLUMN(CoreqRecord, GROUPID),
};

CursorStatement<CoreqRecord> coreqC1{coreqColumns, "COREQS", "TRACKID=:b1 ORDER BY GROUPID"};

}  // namespace

int dbgCoreqGetListForTrack(int mode, CoreqRecord& coreq, std::int32_t trackId) {
    return coreqC1.walk(mode, coreq, {{1, trackId}});
}

int dbgCoreqDeleteByTrack(std::int32_t trackId) {
    return accessorModify("DELETE FROM COREQS WHERE TRACKID=:b1", {{1, trackId}});
}

BulkRows<CoreqRecord>& dbgCoreqBulkForTrack() {
    static BulkRows<CoreqRecord> bulk{coreqColumns, {"COREQS", "TRACKID", "GROUPID"}, dbgCoreqGetListForTrack};
    return bulk;
}

int dbgCoreqDeleteByTracks(std::span<const std::int32_t> trackIds) {
    return accessorModifyIds("DELETE FROM COREQS WHERE TRACKID IN LIST(:b1)", trackIds);
}

}  // namespace pelo
