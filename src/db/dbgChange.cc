#include "db/dbgChange.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ChangeRecord> changeColumns[] = {
    PELO_RECORD_COLUMN(ChangeRecord, PATHID),
    PELO_RECORD_COLUMN(ChangeRecord, TRACKID),
    PELO_RECORD_COLUMN(ChangeRecord, FILEID),
    PELO_RECORD_COLUMN(ChangeRecord, VERSIONID),
    PELO_RECORD_COLUMN(ChangeRecord, LEVELID),
    PELO_RECORD_COLUMN(ChangeRecord, TYPE),
    PELO_RECORD_COLUMN(ChangeRecord, USERID),
};

CursorStatement<ChangeRecord> changeC1{changeColumns, "CHANGES",
                                       "TRACKID=:b1 ORDER BY FILEID DESC,VERSIONID DESC,PATHID,LEVELID,TYPE,USERID"};

}  // namespace

int dbgChangeGetListForTrack(int mode, ChangeRecord& change, std::int32_t trackId) {
    return changeC1.walk(mode, change, {{1, trackId}});
}

int dbgChangeDeleteForTrack(std::int32_t trackId) {
    return accessorModify("DELETE FROM CHANGES WHERE TRACKID=:b1", {{1, trackId}});
}

BulkRows<ChangeRecord>& dbgChangeBulkForTrack() {
    static BulkRows<ChangeRecord> bulk{
        changeColumns, {"CHANGES", "TRACKID", "FILEID DESC,VERSIONID DESC,PATHID,LEVELID,TYPE,USERID"},
        dbgChangeGetListForTrack};
    return bulk;
}

int dbgChangeDeleteForTracks(std::span<const std::int32_t> trackIds) {
    return accessorModifyIds("DELETE FROM CHANGES WHERE TRACKID IN LIST(:b1)", trackIds);
}

}  // namespace pelo
