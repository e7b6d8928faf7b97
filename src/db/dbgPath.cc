#include "db/dbgPath.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<PathRecord> pathColumns[] = {
    PELO_RECORD_COLUMN(PathRecord, ID),
    PELO_RECORD_COLUMN(PathRecord, NAME),
};

const GetStatement<PathRecord> pathGetById{pathColumns, "PATH", "ID=:b1"};

}  // namespace

int dbgPathGetById(PathRecord& path, std::int32_t id) {
    return pathGetById.get(path, {{1, id}});
}

int dbgPathDeleteById(std::int32_t id) {
    return accessorModify("DELETE FROM PATH WHERE ID=:b1", {{1, id}});
}

BulkRows<PathRecord>& dbgPathBulkById() {
    static BulkRows<PathRecord> bulk{pathColumns, {"PATH", "ID"}, dbgPathGetById};
    return bulk;
}

int dbgPathDeleteByIds(std::span<const std::int32_t> ids) {
    return accessorModifyIds("DELETE FROM PATH WHERE ID IN LIST(:b1)", ids);
}

}  // namespace pelo
