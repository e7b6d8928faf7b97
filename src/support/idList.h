// The id lists of an archive run: record ids in the order they were
// collected, read with the one cursor of List, and a hash index beside them
// so that "is this id already there" costs the same for a family of ten
// tracks as for one of a hundred thousand.
#pragma once

#include <unordered_set>

#include "support/list.h"

namespace pelo {

/// A List of record ids with a hash index of the ids it holds.
///
/// Reading is List's: listRewind(), then listGet() while !listEnd(); one
/// cursor, so no two nested loops over the same list.  listAppendUnique and
/// listContains answer from the index in constant time and never move the
/// cursor, so a loop over one list may look ids up in another, or in itself.
/// listAppend adds without looking, for the callers that know the id is new
/// or want a repeat kept; the index then still answers whether the id is
/// present.  listGet returns a copy: an id changed in place would no longer
/// match its index entry.
class IdList {
public:
    IdList() = default;
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;
    IdList(IdList&&) noexcept = default;
    IdList& operator=(IdList&&) noexcept = default;

    /// Empties the list and its index.
    void listInit() {
        ids_.listInit();
        index_.clear();
    }

    int listEnd() const { return ids_.listEnd(); }
    int listSize() const { return ids_.listSize(); }
    void listRewind() { ids_.listRewind(); }

    /// The id under the cursor; the cursor moves on.  Not at the end.
    int listGet() { return ids_.listGet(); }

    /// Adds the id at the back without looking for it first.
    void listAppend(int id) {
        ids_.listAppend(id);
        index_.insert(id);
    }

    /// Adds the id at the back unless the list holds it.  1 when added.
    int listAppendUnique(int id) {
        if (!index_.insert(id).second)
            return 0;
        ids_.listAppend(id);
        return 1;
    }

    /// 1 when the list holds the id, else 0.  The cursor is not moved.
    int listContains(int id) const { return index_.contains(id) ? 1 : 0; }

    /// Visits the ids in order; 1 at the first visit that returns non-zero.
    template <class Visit>
    int listTraverse(Visit visit) {
        return ids_.listTraverse([&](int id) { return visit(id); });
    }

    /// Empties the list; ids own no memory, so nothing is released.
    void listFreeItems() { listInit(); }

    // Plain iteration for code that does not need the shared cursor.
    auto begin() const { return ids_.begin(); }
    auto end() const { return ids_.end(); }

private:
    List<int> ids_;
    std::unordered_set<int> index_;
};

}  // namespace pelo
