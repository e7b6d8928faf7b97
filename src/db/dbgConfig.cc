#include "db/dbgConfig.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<ConfigRecord> configColumns[] = {
    PELO_RECORD_COLUMN(ConfigRecord, TYPE),
    PELO_RECORD_COLUMN(ConfigRecord, NAME),
    PELO_RECORD_COLUMN(ConfigRecord, DFLT),
    PELO_RECORD_COLUMN(ConfigRecord, VALUE1),
    PELO_RECORD_COLUMN(ConfigRecord, VALUE2),
    PELO_RECORD_COLUMN(ConfigRecord, DESCRIPTION),
};

CursorStatement<ConfigRecord> configC1{configColumns, "CONFIG", "ORDER BY TYPE,NAME"};

}  // namespace

int dbgConfigGetList(int mode, ConfigRecord& config) {
    return configC1.walk(mode, config, {});
}

}  // namespace pelo
