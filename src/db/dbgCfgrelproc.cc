#include "db/dbgCfgrelproc.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<CfgRelProcRecord> relProcColumns[] = {
    PELO_RECORD_COLUMN(CfgRelProcRecord, NAME),
    PELO_RECORD_COLUMN(CfgRelProcRecord, CONFIG),
};

CursorStatement<CfgRelProcRecord> cfgrelprocC1{relProcColumns, "CFGRELPROC", "ORDER BY NAME,CONFIG"};

}  // namespace

int dbgRelProcGetAllList(int mode, CfgRelProcRecord& relProc) {
    return cfgrelprocC1.walk(mode, relProc, {});
}

}  // namespace pelo
