#include "db/dbgUser.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<UserRecord> userColumns[] = {
    PELO_RECORD_COLUMN(UserRecord, ID),
    PELO_RECORD_COLUMN(UserRecord, LOGIN),
    PELO_RECORD_COLUMN(UserRecord, NAME),
    PELO_RECORD_COLUMN(UserRecord, SUPERUSER),
    PELO_RECORD_COLUMN(UserRecord, AREA),
    PELO_RECORD_COLUMN(UserRecord, ADDRESS),
    PELO_RECORD_COLUMN(UserRecord, ADDDATE),
    PELO_RECORD_COLUMN(UserRecord, DROPDATE),
    PELO_RECORD_COLUMN(UserRecord, LASTUPDATE),
};

const GetStatement<UserRecord> userGetById{userColumns, "USERS", "ID=:b1"};

}  // namespace

int dbgUserGetById(UserRecord& user, std::int32_t id) {
    return userGetById.get(user, {{1, id}});
}

BulkRows<UserRecord>& dbgUserBulkById() {
    static BulkRows<UserRecord> bulk{userColumns, {"USERS", "ID"}, dbgUserGetById};
    return bulk;
}

}  // namespace pelo
