#include "db/dbgNote.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<NoteRecord> noteColumns[] = {
    PELO_RECORD_COLUMN(NoteRecord, DEFECTID),
    PELO_RECORD_COLUMN(NoteRecord, USERID),
    PELO_RECORD_COLUMN(NoteRecord, ACTION),
    PELO_RECORD_COLUMN(NoteRecord, ADDDATE),
    PELO_RECORD_COLUMN(NoteRecord, REMARKS),
};

CursorStatement<NoteRecord> noteC1{noteColumns, "NOTES", "DEFECTID=:b1 ORDER BY ADDDATE,USERID,ACTION"};

}  // namespace

int dbgNoteGetList(int mode, NoteRecord& note, std::int32_t defectId) {
    return noteC1.walk(mode, note, {{1, defectId}});
}

std::int32_t dbgNoteCountAll(std::int32_t lowestDefectId) {
    return accessorCount("SELECT COUNT(*)INTO :b1 FROM NOTES WHERE DEFECTID>=:b2",
                         {{2, lowestDefectId}});
}

int dbgNoteDeleteForDefect(std::int32_t defectId) {
    return accessorModify("DELETE FROM NOTES WHERE DEFECTID=:b1", {{1, defectId}});
}

BulkRows<NoteRecord>& dbgNoteBulkForDefect() {
    static BulkRows<NoteRecord> bulk{noteColumns, {"NOTES", "DEFECTID", "ADDDATE,USERID,ACTION"}, dbgNoteGetList};
    return bulk;
}

int dbgNoteDeleteForDefects(std::span<const std::int32_t> defectIds) {
    return accessorModifyIds("DELETE FROM NOTES WHERE DEFECTID IN LIST(:b1)", defectIds);
}

}  // namespace pelo
