#include "db/dbgApproval.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ApprovalRecord> approvalColumns[] = {
    PELO_RECORD_COLUMN(ApprovalRecord, TRACKID),
    PELO_RECORD_COLUMN(ApprovalRecord, USERID),
    PELO_RECORD_COLUMN(ApprovalRecord, STATE),
    PELO_RECORD_COLUMN(ApprovalRecord, ADDDATE),
    PELO_RECORD_COLUMN(ApprovalRecord, LASTUPDATE),
};

CursorStatement<ApprovalRecord> approvalC1{approvalColumns, "APPROVALS", "TRACKID=:b1 ORDER BY USERID,STATE"};

}  // namespace

int dbgApprovalGetSequenceForTrack(int mode, ApprovalRecord& approval, std::int32_t trackId) {
    return approvalC1.walk(mode, approval, {{1, trackId}});
}

int dbgApprovalDeleteForTrack(std::int32_t trackId) {
    return accessorModify("DELETE FROM APPROVALS WHERE TRACKID=:b1", {{1, trackId}});
}

BulkRows<ApprovalRecord>& dbgApprovalBulkForTrack() {
    static BulkRows<ApprovalRecord> bulk{approvalColumns, {"APPROVALS", "TRACKID", "USERID,STATE"},
                                         dbgApprovalGetSequenceForTrack};
    return bulk;
}

int dbgApprovalDeleteForTracks(std::span<const std::int32_t> trackIds) {
    return accessorModifyIds("DELETE FROM APPROVALS WHERE TRACKID IN LIST(:b1)", trackIds);
}

}  // namespace pelo
