#include "db/dbgEnv.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<EnvironmentRecord> environmentColumns[] = {
    PELO_RECORD_COLUMN(EnvironmentRecord, NAME),
    PELO_RECORD_COLUMN(EnvironmentRecord, RELEASEID),
    PELO_RECORD_COLUMN(EnvironmentRecord, USERID),
};

CursorStatement<EnvironmentRecord> envC1{environmentColumns, "ENVIRONMENTS", "RELEASEID=:b1 ORDER BY NAME"};

}  // namespace

int dbgEnvGetAllForRelease(int mode, EnvironmentRecord& environment, std::int32_t releaseId) {
    return envC1.walk(mode, environment, {{1, releaseId}});
}

int dbgEnvDeleteForRelease(std::int32_t releaseId) {
    return accessorModify("DELETE FROM ENVIRONMENTS WHERE RELEASEID=:b1", {{1, releaseId}});
}

}  // namespace pelo
