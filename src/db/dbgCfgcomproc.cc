#include "db/dbgCfgcomproc.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<CfgComProcRecord> compProcColumns[] = {
    PELO_RECORD_COLUMN(CfgComProcRecord, NAME),
    PELO_RECORD_COLUMN(CfgComProcRecord, CONFIG),
};

CursorStatement<CfgComProcRecord> cfgcomprocC1{compProcColumns, "CFGCOMPROC", "ORDER BY NAME,CONFIG"};

}  // namespace

int dbgCompProcGetAllList(int mode, CfgComProcRecord& compProc) {
    return cfgcomprocC1.walk(mode, compProc, {});
}

}  // namespace pelo
