#include "db/dbgFilesout.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<FilesoutRecord> filesoutColumns[] = {
    PELO_RECORD_COLUMN(FilesoutRecord, FILEID),
    PELO_RECORD_COLUMN(FilesoutRecord, VERSIONID),
    PELO_RECORD_COLUMN(FilesoutRecord, USERID),
    PELO_RECORD_COLUMN(FilesoutRecord, CHECKOUTDATE),
    PELO_RECORD_COLUMN(FilesoutRecord, NEWSID),
};

CursorStatement<FilesoutRecord> filesoutC1{filesoutColumns, "FILESOUT", "ORDER BY FILEID,VERSIONID,USERID"};

}  // namespace

int dbgFilesoutGetAll(int mode, FilesoutRecord& filesout) {
    return filesoutC1.walk(mode, filesout, {});
}

}  // namespace pelo
