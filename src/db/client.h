// The database client layer: the one road from the utility to the family
// database.  It keeps the embedded-SQL contract the rest of the code is
// written against (a status area with a signed code and the server's text,
// 1403 for "no row", bound inputs, cursors, a described select list, commit
// and rollback) over a backend chosen at connect time.  Statement texts are
// written once, in the family's embedded-SQL form:
//
//   SELECT ID,NAME INTO :b1:i1,:b2:i2 FROM LEVELS WHERE NAME=:b2
//
// The layer drops the INTO list (outputs arrive in an SqlRow instead) and
// turns the :bN placeholders into what the backend understands, so one text
// serves every backend.  Statements are prepared once per text and reused.
#pragma once

#include <csignal>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelo {

/// Status code of a single-row SELECT that found nothing or a FETCH past
/// the last row.
inline constexpr int sqlNotFound = 1403;

/// Longest server message text kept in the status area.
inline constexpr std::size_t sqlMessageMax = 70;

/// Longest user name and password a connect carries.
inline constexpr std::size_t sqlLoginMax = 20;

// Failures the layer finds itself.  A backend's own failures carry its
// codes: for SQLite the primary result code negated (-1 SQLITE_ERROR,
// -5 SQLITE_BUSY, -9 SQLITE_INTERRUPT, -14 SQLITE_CANTOPEN, ...);
// for PostgreSQL a number made from the SQLSTATE (db/pg_backend.h).
inline constexpr int sqlNotConnected = -1001;   ///< no session is open
inline constexpr int sqlConnectRefused = -1002; ///< login too long, second session, unknown target
inline constexpr int sqlTooManyRows = -1003;    ///< a single-row SELECT found more than one row
inline constexpr int sqlBadInputs = -1004;      ///< an input without placeholder, or the reverse
inline constexpr int sqlCursorNotOpen = -1005;  ///< FETCH on a cursor that is not open

/// Outcome of the last statement: below 0 failed, 1403 no row, else success.
struct SqlStatus {
    int sqlcode = 0;
    std::string sqlerrm;  ///< the server's text for a failure, at most 70 characters
};

/// The status area, written by every call of this layer.
extern SqlStatus sqlca;

/// The one place the status area is written: the code, and the text cut to
/// what the area holds, never inside a UTF-8 character.  Returns the code.
int sqlSetStatus(int code, std::string_view text = {});

/// An input value: a 32-bit integer or a text.  An empty text is bound as
/// NULL, as the family's server has always stored it, so "ACTUAL IS NULL"
/// finds the tracks written without a level.
using SqlValue = std::variant<std::int32_t, std::string_view>;

/// An input bound to placeholder :b<number>.
struct SqlBind {
    int number;
    SqlValue value;
};

using SqlBinds = std::initializer_list<SqlBind>;

/// Ids as one text input, "3,1,2", for a statement that matches them with
/// "COLUMN IN LIST(:bN)".  No ids make "", bound as NULL, which matches no
/// row.
std::string sqlIdList(std::span<const std::int32_t> ids);

/// Whether a text list carries the text so that it matches what the text
/// bound on its own matches: not an empty text, which binds as NULL and
/// matches no row, and nothing but UTF-8, the one encoding a list carries.
bool sqlListCarries(std::string_view text);

/// Texts as one text input, a JSON array, for a statement that matches
/// them with "COLUMN IN TEXT LIST(:bN)".  A text sqlListCarries refuses is
/// left out; no texts make "[]", which matches no row.
std::string sqlTextList(std::span<const std::string> texts);

/// One fetched row.  A NULL column reads as "" or 0.
class SqlRow {
public:
    int columns() const { return static_cast<int>(values_.size()); }
    std::int32_t intAt(int column) const;           ///< 0-based column
    const std::string& textAt(int column) const;    ///< 0-based column
    void clear() { values_.clear(); }
    void push(std::string value) { values_.push_back(std::move(value)); }
    /// The row made count columns long, each emptied but keeping its
    /// storage, for a backend to fill in place.
    std::string* refill(int count) {
        values_.resize(static_cast<std::size_t>(count));
        for (std::string& value : values_)
            value.clear();
        return values_.data();
    }

private:
    std::vector<std::string> values_;
};

/// A column of a described select list.
struct SqlColumn {
    std::string name;
    enum class Type { integer, text } type = Type::text;
    int length = 0;  ///< declared width for text, 4 for integers
};

/// Connects with the user and password (each at most 20 characters) to the
/// database named by `target`: a file path (SQLite) or a postgresql:// URI.
/// Returns sqlca.sqlcode (0 connected, below 0 failed with the text set).
int sqlConnect(std::string_view target, std::string_view user, std::string_view password);

/// True while a session is open.
bool sqlConnected();

/// Runs one statement with its inputs.  For a single-row SELECT the row is
/// delivered into `row` (two rows is a failure).  Returns sqlca.sqlcode.
int sqlExecute(std::string_view text, SqlBinds inputs, SqlRow* row = nullptr);

/// A cursor over one statement text, prepared on first open and reused.
/// Two cursors over the same text are independent.  A cursor stays open
/// across COMMIT and ROLLBACK; once its session has ended it reads as
/// closed and prepares again at its next open.
class SqlCursor {
public:
    explicit SqlCursor(std::string text);
    ~SqlCursor();
    SqlCursor(const SqlCursor&) = delete;
    SqlCursor& operator=(const SqlCursor&) = delete;

    int open(SqlBinds inputs);   ///< binds the keys once; returns sqlca.sqlcode
    int fetch(SqlRow& row);      ///< 0 with a row, 1403 past the last row
    int close();                 ///< harmless when not open; returns 0
    bool isOpen() const;
    /// The select list of the statement; prepares the statement when it is
    /// not yet prepared (a failure leaves the list empty and sqlca set).
    std::vector<SqlColumn> describe();

    struct State;
private:
    std::string text_;
    std::unique_ptr<State> state_;
};

/// Runs a script of plain SQL statements (schema creation, test set-up)
/// without placeholders.  Returns sqlca.sqlcode.
int sqlExecuteScript(std::string_view script);

int sqlCommit();            ///< COMMIT WORK
int sqlRollback();          ///< ROLLBACK WORK
int sqlRollbackRelease();   ///< ROLLBACK WORK RELEASE: ends the session
/// Interrupts the statement in progress; 0 or the client's non-zero code.
/// Runs from signal handlers, so it alone leaves the status area alone.
int sqlBreak();

/// Points the layer at a flag that a signal handler sets when the process
/// is asked to end; null (the default) forgets it.  A statement waiting on
/// a database server then stops waiting within a few seconds: the server is
/// asked to cancel it, and a server that does not answer loses the
/// connection; the statement fails either way.  The flag must outlive the
/// session.
void sqlSetTerminationFlag(const volatile std::sig_atomic_t* flag);

/// Whether the flag handed to sqlSetTerminationFlag is set.
bool sqlTerminationPending();

/// Statements prepared since the process started: every text is prepared
/// once per session (and once per cursor), so tests and benchmarks can
/// see the cache at work.
int sqlPrepareCount();

}  // namespace pelo
