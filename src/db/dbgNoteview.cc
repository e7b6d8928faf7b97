#include "db/dbgNoteview.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<NoteViewRecord> noteViewColumns[] = {
    PELO_RECORD_COLUMN(NoteViewRecord, DEFECTID),
    PELO_RECORD_COLUMN(NoteViewRecord, USERID),
    PELO_RECORD_COLUMN(NoteViewRecord, ACTION),
    PELO_RECORD_COLUMN(NoteViewRecord, REMARKS),
    PELO_RECORD_COLUMN(NoteViewRecord, ADDDATE),
    PELO_RECORD_COLUMN(NoteViewRecord, DEFECTPREFIX),
    PELO_RECORD_COLUMN(NoteViewRecord, DEFECTNAME),
    PELO_RECORD_COLUMN(NoteViewRecord, DEFECTREFERENCE),
    PELO_RECORD_COLUMN(NoteViewRecord, USERLOGIN),
    PELO_RECORD_COLUMN(NoteViewRecord, USERNAME),
    PELO_RECORD_COLUMN(NoteViewRecord, USERAREA),
};

CursorStatement<NoteViewRecord> noteviewC1{noteViewColumns, "NOTEVIEW",
                                           "DEFECTID=:b1 ORDER BY ADDDATE ASC,USERID,ACTION"};

}  // namespace

int dbgNoteviewGet(int mode, NoteViewRecord& note, std::int32_t defectId) {
    return noteviewC1.walk(mode, note, {{1, defectId}});
}

BulkRows<NoteViewRecord>& dbgNoteviewBulkForDefect() {
    static BulkRows<NoteViewRecord> bulk{noteViewColumns, {"NOTEVIEW", "DEFECTID", "ADDDATE ASC,USERID,ACTION"},
                                         dbgNoteviewGet};
    return bulk;
}

}  // namespace pelo
