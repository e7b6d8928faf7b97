#include "db/dbgHistory.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<HistoryRecord> historyColumns[] = {
    PELO_RECORD_COLUMN(HistoryRecord, DEFECTID),
    PELO_RECORD_COLUMN(HistoryRecord, USERID),
    PELO_RECORD_COLUMN(HistoryRecord, ACTION),
    PELO_RECORD_COLUMN(HistoryRecord, ADDDATE),
};

CursorStatement<HistoryRecord> historyC1{historyColumns, "HISTORY", "DEFECTID=:b1 ORDER BY ADDDATE,USERID,ACTION"};

}  // namespace

int dbgHistoryGetList(int mode, HistoryRecord& history, std::int32_t defectId) {
    return historyC1.walk(mode, history, {{1, defectId}});
}

int dbgHistoryDeleteForDefect(std::int32_t defectId) {
    return accessorModify("DELETE FROM HISTORY WHERE DEFECTID=:b1", {{1, defectId}});
}

BulkRows<HistoryRecord>& dbgHistoryBulkForDefect() {
    static BulkRows<HistoryRecord> bulk{historyColumns, {"HISTORY", "DEFECTID", "ADDDATE,USERID,ACTION"},
                                        dbgHistoryGetList};
    return bulk;
}

int dbgHistoryDeleteForDefects(std::span<const std::int32_t> defectIds) {
    return accessorModifyIds("DELETE FROM HISTORY WHERE DEFECTID IN LIST(:b1)", defectIds);
}

}  // namespace pelo
