// What the client layer asks of a database backend.  The layer (client.cc)
// keeps the status area, the statement cache, the cursors and the rules of
// the embedded-SQL contract; a backend only prepares, binds, steps and ends
// transactions.  Backends report through int codes: 0, sqlNotFound for "no
// more rows" from step, or a negative code whose text errorText() gives.
//
// The transaction model is the family server's: work is uncommitted until
// commit(), and rollback() or release() drop everything done since the last
// commit.  Open cursors survive commit().
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/client.h"

namespace pelo {

/// How a backend writes the :bN placeholders of the family's texts.
enum class PlaceholderStyle {
    named,   ///< kept as :bN (SQLite takes them as named parameters)
    dollar,  ///< $1, $2, ... numbered by first appearance (PostgreSQL)
};

/// An embedded-SQL text made ready for a backend.
struct StatementText {
    std::string text;          ///< INTO list dropped, placeholders rewritten
    std::vector<int> inputs;   ///< N of each distinct :bN, in order of first appearance
};

/// The database products a session can run on.
enum class SqlProduct {
    none,        ///< no session is open
    sqlite,      ///< a file path
    postgresql,  ///< a postgresql:// or postgres:// URI
};

/// The product of the open session, or none.
SqlProduct sqlProduct();

/// Drops the INTO list of a SELECT ... INTO :b1:i1,... and rewrites the
/// :bN placeholders in the given style.  Quoted literals and identifiers
/// are left alone, so ':b1' inside quotes is text, not a placeholder.
/// INSERT INTO is untouched: only an INTO followed by a host variable goes.
/// "COLUMN IN LIST(:bN)" matches the ids of a list bound as one text
/// (sqlIdList), "COLUMN IN TEXT LIST(:bN)" the texts of one (sqlTextList),
/// each in the form the backend reads such a list.
StatementText translateStatement(std::string_view embedded, PlaceholderStyle style);

/// One prepared statement.  Owned by the layer; reused until its session
/// ends.  A statement outliving its session (a cursor kept across
/// sessions) reports live() false and must only be destroyed.
class BackendStatement {
public:
    virtual ~BackendStatement() = default;

    /// False once the session it was prepared in has ended.
    virtual bool live() const = 0;
    /// Binds an input, copying text values: `number` is the N of :bN for the
    /// named style, the position k of $k for the dollar style.  0 or a
    /// negative code.
    virtual int bind(int number, const SqlValue& value) = 0;
    /// Runs to the next row: 0 with a row, sqlNotFound when done, or < 0.
    virtual int step() = 0;
    /// The current row after a step that gave 0; NULL columns become "".
    virtual void row(SqlRow& row) const = 0;
    /// The select list (empty for statements that return no rows).
    virtual std::vector<SqlColumn> columns() const = 0;
    /// Back to the start with no inputs bound: what closing a cursor means.
    virtual void reset() = 0;
};

/// One session with one database.
class SqlBackend {
public:
    virtual ~SqlBackend() = default;

    virtual PlaceholderStyle placeholderStyle() const = 0;
    /// Prepares a translated text.  0 with `out` set, or a negative code.
    virtual int prepare(const std::string& text, std::unique_ptr<BackendStatement>& out) = 0;
    /// Prepares a translated SELECT that will be read as a cursor: row by
    /// row, interleaved with other statements, possibly across commits.  A
    /// backend whose statements all behave so keeps this default.
    virtual int prepareCursor(const std::string& text, std::unique_ptr<BackendStatement>& out) {
        return prepare(text, out);
    }
    /// Runs plain statements separated by semicolons; no inputs.
    virtual int executeScript(std::string_view script) = 0;
    /// End the current transaction and start the next one.
    virtual int commit() = 0;
    virtual int rollback() = 0;
    /// Rolls back and ends the session, whatever the rollback answered:
    /// every statement of the session stops being live.
    virtual int release() = 0;
    /// Asks the statement in progress to stop.  Callable from a signal
    /// handler: it must not allocate or lock.
    virtual int interrupt() = 0;
    /// Text of the last failure of this backend.
    virtual std::string errorText() const = 0;
};

/// Opens an existing SQLite database file read-write (never creates one).
/// 0 with `out` set, or a negative code with the reason in `text`.
int openSqliteBackend(const std::string& path, std::unique_ptr<SqlBackend>& out, std::string& text);

}  // namespace pelo
