#include "db/dbgAuthority.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<AuthorityRecord> authorityColumns[] = {
    PELO_RECORD_COLUMN(AuthorityRecord, NAME),
    PELO_RECORD_COLUMN(AuthorityRecord, ACTION),
};

CursorStatement<AuthorityRecord> authorityC1{authorityColumns, "AUTHORITY", "ORDER BY NAME,ACTION"};

}  // namespace

int dbgAuthorityGetList(int mode, AuthorityRecord& authority) {
    return authorityC1.walk(mode, authority, {});
}

}  // namespace pelo
