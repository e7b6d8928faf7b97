// Lists whose items are found by a key: the items keep List's order and
// single cursor, and a hash index from each key to its item stands beside
// them, so "is this source already collected" or "where are this file's
// changes" costs the same for a family of ten files as for one of a
// hundred thousand.
#pragma once

#include <iterator>
#include <unordered_map>
#include <utility>

#include "support/list.h"

namespace pelo {

/// A List of items each held once per key, with a hash index by key.
///
/// KeyOf is a function object that gives an item's key; Key must be
/// hashable.  Reading is List's: listRewind(), then listGet() while
/// !listEnd(); listFind and listAppendUnique answer from the index and
/// never move the cursor, so a loop over the list may look keys up in it.
/// The caller must not change the key of an item it holds a reference to:
/// the index would no longer find it.  Items stay where they are for as
/// long as they are in the list, so a pointer from listFind stays valid
/// until the list is emptied.
template <class T, class Key, class KeyOf>
class KeyedList {
public:
    KeyedList() = default;
    KeyedList(const KeyedList&) = delete;
    KeyedList& operator=(const KeyedList&) = delete;
    KeyedList(KeyedList&&) noexcept = default;
    KeyedList& operator=(KeyedList&&) noexcept = default;

    void listInit() {
        items_.listInit();
        index_.clear();
    }

    int listEnd() const { return items_.listEnd(); }
    int listSize() const { return items_.listSize(); }
    void listRewind() { items_.listRewind(); }

    /// The item under the cursor; the cursor moves on.  Not at the end.
    T& listGet() { return items_.listGet(); }

    /// The item with the key, or null.
    T* listFind(const Key& key) {
        auto found = index_.find(key);
        return found == index_.end() ? nullptr : found->second;
    }
    const T* listFind(const Key& key) const {
        auto found = index_.find(key);
        return found == index_.end() ? nullptr : found->second;
    }

    /// Appends the item unless one with its key is there; a rejected item
    /// is dropped.  Returns 1 when appended.
    int listAppendUnique(T item) {
        const Key key = KeyOf{}(item);
        if (index_.contains(key))
            return 0;
        items_.listAppend(std::move(item));
        index_.emplace(key, &*std::prev(items_.end()));
        return 1;
    }

    /// The item with the item's key, appended first when there is none.
    T& listFindOrAppend(T item) {
        if (T* found = listFind(KeyOf{}(item)))
            return *found;
        listAppendUnique(std::move(item));
        return *std::prev(items_.end());
    }

    /// Empties the list and its index.
    void listFreeItems() { listInit(); }

    // Plain iteration for code that does not need the shared cursor.
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    List<T> items_;
    std::unordered_map<Key, T*> index_;
};

}  // namespace pelo
