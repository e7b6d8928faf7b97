#include "db/dbgSequence.h"

#include "db/accessor.h"

namespace pelo {

namespace {

constexpr RecordColumn<SequenceRecord> sequenceColumns[] = {
    PELO_RECORD_COLUMN(SequenceRecord, NAME),
    PELO_RECORD_COLUMN(SequenceRecord, LASTSERIAL),
};

const GetStatement<SequenceRecord> sequenceGetByName{sequenceColumns, "SEQUENCE", "NAME=:b1"};
CursorStatement<SequenceRecord> sequenceC1{sequenceColumns, "SEQUENCE", "ORDER BY NAME"};

}  // namespace

int dbgSequenceGetByName(SequenceRecord& sequence, std::string_view name) {
    return sequenceGetByName.get(sequence, {{1, textKey(name, &SequenceRecord::NAME, "NAME")}});
}

int dbgSequenceGetList(int mode, SequenceRecord& sequence) {
    return sequenceC1.walk(mode, sequence, {});
}

}  // namespace pelo
