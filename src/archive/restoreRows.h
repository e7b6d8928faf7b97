// The rows of an archive's row copy put back into the family it came from.
//
// Only the tables a removal deletes from are put back: the rows of users,
// components, hosts and the configuration tables were copied for the
// archive's reader, never taken from the family, and stay as the family
// has them now.  Each copied row is looked up in the family by the key the
// row copy knows it by (copyKeyColumns): a row the family lacks is put
// back; one it holds as copied is left; one it holds with the two columns
// a removal changes in the rows it keeps set back (a defect moved to
// release 0, a version made a root) is set back; one it holds with any
// other difference is a conflict.
//
// The copy is read a table at a time in windows of a thousand rows, cut
// where the table's locating column (ID, or the id of the object the row
// belongs to) changes; each window's family rows come in one statement,
// and its new rows and set-backs go in one statement each, carried as a
// JSON array in one bound text, so a PostgreSQL family sees no statement
// per row.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace pelo {

/// What putting back the rows of one table does, or would do.
struct RestoredRows {
    std::string table;
    std::int64_t putBack = 0;
    std::int64_t setBack = 0;
};

/// What putting back the rows of a copy does, or would do.
struct RowRestore {
    std::vector<RestoredRows> tables;  ///< in the order they are put back
    std::int64_t conflicts = 0;        ///< each printed with message 1733
    /// "vc/" and the place of the history of each source whose versions
    /// come back: the histories a release archive's removal took.
    std::set<std::string> historyPlaces;
};

/// Compares every row of the copy at copyPath with the family (the open
/// session), printing each conflict; with write, puts the rows back and
/// sets back the changed columns in the session's transaction, which the
/// caller commits.  A caller writes only after a comparison found no
/// conflict.  0; 1 after message 1712 when the copy cannot be read, or
/// 1743 when a text of it cannot be carried.  A failing statement ends
/// the run through the database's fatal path.
int restoreRows(const std::string& copyPath, bool write, RowRestore& result);

}  // namespace pelo
