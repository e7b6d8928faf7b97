#include "db/dbgCompmember.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<CompMemberRecord> compMemberColumns[] = {
    PELO_RECORD_COLUMN(CompMemberRecord, PARENTID),
    PELO_RECORD_COLUMN(CompMemberRecord, CHILDID),
    PELO_RECORD_COLUMN(CompMemberRecord, RANK),
    PELO_RECORD_COLUMN(CompMemberRecord, REFERENCE),
};

CursorStatement<CompMemberRecord> compmemberC1{compMemberColumns, "COMPMEMBERS", "CHILDID=:b1 ORDER BY PARENTID,RANK"};
CursorStatement<CompMemberRecord> compmemberC2{compMemberColumns, "COMPMEMBERS", "CHILDID=:b1 ORDER BY PARENTID,RANK"};

}  // namespace

int dbgCompmemberGetAllParents(int mode, CompMemberRecord& compMember, std::int32_t childId) {
    return compmemberC1.walk(mode, compMember, {{1, childId}});
}

int dbgCompmemberGetAllParents2(int mode, CompMemberRecord& compMember, std::int32_t childId) {
    return compmemberC2.walk(mode, compMember, {{1, childId}});
}

BulkRows<CompMemberRecord>& dbgCompmemberBulkForChild() {
    static BulkRows<CompMemberRecord> bulk{compMemberColumns, {"COMPMEMBERS", "CHILDID", "PARENTID,RANK"},
                                           dbgCompmemberGetAllParents};
    return bulk;
}

BulkRows<CompMemberRecord>& dbgCompmemberBulkForChild2() {
    static BulkRows<CompMemberRecord> bulk{compMemberColumns, {"COMPMEMBERS", "CHILDID", "PARENTID,RANK"},
                                           dbgCompmemberGetAllParents2};
    return bulk;
}

}  // namespace pelo
