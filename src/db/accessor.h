// The five shapes of a record accessor, written once.  Each accessor module
// (dbg<Table>.cc) describes its record's columns in one table and declares
// one statement object per accessor; the accessor itself only binds its
// keys and calls the shape:
//
//   Get        GetStatement<R>::get       0 found and filled, 1 no row
//   Exists     accessorExists             1 when COUNT(*) is not 0, else 0
//   Count      accessorCount              the COUNT(*)
//   Delete     accessorModify             0, rows affected or not
//   Cursor     CursorStatement<R>::walk   0 a row or opened, 1 at the end
//
// Every shape sends a negative status to dbFatalError, so an accessor never
// returns a database error.  Get and cursor texts are composed from the
// record's column table, so a statement reads exactly the record's columns
// in its order; the composed text is the family's embedded-SQL text
// ("SELECT ID,NAME INTO :b1:i1,:b2:i2 FROM LEVELS WHERE ID=:b1").
//
// Not reentrant: statements and cursors are process-wide, as the one
// database session is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/client.h"
#include "db/records.h"

namespace pelo {

/// How one fetched column reaches one field of a record of type R.
template <class R>
struct RecordColumn {
    std::string_view name;  ///< the SQL column name, which is the field's name
    /// false when the value is longer than the field can hold
    bool (*copy)(R& record, const SqlRow& row, int column);
};

template <class R>
using RecordColumns = std::span<const RecordColumn<R>>;

namespace accessorDetail {

template <class T>
struct MemberOf;
template <class R, class F>
struct MemberOf<F R::*> {
    using Record = R;
    using Field = F;
};

/// Copies `value` into `field`, the field of a text column of `width`
/// characters (textField(width) bytes), and terminates it; the bytes after
/// the terminator are left alone.  false when the value has more than
/// `width` characters or more bytes than the field holds (text that is not
/// UTF-8), so the field holds only its start.
bool copyText(char* field, std::size_t width, const std::string& value);

template <auto Member>
bool copyColumn(typename MemberOf<decltype(Member)>::Record& record, const SqlRow& row,
                int column) {
    using Field = typename MemberOf<decltype(Member)>::Field;
    if constexpr (std::is_same_v<Field, std::int32_t>) {
        record.*Member = row.intAt(column);
        return true;
    } else {
        static_assert(std::is_array_v<Field> && std::is_same_v<std::remove_extent_t<Field>, char>,
                      "a record field is an int32_t or a char array");
        return copyText(record.*Member, textWidth(std::extent_v<Field>), row.textAt(column));
    }
}

/// "A,B,C": the column names of a record, joined for a select list.
template <class R>
std::string columnList(RecordColumns<R> columns) {
    std::string list;
    for (const RecordColumn<R>& column : columns) {
        if (!list.empty())
            list += ',';
        list += column.name;
    }
    return list;
}

/// Sets the status area to valueTooLongStatus naming the column and ends
/// the run through dbFatalError.
[[noreturn]] void valueTooLong(std::string_view column);

/// A value its field cannot hold ends the run: a cut value would be
/// archived short and then removed from the family whole.
template <class R>
void fillRecord(R& record, RecordColumns<R> columns, const SqlRow& row) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (!columns[i].copy(record, row, static_cast<int>(i)))
            valueTooLong(columns[i].name);
}

}  // namespace accessorDetail

