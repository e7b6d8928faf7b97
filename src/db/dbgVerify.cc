#include "db/dbgVerify.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<VerifyRecord> verifyColumns[] = {
    PELO_RECORD_COLUMN(VerifyRecord, DEFECTID),
    PELO_RECORD_COLUMN(VerifyRecord, USERID),
    PELO_RECORD_COLUMN(VerifyRecord, TYPE),
    PELO_RECORD_COLUMN(VerifyRecord, STATE),
    PELO_RECORD_COLUMN(VerifyRecord, ADDDATE),
    PELO_RECORD_COLUMN(VerifyRecord, LASTUPDATE),
};

CursorStatement<VerifyRecord> verifyC1{verifyColumns, "VERIFY", "DEFECTID=:b1 ORDER BY USERID,TYPE"};

}  // namespace

int dbgVerifyGetList(int mode, VerifyRecord& verify, std::int32_t defectId) {
    return verifyC1.walk(mode, verify, {{1, defectId}});
}

int dbgVerifyExistsIncomplete(std::int32_t defectId) {
    return accessorExists(
        "SELECT COUNT(*)INTO :b1 FROM VERIFY WHERE DEFECTID=:b2 AND STATE NOT IN('accept','reject','abstain')",
        {{2, defectId}});
}

int dbgVerifyDelete(std::int32_t defectId) {
    return accessorModify("DELETE FROM VERIFY WHERE DEFECTID=:b1", {{1, defectId}});
}

BulkRows<VerifyRecord>& dbgVerifyBulkForDefect() {
    static BulkRows<VerifyRecord> bulk{verifyColumns, {"VERIFY", "DEFECTID", "USERID,TYPE"}, dbgVerifyGetList};
    return bulk;
}

std::unordered_set<std::int32_t> dbgVerifyExistsIncompleteForDefects(std::span<const std::int32_t> defectIds) {
    return accessorExistsByKey(
        "SELECT DEFECTID,COUNT(*) FROM VERIFY WHERE DEFECTID IN LIST(:b1) "
        "AND STATE NOT IN('accept','reject','abstain') GROUP BY DEFECTID",
        defectIds);
}

int dbgVerifyDeleteForDefects(std::span<const std::int32_t> defectIds) {
    return accessorModifyIds("DELETE FROM VERIFY WHERE DEFECTID IN LIST(:b1)", defectIds);
}

}  // namespace pelo
