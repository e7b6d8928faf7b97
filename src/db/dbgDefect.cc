#include "db/dbgDefect.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<DefectRecord> defectColumns[] = {
    PELO_RECORD_COLUMN(DefectRecord, ID),
    PELO_RECORD_COLUMN(DefectRecord, TYPE),
    PELO_RECORD_COLUMN(DefectRecord, PREFIX),
    PELO_RECORD_COLUMN(DefectRecord, NAME),
    PELO_RECORD_COLUMN(DefectRecord, COMPID),
    PELO_RECORD_COLUMN(DefectRecord, ENVNAME),
    PELO_RECORD_COLUMN(DefectRecord, STATE),
    PELO_RECORD_COLUMN(DefectRecord, SEVERITY),
    PELO_RECORD_COLUMN(DefectRecord, ABSTRACT),
    PELO_RECORD_COLUMN(DefectRecord, REFERENCE),
    PELO_RECORD_COLUMN(DefectRecord, ANSWER),
    PELO_RECORD_COLUMN(DefectRecord, LEVELNAME),
    PELO_RECORD_COLUMN(DefectRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(DefectRecord, ADDDATE),
    PELO_RECORD_COLUMN(DefectRecord, ASSIGNDATE),
    PELO_RECORD_COLUMN(DefectRecord, RESPONSEDATE),
    PELO_RECORD_COLUMN(DefectRecord, ENDDATE),
    PELO_RECORD_COLUMN(DefectRecord, ORIGINID),
    PELO_RECORD_COLUMN(DefectRecord, OWNERID),
    PELO_RECORD_COLUMN(DefectRecord, AGE),
    PELO_RECORD_COLUMN(DefectRecord, DUPLICATE),
    PELO_RECORD_COLUMN(DefectRecord, RELEASEID),
};

const GetStatement<DefectRecord> defectGetById{defectColumns, "DEFECTS", "ID=:b1"};
CursorStatement<DefectRecord> defectC1{defectColumns, "DEFECTS",
                                       "ID>:b1 AND STATE IN('design','size','review') ORDER BY ID"};

}  // namespace

int dbgDefectGetById(DefectRecord& defect, std::int32_t id) {
    return defectGetById.get(defect, {{1, id}});
}

int dbgDefectGetListDSR(int mode, DefectRecord& defect, std::int32_t lowestId) {
    return defectC1.walk(mode, defect, {{1, lowestId}});
}

int dbgDefectDelete(std::int32_t id) {
    return accessorModify("DELETE FROM DEFECTS WHERE ID=:b1", {{1, id}});
}

int dbgDefectModifyReleaseId(std::int32_t newReleaseId, std::int32_t keepReleaseId) {
    return accessorModify(
        "UPDATE DEFECTS SET RELEASEID=:b1 WHERE RELEASEID!=:b2 AND RELEASEID NOT IN(SELECT ID FROM RELEASES)",
        {{1, newReleaseId}, {2, keepReleaseId}});
}

BulkRows<DefectRecord>& dbgDefectBulkById() {
    static BulkRows<DefectRecord> bulk{defectColumns, {"DEFECTS", "ID"}, dbgDefectGetById};
    return bulk;
}

int dbgDefectDeleteByIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("DELETE FROM DEFECTS WHERE ID IN LIST(:b1)", ids);
}

}  // namespace pelo