/// The column entry for field FIELD of record type R, named after the field:
/// the SQL name and the field name cannot drift apart.
#define PELO_RECORD_COLUMN(R, FIELD) \
    ::pelo::RecordColumn<R> { #FIELD, &::pelo::accessorDetail::copyColumn<&R::FIELD> }

/// "SELECT <list> INTO :b1:i1,...,:bN:iN FROM <table> WHERE <condition>",
/// one output pair per column.
std::string getStatementText(std::string_view columnList, std::size_t columnCount,
                             std::string_view table, std::string_view condition);

/// "SELECT <list> FROM <table> WHERE <tail>", or without WHERE when the
/// tail is empty (the whole table is read).
std::string cursorStatementText(std::string_view columnList, std::string_view table,
                                std::string_view tail);

/// The text key as a statement carries it.  A key longer than `width`
/// characters (UTF-8 characters, as the servers count them; a key with more
/// bytes than textField(width) - 1 counts as longer too) cannot be carried
/// by its column: that is a caller's fault, so
/// the status area gets keyTooLongStatus and a text naming the column, and
/// the run ends through dbFatalError.
std::string_view textKey(std::string_view key, std::size_t width, std::string_view column);

/// textKey with the width taken from the record field of the key's column.
template <class R, std::size_t N>
std::string_view textKey(std::string_view key, char (R::*)[N], std::string_view column) {
    return textKey(key, textWidth(N), column);
}

/// Status of a text key too long for its column (the SQLite numbering's
/// "string or blob too big").
inline constexpr int keyTooLongStatus = -18;

/// Status of a fetched text longer than its column: a backend that does
/// not keep to a column's width (SQLite keeps to none) can deliver more
/// characters than the column and its field hold.
inline constexpr int valueTooLongStatus = -1406;

/// Exists: runs "SELECT COUNT(*)INTO :b1 FROM ..." and answers 1 when the
/// count is not 0, else 0.
int accessorExists(std::string_view text, SqlBinds keys);

/// Count: runs "SELECT COUNT(*)INTO :b1 FROM ..." and returns the count.
std::int32_t accessorCount(std::string_view text, SqlBinds keys);

/// Counts by key: runs "SELECT <key>,COUNT(*) FROM ... WHERE <key> IN
/// LIST(:b1) GROUP BY <key>" for the keys and returns each key's count; a
/// key without rows has no entry.
std::unordered_map<std::int32_t, std::int32_t> accessorCountsByKey(std::string_view text,
                                                                   std::span<const std::int32_t> keys);

/// Delete or Update: runs the statement and returns 0, whether or not a row
/// was affected.  The change lasts only once dbCommit runs.
int accessorModify(std::string_view text, SqlBinds keys);

/// Runs a single-row SELECT ... INTO.  0 with the row in `row`, 1 when no
/// row matches; more than one row is a failed statement (fatal).
int accessorGetRow(std::string_view text, SqlBinds keys, SqlRow& row);

/// A Get over every column of record type R.
template <class R>
class GetStatement {
public:
    GetStatement(RecordColumns<R> columns, std::string_view table, std::string_view condition)
        : columns_(columns),
          text_(getStatementText(accessorDetail::columnList(columns), columns.size(), table,
                                 condition)) {}

    /// 0 with the record filled; 1 when no row matches, the record untouched.
    int get(R& record, SqlBinds keys) const {
        SqlRow row;
        if (accessorGetRow(text_, keys, row) != 0)
            return 1;
        accessorDetail::fillRecord(record, columns_, row);
        return 0;
    }

private:
    RecordColumns<R> columns_;
    std::string text_;
};

/// The modes a cursor accessor takes, as its first argument.
inline constexpr int cursorOpen = 0;   ///< open the cursor, binding the keys
inline constexpr int cursorFetch = 1;  ///< the next row, opening first when closed
inline constexpr int cursorClose = 2;  ///< close the cursor, abandoning the walk

/// What one call of a walk did.
enum class WalkStep { opened, row, end };

/// The state machine of a cursor walk, over rows rather than records.
/// cursorOpen opens (binding the keys); cursorFetch fetches, opening first
/// when closed; cursorClose closes.  cursorOpen on an open cursor closes
/// it.  At the end of the rows the cursor closes itself, so a further
/// cursorFetch starts again.
class WalkCursor {
public:
    explicit WalkCursor(std::string text) : cursor_(std::move(text)) {}

    /// opened when a cursorOpen opened the cursor, row with `row` filled, end
    /// otherwise.
    WalkStep step(int mode, SqlBinds keys, SqlRow& row);

private:
    // The cursor's own open state is the walk's flag: it also turns false
    // when the session ends, since open cursors die with their session.
    SqlCursor cursor_;
};

/// A cursor walk over every column of record type R, one per accessor.
template <class R>
class CursorStatement {
public:
    CursorStatement(RecordColumns<R> columns, std::string_view table, std::string_view tail)
        : columns_(columns),
          cursor_(cursorStatementText(accessorDetail::columnList(columns), table, tail)) {}

    /// 0 when the cursor opened (cursorOpen) or a row was copied into the
    /// record (cursorFetch); 1 at the end of the rows or after a close, the
    /// record untouched.  Keys count only when the call opens the cursor.
    int walk(int mode, R& record, SqlBinds keys) {
        SqlRow row;
        switch (cursor_.step(mode, keys, row)) {
        case WalkStep::row:
            accessorDetail::fillRecord(record, columns_, row);
            return 0;
        case WalkStep::opened:
            return 0;
        case WalkStep::end:
            break;
        }
        return 1;
    }

private:
    RecordColumns<R> columns_;
    WalkCursor cursor_;
};

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

/// The rows of many keys read with one statement, held in memory by key.
/// The statement's last column is the key, and its rows come ordered by
/// the key first, so each key's rows lie together in the order the rest of
/// the ORDER BY gives them.
class RowGroups {
public:
    /// `byLoadKey`: the rows are held by the keys the load lists, so a key
    /// the load listed is held with no rows when it has none; otherwise by
    /// another column, and only a key that some row carries is held.
    RowGroups(std::string text, bool byLoadKey) : cursor_(std::move(text)), byLoadKey_(byLoadKey) {}

    /// Reads the rows of every key of `keys`, in place of those held.
    void load(std::span<const std::int32_t> keys);
    /// Forgets every row.
    void clear();
    /// Whether the last load read the rows of `key` (none at all, maybe).
    bool holds(std::int32_t key) const { return byLoadKey_ ? loaded_.contains(key) : groups_.contains(key); }
    /// The rows of a held key, in order.
    std::span<const SqlRow> rows(std::int32_t key) const;

private:
    SqlCursor cursor_;
    std::vector<SqlRow> rows_;
    std::unordered_map<std::int32_t, std::pair<std::size_t, std::size_t>> groups_;  ///< [first, last)
    std::unordered_set<std::int32_t> loaded_;
    bool byLoadKey_;
};

/// "SELECT <list>,<key> FROM <table> WHERE <load> IN LIST(:b1) ORDER BY
/// <key>[,<order>]": the text of a bulk read.
std::string bulkStatementText(std::string_view columnList, std::string_view table, std::string_view key,
                              std::string_view load, std::string_view order);

/// Where a bulk read finds its rows: the key they are held by, the order
/// of one key's rows after it, and the column the loaded list matches (the
/// key when empty).  Rows loaded by another column than their key answer
/// only for the keys they carry; any other key is read one at a time.
struct BulkText {
    std::string_view table;
    std::string_view key;
    std::string_view order = {};
    std::string_view load = {};
};

/// A walk's reads of many objects at once: the records of a list of keys,
/// read in one statement, and handed out as the single-key accessor would
/// hand them out, by a get or by a walk over the key's rows.  A key no load
/// took is read through that accessor, so a walk that loads ahead gives the
/// same rows whether or not the load covered the key.
template <class R>
class BulkRows {
public:
    using Walk = int (*)(int, R&, std::int32_t);
    using Get = int (*)(R&, std::int32_t);

    BulkRows(RecordColumns<R> columns, BulkText text, Walk walk) : BulkRows(columns, text) { walk_ = walk; }
    BulkRows(RecordColumns<R> columns, BulkText text, Get get) : BulkRows(columns, text) { get_ = get; }

    void load(std::span<const std::int32_t> keys) { groups_.load(keys); }
    void clear() { groups_.clear(); }
    bool holds(std::int32_t key) const { return groups_.holds(key); }

    /// The key's rows to visit, as forEachRow hands out those of the
    /// single walk; the number visited.
    template <class Visit>
    int forEach(std::int32_t key, Visit visit) {
        if (!holds(key))
            return forEachRow(walk_, visit, key);
        return forEachHeld(key, visit);
    }

    /// forEach over a key the last load read.
    template <class Visit>
    int forEachHeld(std::int32_t key, Visit visit) const {
        R record{};
        int rows = 0;
        for (const SqlRow& row : groups_.rows(key)) {
            accessorDetail::fillRecord(record, columns_, row);
            ++rows;
            if constexpr (std::is_same_v<decltype(visit(record)), bool>) {
                if (visit(record))
                    break;
            } else {
                visit(record);
            }
        }
        return rows;
    }

    /// 0 with the key's record filled; 1 when it has none, the record untouched.
    int get(R& record, std::int32_t key) {
        if (!holds(key))
            return get_(record, key);
        const std::span<const SqlRow> rows = groups_.rows(key);
        if (rows.empty())
            return 1;
        accessorDetail::fillRecord(record, columns_, rows.front());
        return 0;
    }

private:
    BulkRows(RecordColumns<R> columns, BulkText text)
        : columns_(columns),
          groups_(bulkStatementText(accessorDetail::columnList(columns), text.table, text.key,
                                    text.load.empty() ? text.key : text.load, text.order),
                  text.load.empty() || text.load == text.key) {}

    RecordColumns<R> columns_;
    RowGroups groups_;
    Walk walk_ = nullptr;
    Get get_ = nullptr;
};

/// How many ids one bulk statement carries: a window of a walk.
inline constexpr std::size_t bulkWindow = 1000;

/// Hands the ids of `range` (each made an id by `idOf`) to visit in order,
/// a window of at most bulkWindow at a time; stops at visit's first result
/// that is not 0 and returns it.  An empty range makes no call.
template <class Range, class Visit, class IdOf = std::identity>
int forEachWindow(const Range& range, Visit visit, IdOf idOf = {}) {
    std::vector<std::int32_t> window;
    window.reserve(bulkWindow);
    for (auto next = std::begin(range); next != std::end(range);) {
        window.clear();
        for (; next != std::end(range) && window.size() < bulkWindow; ++next)
            window.push_back(idOf(*next));
        if (const int result = visit(std::span<const std::int32_t>(window)); result != 0)
            return result;
    }
    return 0;
}

/// Delete or Update of the rows of many ids: runs a statement whose
/// "IN LIST(:b1)" takes `ids` and returns 0, whether or not a row was
/// affected.  No ids, no statement.
int accessorModifyIds(std::string_view text, std::span<const std::int32_t> ids);

/// Exists by key: the keys of `keys` that accessorCountsByKey finds rows
/// for, with a text of the same form.
std::unordered_set<std::int32_t> accessorExistsByKey(std::string_view text, std::span<const std::int32_t> keys);

}  // namespace pelo
