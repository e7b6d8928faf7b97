#include "db/dbgTest.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<TestRecord> testColumns[] = {
    PELO_RECORD_COLUMN(TestRecord, TRACKID),
    PELO_RECORD_COLUMN(TestRecord, ENVNAME),
    PELO_RECORD_COLUMN(TestRecord, USERID),
    PELO_RECORD_COLUMN(TestRecord, STATE),
    PELO_RECORD_COLUMN(TestRecord, ADDDATE),
    PELO_RECORD_COLUMN(TestRecord, LASTUPDATE),
};

CursorStatement<TestRecord> testC1{testColumns, "TESTS", "TRACKID=:b1 ORDER BY ENVNAME,USERID"};

}  // namespace

int dbgTestGetListForTrack(int mode, TestRecord& test, std::int32_t trackId) {
    return testC1.walk(mode, test, {{1, trackId}});
}

int dbgTestFreeAll(std::int32_t trackId) {
    return accessorModify("DELETE FROM TESTS WHERE TRACKID=:b1", {{1, trackId}});
}

BulkRows<TestRecord>& dbgTestBulkForTrack() {
    static BulkRows<TestRecord> bulk{testColumns, {"TESTS", "TRACKID", "ENVNAME,USERID"}, dbgTestGetListForTrack};
    return bulk;
}

int dbgTestFreeAllForTracks(std::span<const std::int32_t> trackIds) {
    return accessorModifyIds("DELETE FROM TESTS WHERE TRACKID IN LIST(:b1)", trackIds);
}

}  // namespace pelo
