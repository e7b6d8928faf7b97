#include "db/dbgApprover.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ApproverRecord> approverColumns[] = {
    PELO_RECORD_COLUMN(ApproverRecord, RELEASEID),
    PELO_RECORD_COLUMN(ApproverRecord, USERID),
};

CursorStatement<ApproverRecord> approverC1{approverColumns, "APPROVERS", "RELEASEID=:b1 ORDER BY USERID"};

}  // namespace

int dbgApproverGetForRelease(int mode, ApproverRecord& approver, std::int32_t releaseId) {
    return approverC1.walk(mode, approver, {{1, releaseId}});
}

int dbgApproverDeleteForRelease(std::int32_t releaseId) {
    return accessorModify("DELETE FROM APPROVERS WHERE RELEASEID=:b1", {{1, releaseId}});
}

}  // namespace pelo
