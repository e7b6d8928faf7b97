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
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

}  // namespace pelo
