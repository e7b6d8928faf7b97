#include "db/dbgLevelmemberview.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<LevelMemberViewRecord> memberColumns[] = {
    PELO_RECORD_COLUMN(LevelMemberViewRecord, LEVELID),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, TRACKID),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, LEVELNAME),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, RELEASENAME),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, TRACKUSERLOGIN),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, TRACKUSERNAME),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, TRACKUSERAREA),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, DEFECTPREFIX),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, DEFECTNAME),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, DEFECTREFERENCE),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, DEFECTABSTRACT),
    PELO_RECORD_COLUMN(LevelMemberViewRecord, DEFECTTYPE),
};

CursorStatement<LevelMemberViewRecord> levelmemberviewC1{memberColumns, "LEVELMEMBERVIEW",
                                                         "TRACKID=:b1 ORDER BY LEVELID"};

}  // namespace

int dbgLevelmemberviewListForTrack(int mode, LevelMemberViewRecord& member, std::int32_t trackId) {
    return levelmemberviewC1.walk(mode, member, {{1, trackId}});
}

}  // namespace pelo
