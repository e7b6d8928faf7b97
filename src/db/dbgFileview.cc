#include "db/dbgFileview.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<FileViewRecord> fileViewColumns[] = {
    PELO_RECORD_COLUMN(FileViewRecord, ID),
    PELO_RECORD_COLUMN(FileViewRecord, COMPID),
    PELO_RECORD_COLUMN(FileViewRecord, SOURCEID),
    PELO_RECORD_COLUMN(FileViewRecord, PATHID),
    PELO_RECORD_COLUMN(FileViewRecord, NUPATHID),
    PELO_RECORD_COLUMN(FileViewRecord, VERSIONID),
    PELO_RECORD_COLUMN(FileViewRecord, NUVERSIONID),
    PELO_RECORD_COLUMN(FileViewRecord, ADDDATE),
    PELO_RECORD_COLUMN(FileViewRecord, NUADDDATE),
    PELO_RECORD_COLUMN(FileViewRecord, DROPDATE),
    PELO_RECORD_COLUMN(FileViewRecord, NUDROPDATE),
    PELO_RECORD_COLUMN(FileViewRecord, LASTUPDATE),
    PELO_RECORD_COLUMN(FileViewRecord, BASENAME),
    PELO_RECORD_COLUMN(FileViewRecord, TYPE),
    PELO_RECORD_COLUMN(FileViewRecord, RELEASEID),
    PELO_RECORD_COLUMN(FileViewRecord, USERLOGIN),
    PELO_RECORD_COLUMN(FileViewRecord, FMODE),
    PELO_RECORD_COLUMN(FileViewRecord, COMPNAME),
    PELO_RECORD_COLUMN(FileViewRecord, VERSIONSID),
    PELO_RECORD_COLUMN(FileViewRecord, NUVERSIONSID),
    PELO_RECORD_COLUMN(FileViewRecord, PATHNAME),
    PELO_RECORD_COLUMN(FileViewRecord, NUPATHNAME),
    PELO_RECORD_COLUMN(FileViewRecord, RELEASENAME),
};

const GetStatement<FileViewRecord> fileviewGetById{fileViewColumns, "FILEVIEW", "ID=:b1"};
CursorStatement<FileViewRecord> fileviewC1{fileViewColumns, "FILEVIEW", "RELEASEID=:b1 ORDER BY ID"};

}  // namespace

int dbgFileviewGetById(FileViewRecord& fileView, std::int32_t id) {
    return fileviewGetById.get(fileView, {{1, id}});
}

int dbgFileviewGetAllByRelease(int mode, FileViewRecord& fileView, std::int32_t releaseId) {
    return fileviewC1.walk(mode, fileView, {{1, releaseId}});
}

}  // namespace pelo
