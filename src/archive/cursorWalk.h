// Walking a cursor accessor from the archive phases: one loop over the
// open, fetch and close modes of db/accessor.h, for every phase that hands
// the rows of a walk to a routine of its own.
#pragma once

#include <type_traits>

#include "db/accessor.h"

namespace pelo {

/// Hands every row of a cursor accessor's walk (keys after the record) to
/// visit, in cursor order, and returns how many there were.  The record is
/// zeroed before the first fetch.  A visit that returns true stops the
/// walk, which is closed so that the accessor can be walked again; one that
/// returns nothing sees every row, and the walk closes itself after its
/// last row.
template <class Record, class... Keys, class Visit>
int forEachRow(int (*walk)(int, Record&, Keys...), Visit visit, std::type_identity_t<Keys>... keys) {
    Record record{};
    int rows = 0;
    walk(cursorOpen, record, keys...);
    while (walk(cursorFetch, record, keys...) == 0) {
        ++rows;
        if constexpr (std::is_same_v<decltype(visit(record)), bool>) {
            if (visit(record)) {
                walk(cursorClose, record, keys...);
                break;
            }
        } else {
            visit(record);
        }
    }
    return rows;
}

}  // namespace pelo
