// The one container of the utility: items in insertion order with one read
// cursor, so a loop over a list rewinds it and then gets items until the end.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <list>
#include <utility>

namespace pelo {

/// An ordered list that owns its items and carries one read cursor.
///
/// Reading pattern: listRewind(), then listGet() while !listEnd().  There is
/// one cursor per list, so a list cannot be read by two nested loops.
/// listInsert adds at the front and listAppend at the back; neither moves
/// the cursor, so a list read to its end stays at the end after an append.
/// Compare functions take (key, item) and return 0 for equal, like strcmp.
template <class T>
class List {
public:
    List() = default;
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    // A moved list starts with its cursor at the end: std::list does not
    // carry its end iterator across a move.
    List(List&& other) noexcept : items_(std::move(other.items_)) { other.listInit(); }
    List& operator=(List&& other) noexcept {
        items_ = std::move(other.items_);
        cursor_ = items_.end();
        other.listInit();
        return *this;
    }

    /// Empties the list without releasing through any function.
    void listInit() { items_.clear(); cursor_ = items_.end(); }

    /// 1 when the cursor has run past the last item (or was never rewound).
    int listEnd() const { return cursor_ == items_.end() ? 1 : 0; }

    int listSize() const { return static_cast<int>(items_.size()); }

    /// Puts the cursor on the first item; on an empty list listEnd() is 1.
    void listRewind() { cursor_ = items_.begin(); }

    /// The item under the cursor; the cursor moves on.  Not at the end.
    T& listGet() { return *cursor_++; }

    void listInsert(T item) { items_.push_front(std::move(item)); }

    void listAppend(T item) { items_.push_back(std::move(item)); }

    /// Rewinds and looks for the first item with compare(key, item) == 0.
    /// Returns 1 with the cursor just after that item, else 0 at the end.
    template <class Key, class Compare>
    int listSearch(const Key& key, Compare compare) {
        for (listRewind(); !listEnd();)
            if (compare(key, listGet()) == 0)
                return 1;
        return 0;
    }

    /// Appends unless an equal item is already there; a rejected item is
    /// dropped.  Returns 1 when appended.
    template <class Compare>
    int listAppendUnique(T item, Compare compare) {
        if (listSearch(item, compare))
            return 0;
        listAppend(std::move(item));
        return 1;
    }

    /// Visits every item in order; stops and returns 1 at the first visit
    /// that returns non-zero, else 0.
    template <class Visit>
    int listTraverse(Visit visit) {
        for (listRewind(); !listEnd();)
            if (visit(listGet()) != 0)
                return 1;
        return 0;
    }

    /// Releases every item: the last one first, then the first onward to
    /// the one before the last.  The list is empty afterwards and the cursor
    /// at the end.
    void listFreeItems() { listFreeItems([](T&) {}); }

    template <class Release>
    void listFreeItems(Release release) {
        if (!items_.empty()) {
            release(items_.back());
            for (auto it = items_.begin(); it != std::prev(items_.end()); ++it)
                release(*it);
        }
        listInit();
    }

    // Plain iteration for code that does not need the shared cursor.
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::list<T> items_;
    typename std::list<T>::iterator cursor_ = items_.end();
};

}  // namespace pelo
