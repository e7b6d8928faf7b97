#include "db/dbgComp.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ComponentRecord> componentColumns[] = {
    PELO_RECORD_COLUMN(ComponentRecord, ID),
    PELO_RECORD_COLUMN(ComponentRecord, NAME),
    PELO_RECORD_COLUMN(ComponentRecord, USERID),
    PELO_RECORD_COLUMN(ComponentRecord, DESCRIPTION),
    PELO_RECORD_COLUMN(ComponentRecord, ADDDATE),
    PELO_RECORD_COLUMN(ComponentRecord, DROPDATE),
    PELO_RECORD_COLUMN(ComponentRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(ComponentRecord, PROCESS),
    PELO_RECORD_COLUMN(ComponentRecord, FEATUREDSR),
    PELO_RECORD_COLUMN(ComponentRecord, FEATUREVERIFY),
    PELO_RECORD_COLUMN(ComponentRecord, DEFECTDSR),
    PELO_RECORD_COLUMN(ComponentRecord, DEFECTVERIFY),
};

const GetStatement<ComponentRecord> compGetById{componentColumns, "COMPONENTS", "ID=:b1"};

}  // namespace

int dbgCompGetById(ComponentRecord& component, std::int32_t id) {
    return compGetById.get(component, {{1, id}});
}

BulkRows<ComponentRecord>& dbgCompBulkById() {
    static BulkRows<ComponentRecord> bulk{componentColumns, {"COMPONENTS", "ID"}, dbgCompGetById};
    return bulk;
}

}  // namespace pelo
