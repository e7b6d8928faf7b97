#include "db/dbgRelease.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ReleaseRecord> releaseColumns[] = {
    PELO_RECORD_COLUMN(ReleaseRecord, ID),
    PELO_RECORD_COLUMN(ReleaseRecord, NAME),
    PELO_RECORD_COLUMN(ReleaseRecord, COMPID),
    PELO_RECORD_COLUMN(ReleaseRecord, BINDING),
    PELO_RECORD_COLUMN(ReleaseRecord, DESCRIPTION),
    PELO_RECORD_COLUMN(ReleaseRecord, USERID),
    PELO_RECORD_COLUMN(ReleaseRecord, ADDDATE),
    PELO_RECORD_COLUMN(ReleaseRecord, DROPDATE),
    PELO_RECORD_COLUMN(ReleaseRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(ReleaseRecord, RELSIZE),
    PELO_RECORD_COLUMN(ReleaseRecord, PROCESS),
    PELO_RECORD_COLUMN(ReleaseRecord, TRACK),
    PELO_RECORD_COLUMN(ReleaseRecord, APPROVE),
    PELO_RECORD_COLUMN(ReleaseRecord, FIX),
    PELO_RECORD_COLUMN(ReleaseRecord, LVL),
    PELO_RECORD_COLUMN(ReleaseRecord, TEST),
};

const GetStatement<ReleaseRecord> releaseGetByName{releaseColumns, "RELEASES", "NAME=:b2"};
const GetStatement<ReleaseRecord> releaseGetById{releaseColumns, "RELEASES", "ID=:b1"};

}  // namespace

int dbgReleaseGetByName(ReleaseRecord& release, std::string_view name) {
    return releaseGetByName.get(release, {{2, textKey(name, &ReleaseRecord::NAME, "NAME")}});
}

int dbgReleaseGetById(ReleaseRecord& release, std::int32_t id) {
    return releaseGetById.get(release, {{1, id}});
}

int dbgReleaseExists(std::string_view name) {
    return accessorExists("SELECT COUNT(*)INTO :b1 FROM RELEASES WHERE NAME=:b2",
                          {{2, textKey(name, &ReleaseRecord::NAME, "NAME")}});
}

int dbgReleaseDeleteById(std::int32_t id) {
    return accessorModify("DELETE FROM RELEASES WHERE ID=:b1", {{1, id}});
}

}  // namespace pelo
