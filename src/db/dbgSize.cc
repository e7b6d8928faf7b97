#include "db/dbgSize.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<SizeRecord> sizeColumns[] = {
    PELO_RECORD_COLUMN(SizeRecord, DEFECTID),
    PELO_RECORD_COLUMN(SizeRecord, COMPID),
    PELO_RECORD_COLUMN(SizeRecord, USERID),
    PELO_RECORD_COLUMN(SizeRecord, ADDDATE),
    PELO_RECORD_COLUMN(SizeRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(SizeRecord, STATE),
    PELO_RECORD_COLUMN(SizeRecord, SIZING),
    PELO_RECORD_COLUMN(SizeRecord, RELEASEID),
};

CursorStatement<SizeRecord> sizeC1{sizeColumns, "SIZES", "RELEASEID=:b1 AND DEFECTID=:b2 ORDER BY COMPID,USERID"};

}  // namespace

int dbgSizeGetSequenceForDefect(int mode, SizeRecord& size, std::int32_t releaseId,
                                std::int32_t defectId) {
    return sizeC1.walk(mode, size, {{1, releaseId}, {2, defectId}});
}

int dbgSizeExistsForReleaseInStates(std::int32_t releaseId) {
    return accessorExists(
        "SELECT COUNT(*)INTO :b1 FROM SIZES WHERE RELEASEID=:b2 AND STATE IN('ready','notReady')",
        {{2, releaseId}});
}

int dbgSizeExistsAcceptRejectForDefect(std::int32_t releaseId, std::int32_t defectId) {
    return accessorExists(
        "SELECT COUNT(*)INTO :b1 FROM SIZES WHERE RELEASEID=:b2 AND DEFECTID=:b3 AND STATE IN('accept','reject')",
        {{2, releaseId}, {3, defectId}});
}

int dbgSizeExistsForDefect(std::int32_t defectId) {
    return accessorExists("SELECT COUNT(*)INTO :b1 FROM SIZES WHERE DEFECTID=:b2", {{2, defectId}});
}

int dbgSizeDeleteAll(std::int32_t defectId) {
    return accessorModify("DELETE FROM SIZES WHERE DEFECTID=:b1", {{1, defectId}});
}

int dbgSizeDeleteByRelDef(std::int32_t releaseId, std::int32_t defectId) {
    return accessorModify("DELETE FROM SIZES WHERE RELEASEID=:b1 AND DEFECTID=:b2",
                          {{1, releaseId}, {2, defectId}});
}

BulkRows<SizeRecord>& dbgSizeBulkForDefect() {
    static BulkRows<SizeRecord> bulk{sizeColumns, {"SIZES", "DEFECTID", "RELEASEID,COMPID,USERID"},
                                     BulkRows<SizeRecord>::Walk{}};
    return bulk;
}

std::unordered_set<std::int32_t> dbgSizeExistsForDefects(std::span<const std::int32_t> defectIds) {
    return accessorExistsByKey("SELECT DEFECTID,COUNT(*) FROM SIZES WHERE DEFECTID IN LIST(:b1) GROUP BY DEFECTID",
                               defectIds);
}

int dbgSizeDeleteAllForDefects(std::span<const std::int32_t> defectIds) {
    return accessorModifyIds("DELETE FROM SIZES WHERE DEFECTID IN LIST(:b1)", defectIds);
}

int dbgSizeDeleteByRelDefs(std::int32_t releaseId, std::span<const std::int32_t> defectIds) {
    if (defectIds.empty())
        return 0;
    const std::string list = sqlIdList(defectIds);
    return accessorModify("DELETE FROM SIZES WHERE RELEASEID=:b1 AND DEFECTID IN LIST(:b2)",
                          {{1, releaseId}, {2, std::string_view(list)}});
}

}  // namespace pelo
