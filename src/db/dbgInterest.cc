#include "db/dbgInterest.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<InterestRecord> interestColumns[] = {
    PELO_RECORD_COLUMN(InterestRecord, NAME),
    PELO_RECORD_COLUMN(InterestRecord, ACTION),
};

CursorStatement<InterestRecord> interestC1{interestColumns, "INTEREST", "ORDER BY NAME,ACTION"};

}  // namespace

int dbgInterestGetList(int mode, InterestRecord& interest) {
    return interestC1.walk(mode, interest, {});
}

}  // namespace pelo
