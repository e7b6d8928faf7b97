#include "db/dbgHost.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<HostRecord> hostColumns[] = {
    PELO_RECORD_COLUMN(HostRecord, USERID),
    PELO_RECORD_COLUMN(HostRecord, NAME),
    PELO_RECORD_COLUMN(HostRecord, LOGIN),
    PELO_RECORD_COLUMN(HostRecord, ADDRESS),
};

CursorStatement<HostRecord> hostC1{hostColumns, "HOSTS", "USERID=:b1 ORDER BY NAME,LOGIN"};

}  // namespace

int dbgHostGetList(int mode, HostRecord& host, std::int32_t userId) {
    return hostC1.walk(mode, host, {{1, userId}});
}

BulkRows<HostRecord>& dbgHostBulkForUser() {
    static BulkRows<HostRecord> bulk{hostColumns, {"HOSTS", "USERID", "NAME,LOGIN"}, dbgHostGetList};
    return bulk;
}

}  // namespace pelo
