// PostgreSQL behind the client layer, through libpq.
//
// Every text is prepared once per session under a generated name and run
// with its inputs bound as text parameters; the server infers their types
// from where they stand.  Reads run outside any transaction block, each on
// its own, until the session first writes: the first DELETE, UPDATE,
// INSERT or script opens a block (BEGIN) that commit() or rollback() ends.
// This matters because a failed statement spoils the block it runs in on
// this server, where the family's server undid only the statement: a
// report query on a column that is not there must not cost the run its open
// cursors or its pending work.
//
// A cursor opened inside a block is a server-side cursor declared WITH HOLD
// and read in batches, so that it outlives commits as the embedded
// runtime's cursors do: read lazily, materialised at commit, dropped by a
// rollback of that block.  Outside a block such a cursor would be
// materialised at once anyway, so there the select itself runs and its rows
// are kept on this side: one round trip instead of a declare, the fetches
// and a close, which is what a walk of a few rows per object costs most.
//
// Every statement is sent and then waited for on the socket, never inside
// the client library, so that the end of the run (the termination flag of
// the client layer) can cut the wait short: a server that stopped
// answering, or a statement that never ends, must not keep a signalled run
// from its clean-up.
#include "db/pg_backend.h"

#include <libpq-fe.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

namespace pelo {

namespace {

// Type oids of the server's catalogue (its header is not a client header).
constexpr Oid int8Oid = 20;
constexpr Oid int2Oid = 21;
constexpr Oid int4Oid = 23;
constexpr Oid oidOid = 26;
constexpr Oid bpcharOid = 1042;
constexpr Oid varcharOid = 1043;
constexpr Oid numericOid = 1700;

/// The length word the server counts into a character type's modifier.
constexpr int typmodHeader = 4;

/// Width reported for a text column declared without one: the longest
/// text the family stores.
constexpr int undeclaredTextWidth = 32000;

/// Rows a cursor asks the server for at a time: few round trips for long
/// walks, little memory for any.
constexpr int fetchBatch = 1000;

constexpr int cannotConnect = pgStatusOfSqlState("08001");
constexpr int noSession = pgStatusOfSqlState("08003");
constexpr int connectionLost = pgStatusOfSqlState("08006");
constexpr int failedTransaction = pgStatusOfSqlState("25P02");
constexpr int duplicateCursor = pgStatusOfSqlState("42P03");
constexpr int undefinedParameter = pgStatusOfSqlState("42P02");
constexpr int internalError = pgStatusOfSqlState("XX000");

/// How long a statement may still take once the run is to end: for the
/// server to answer the cancel of a statement it was running, or for a
/// statement sent after that (the clean-up's rollback) to finish.
constexpr std::chrono::milliseconds terminationGrace{2000};

/// Longest single wait on the socket.  A signal that lands between the look
/// at the termination flag and the poll does not interrupt the poll, so the
/// flag is looked at again after this long at most.
constexpr std::chrono::milliseconds pollTick{100};

/// Why a statement failed after the server stopped answering.
constexpr const char* abandonedText = "the server did not answer; the connection was dropped";

struct ResultClear {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

/// The first line of a client library message, without a severity prefix.
std::string firstLine(std::string_view text) {
    for (std::string_view severity : {"ERROR:  ", "FATAL:  ", "PANIC:  "})
        if (text.starts_with(severity))
            text.remove_prefix(severity.size());
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

/// The utility writes nothing to standard error, where the client library
/// would print the server's notices.
void ignoreNotice(void*, const char*) {}

/// The bound that the end of the run puts on one wait for the server.  A
/// wait that began before the end was asked for has its statement
/// cancelled when it is, then the grace to see the server's answer; one
/// that began after it (the clean-up's rollback) has the grace alone, so
/// that a server that still answers finishes it.
class TerminationBound {
public:
    using Clock = std::chrono::steady_clock;
    enum class Step { wait, cancel, giveUp };

    TerminationBound() {
        if (sqlTerminationPending())
            deadline_ = Clock::now() + terminationGrace;
    }

    /// What the wait does next; cancel is answered once.
    Step next() {
        if (deadline_ == unbounded) {
            if (!sqlTerminationPending())
                return Step::wait;
            deadline_ = Clock::now() + terminationGrace;
            return Step::cancel;
        }
        return Clock::now() >= deadline_ ? Step::giveUp : Step::wait;
    }

    /// Milliseconds the next poll may last.
    int pollTimeout() const {
        std::chrono::milliseconds left = pollTick;
        if (deadline_ != unbounded)
            left = std::min(left, std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()));
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

private:
    static constexpr Clock::time_point unbounded = Clock::time_point::max();
    Clock::time_point deadline_ = unbounded;
};

/// Asks the server to cancel what the connection runs.  The request waits
/// until the server has taken it, which a server that stopped answering
/// never does, so it goes from a thread of its own with its own copy of
/// the request while the statement's wait keeps its bound.  The thread is
/// left to finish, or to end with the process; it takes no signals, which
/// stay with the thread that looks at the termination flag.
void cancelAside(PGconn* conn) {
    PGcancel* request = PQgetCancel(conn);
    if (request == nullptr)
        return;
    sigset_t every;
    sigset_t saved;
    sigfillset(&every);
    pthread_sigmask(SIG_BLOCK, &every, &saved);
    try {
        std::thread([request] {
            std::array<char, 256> unused{};
            PQcancel(request, unused.data(), static_cast<int>(unused.size()));
            PQfreeCancel(request);
        }).detach();
    } catch (const std::system_error&) {
        PQfreeCancel(request);  // no thread: the grace alone bounds the wait
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

/// The connection, shared by the backend and its statements so that it is
/// closed only after the last statement is gone.
struct Connection {
    PGconn* conn = nullptr;
    PGcancel* cancel = nullptr;
    bool released = false;
    /// The server stopped answering at the end of the run: the socket is
    /// shut and nothing is sent again.
    bool abandoned = false;
    int names = 0;
    std::string errorText;
    /// Cursors declared inside the open block: a rollback of the block
    /// drops them on the server, a commit makes them held.
    std::vector<std::shared_ptr<bool>> blockCursors;
    /// The cancel request's error text: a signal handler may not allocate.
    std::array<char, 256> cancelError{};

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }

    void close() {
        if (cancel != nullptr)
            PQfreeCancel(cancel);
        if (conn != nullptr)
            PQfinish(conn);
        cancel = nullptr;
        conn = nullptr;
    }

    std::string nextName(const char* kind) { return std::string("pelo_") + kind + std::to_string(++names); }

    /// Keeps the text of a failure (with or without a result) and returns
    /// its code.
    int fail(const PGresult* result) {
        if (result == nullptr && abandoned) {
            errorText = abandonedText;
            return connectionLost;
        }
        const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const char* message = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        if (message != nullptr)
            errorText = message;
        else if (result != nullptr && *PQresultErrorMessage(result) != '\0')
            errorText = firstLine(PQresultErrorMessage(result));
        else
            errorText = firstLine(PQerrorMessage(conn));
        if (state != nullptr)
            return pgStatusOfSqlState(state);
        return PQstatus(conn) == CONNECTION_OK ? internalError : connectionLost;
    }

    /// Sends with `send` (a PQsend... call on the connection) and waits for
    /// the statement's result: null when it could not be sent or the wait
    /// was given up, after which fail(nullptr) gives the reason.
    template <class Send>
    Result run(Send send) {
        if (abandoned)
            return nullptr;
        if (send(conn) != 1)
            return nullptr;
        TerminationBound bound;
        Result kept;
        while (awaitInput(bound)) {
            Result next(PQgetResult(conn));
            if (!next)
                return kept;
            // As PQexec keeps them: the last result, unless one failed.
            if (!kept || PQresultStatus(kept.get()) != PGRES_FATAL_ERROR)
                kept = std::move(next);
        }
        return nullptr;
    }

    /// Runs a statement without inputs and gives its result.
    Result query(const std::string& text) {
        return run([&text](PGconn* c) { return PQsendQuery(c, text.c_str()); });
    }

    /// Runs a statement without inputs: 0 or a code.
    int execute(const std::string& text) {
        const Result result = query(text);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
            return 0;
        return fail(result.get());
    }

    /// Opens a transaction block for the first write since the last end.
    int beginIfIdle() { return PQtransactionStatus(conn) == PQTRANS_IDLE ? execute("BEGIN") : 0; }

    /// Waits until the statement sent last can hand over its next result
    /// without blocking (or has failed); false when the wait was given up,
    /// and the connection with it.
    bool awaitInput(TerminationBound& bound) {
        for (;;) {
            const int unsent = PQflush(conn);  // 1 while part of the statement waits to go
            if (unsent < 0 || PQconsumeInput(conn) == 0)
                return true;  // broken: the next result says why
            if (unsent == 0 && PQisBusy(conn) == 0)
                return true;
            switch (bound.next()) {
            case TerminationBound::Step::cancel:
                cancelAside(conn);
                break;
            case TerminationBound::Step::giveUp:
                abandon();
                return false;
            case TerminationBound::Step::wait:
                break;
            }
            pollfd socket{PQsocket(conn), static_cast<short>(unsent == 1 ? POLLIN | POLLOUT : POLLIN), 0};
            ::poll(&socket, 1, bound.pollTimeout());  // EINTR is a signal: the bound looks at it
        }
    }

    /// Shuts the socket rather than closing the connection: the statements
    /// still hold it, and the server learns at once that nobody waits.
    void abandon() {
        abandoned = true;
        ::shutdown(PQsocket(conn), SHUT_RDWR);
    }

    /// The block has ended: its cursors are held after a commit, gone
    /// after a rollback.
    void endBlock(bool committed) {
        if (!committed)
            for (const std::shared_ptr<bool>& open : blockCursors)
                *open = false;
        blockCursors.clear();
    }
};

SqlColumn describeColumn(const PGresult* description, int i) {
    SqlColumn column;
    column.name = PQfname(description, i);
    const Oid type = PQftype(description, i);
    if (type == int2Oid || type == int4Oid || type == int8Oid || type == oidOid || type == numericOid) {
        column.type = SqlColumn::Type::integer;
        column.length = 4;
        return column;
    }
    const int modifier = PQfmod(description, i);
    const bool sized = (type == varcharOid || type == bpcharOid) && modifier > typmodHeader;
    column.length = sized ? modifier - typmodHeader : undeclaredTextWidth;
    return column;
}

class PgStatement final : public BackendStatement {
public:
    /// `name` is the prepared statement run at each step (for a cursor, the
    /// prepared DECLARE of the server cursor named `cursor`, and `select`
    /// the prepared select it declares).
    PgStatement(std::shared_ptr<Connection> connection, std::string name, std::string cursor,
                std::vector<SqlColumn> columns, int inputs, std::string select = {})
        : c_(std::move(connection)), name_(std::move(name)), cursor_(std::move(cursor)),
          select_(std::move(select)), columns_(std::move(columns)), values_(static_cast<std::size_t>(inputs)) {}

    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    ~PgStatement() override {
        if (!live())
            return;
        reset();
        c_->execute("DEALLOCATE " + name_);
        if (!select_.empty())
            c_->execute("DEALLOCATE " + select_);
    }

    bool live() const override { return !c_->released; }

    int bind(int number, const SqlValue& value) override {
        if (number < 1 || number > static_cast<int>(values_.size())) {
            c_->errorText = "no parameter $" + std::to_string(number);
            return undefinedParameter;
        }
        std::optional<std::string>& slot = values_[static_cast<std::size_t>(number - 1)];
        if (const auto* integer = std::get_if<std::int32_t>(&value))
            slot = std::to_string(*integer);
        else if (const auto text = std::get<std::string_view>(value); !text.empty())
            slot = std::string(text);
        else
            slot.reset();  // the family's server keeps no empty texts
        return 0;
    }

    int step() override {
        if (!live()) {
            c_->errorText = "the session has ended";
            return noSession;
        }
        if (!started_) {
            const bool held = !cursor_.empty() && PQtransactionStatus(c_->conn) != PQTRANS_IDLE;
            if (const int code = held ? declare() : cursor_.empty() ? run() : select(); code < 0)
                return code;
        }
        if (!cursor_.empty() && next_ >= rows() && !exhausted_) {
            if (const int code = fetch(); code < 0)
                return code;
        }
        if (next_ >= rows())
            return sqlNotFound;
        current_ = next_++;
        return 0;
    }

    void row(SqlRow& row) const override {
        const int count = PQnfields(result_.get());
        std::string* values = row.refill(count);
        for (int i = 0; i < count; ++i)
            if (PQgetisnull(result_.get(), current_, i) == 0)
                values[i].assign(PQgetvalue(result_.get(), current_, i),
                                 static_cast<std::size_t>(PQgetlength(result_.get(), current_, i)));
    }

    std::vector<SqlColumn> columns() const override { return columns_; }

    void reset() override {
        for (std::optional<std::string>& value : values_)
            value.reset();
        result_.reset();
        next_ = 0;
        current_ = -1;
        exhausted_ = false;
        started_ = false;
        if (open_ && *open_ && live())
            c_->execute("CLOSE " + cursor_);  // a failure leaves nothing to undo
        open_.reset();
    }

private:
    int rows() const { return result_ ? PQntuples(result_.get()) : 0; }

    Result execute(const std::string& name) {
        std::vector<const char*> values;
        for (const std::optional<std::string>& value : values_)
            values.push_back(value ? value->c_str() : nullptr);
        return c_->run([&](PGconn* conn) {
            return PQsendQueryPrepared(conn, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                       nullptr, 0);
        });
    }
    Result execute() { return execute(name_); }

    /// A cursor outside a block: every row at once, nothing to close.
    int select() {
        Result result = execute(select_);
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
            return c_->fail(result.get());
        result_ = std::move(result);
        exhausted_ = true;
        started_ = true;
        return 0;
    }

    /// Runs a single statement to its end; a write opens the block first.
    int run() {
        if (columns_.empty())
            if (const int code = c_->beginIfIdle(); code < 0)
                return code;
        Result result = execute();
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            return c_->fail(result.get());
        result_ = std::move(result);
        started_ = true;
        return 0;
    }

    /// Opens the server cursor.  One left behind by a close that failed
    /// (inside a spoilt block) is closed and the open tried once more.
    int declare() {
        Result result = execute();
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            if (const int code = c_->fail(result.get()); code != duplicateCursor)
                return code;
            c_->execute("CLOSE " + cursor_);
            result = execute();
            if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
                return c_->fail(result.get());
        }
        open_ = std::make_shared<bool>(true);
        if (PQtransactionStatus(c_->conn) == PQTRANS_INTRANS)
            c_->blockCursors.push_back(open_);
        started_ = true;
        return 0;
    }

    int fetch() {
        Result result = c_->query("FETCH FORWARD " + std::to_string(fetchBatch) + " FROM " + cursor_);
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
            return c_->fail(result.get());
        exhausted_ = PQntuples(result.get()) < fetchBatch;
        result_ = std::move(result);
        next_ = 0;
        return 0;
    }

    std::shared_ptr<Connection> c_;
    std::string name_;
    std::string cursor_;  ///< empty for a statement run to its end at once
    std::string select_;  ///< a cursor's select, run as it stands outside a block
    std::vector<SqlColumn> columns_;
    std::vector<std::optional<std::string>> values_;  ///< by position; none is NULL
    Result result_;                                   ///< the rows, or the cursor's batch
    int next_ = 0;
    int current_ = -1;
    bool started_ = false;    ///< run or declared since the last reset
    bool exhausted_ = false;  ///< the cursor delivered its last batch
    std::shared_ptr<bool> open_;  ///< the server cursor exists
};

class PgBackend final : public SqlBackend {
public:
    explicit PgBackend(std::shared_ptr<Connection> connection) : c_(std::move(connection)) {}

    ~PgBackend() override {
        if (!c_->released)
            release();
    }

    PlaceholderStyle placeholderStyle() const override { return PlaceholderStyle::dollar; }

    int prepare(const std::string& text, std::unique_ptr<BackendStatement>& out) override {
        std::string name = c_->nextName("s");
        std::vector<SqlColumn> columns;
        int inputs = 0;
        if (const int code = prepareNamed(name, text, columns, inputs); code < 0)
            return code;
        out = std::make_unique<PgStatement>(c_, std::move(name), std::string(), std::move(columns), inputs);
        return 0;
    }

    int prepareCursor(const std::string& text, std::unique_ptr<BackendStatement>& out) override {
        // The select, prepared as it stands, also describes the select list:
        // a DECLARE has none of its own.
        std::string select = c_->nextName("s");
        std::vector<SqlColumn> columns;
        int inputs = 0;
        if (const int code = prepareNamed(select, text, columns, inputs); code < 0)
            return code;
        if (columns.empty()) {  // not a select: it runs to its end at once
            out = std::make_unique<PgStatement>(c_, std::move(select), std::string(), std::move(columns), inputs);
            return 0;
        }
        std::string name = c_->nextName("d");
        std::string cursor = c_->nextName("c");
        const std::string declare = "DECLARE " + cursor + " NO SCROLL CURSOR WITH HOLD FOR " + text;
        const Result prepared = prepareText(name, declare);
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            return c_->fail(prepared.get());
        out = std::make_unique<PgStatement>(c_, std::move(name), std::move(cursor), std::move(columns), inputs,
                                            std::move(select));
        return 0;
    }

    int executeScript(std::string_view script) override {
        if (const int code = c_->beginIfIdle(); code < 0)
            return code;
        return c_->execute(std::string(script));
    }

    int commit() override {
        switch (PQtransactionStatus(c_->conn)) {
        case PQTRANS_IDLE:
            return 0;
        case PQTRANS_INERROR:
            // The server would answer COMMIT with a silent rollback.
            c_->execute("ROLLBACK");
            c_->endBlock(false);
            c_->errorText = "transaction rolled back: a statement in it had failed";
            return failedTransaction;
        default:
            break;
        }
        const int code = c_->execute("COMMIT");
        c_->endBlock(code == 0);
        return code;
    }

    int rollback() override {
        if (PQtransactionStatus(c_->conn) == PQTRANS_IDLE)
            return 0;
        // A lost connection answers here too: its work is gone, but the
        // caller must learn that the rollback was not done.
        const int code = c_->execute("ROLLBACK");
        c_->endBlock(false);
        return code;
    }

    int release() override {
        const int code = rollback();
        c_->released = true;
        c_->close();
        return code;
    }

    int interrupt() override {
        if (c_->cancel == nullptr)
            return noSession;
        return PQcancel(c_->cancel, c_->cancelError.data(), static_cast<int>(c_->cancelError.size())) == 1
                   ? 0
                   : connectionLost;
    }

    std::string errorText() const override { return c_->errorText; }

private:
    /// Prepares `text` under `name` and describes its inputs and select list.
    int prepareNamed(const std::string& name, const std::string& text, std::vector<SqlColumn>& columns,
                     int& inputs) {
        const Result prepared = prepareText(name, text);
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            return c_->fail(prepared.get());
        const Result description =
            c_->run([&name](PGconn* conn) { return PQsendDescribePrepared(conn, name.c_str()); });
        if (PQresultStatus(description.get()) != PGRES_COMMAND_OK)
            return c_->fail(description.get());
        inputs = PQnparams(description.get());
        for (int i = 0; i < PQnfields(description.get()); ++i)
            columns.push_back(describeColumn(description.get(), i));
        return 0;
    }

    Result prepareText(const std::string& name, const std::string& text) {
        return c_->run([&](PGconn* conn) { return PQsendPrepare(conn, name.c_str(), text.c_str(), 0, nullptr); });
    }

    std::shared_ptr<Connection> c_;
};

/// Waits until the connect started on `conn` has succeeded or failed.  A
/// server still silent when the grace after the end of the run is over
/// counts as failed, with `silence` set.
bool awaitConnection(PGconn* conn, bool& silence) {
    TerminationBound bound;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED || PQstatus(conn) == CONNECTION_BAD)
            return false;
        if (bound.next() == TerminationBound::Step::giveUp) {
            silence = true;
            return false;
        }
        pollfd socket{PQsocket(conn), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const int ready = ::poll(&socket, 1, bound.pollTimeout());
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0)
            state = PQconnectPoll(conn);
    }
    return true;
}

bool isSqlStateChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

/// A refused connect, from the client library's verbose message: the
/// server's SQLSTATE and text when a server answered ("...failed: FATAL:
/// 28P01: password authentication failed for user ..."), else the client
/// library's own reason.
int connectFailure(std::string_view message, std::string& text) {
    for (std::size_t at = message.find(":  "); at != std::string_view::npos; at = message.find(":  ", at + 1)) {
        const std::string_view state = message.substr(at + 3, 5);
        if (state.size() == 5 && std::all_of(state.begin(), state.end(), isSqlStateChar) &&
            message.substr(at + 8, 2) == ": ") {
            text = firstLine(message.substr(at + 10));
            return pgStatusOfSqlState(state);
        }
    }
    const std::size_t failed = message.rfind("failed: ");
    text = firstLine(failed == std::string_view::npos ? message : message.substr(failed + 8));
    return cannotConnect;
}

}  // namespace

std::string pgSqlStateOfStatus(int status) {
    if (status >= 0)
        return "";
    long value = -static_cast<long>(status);
    const bool digitsOnly = value < 100000;
    const int base = digitsOnly ? 10 : 36;
    if (!digitsOnly)
        value -= 100000;
    std::string state(5, '0');
    for (int i = 4; i >= 0; --i, value /= base) {
        const int digit = static_cast<int>(value % base);
        state[static_cast<std::size_t>(i)] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
    }
    return value == 0 && (digitsOnly || std::any_of(state.begin(), state.end(), [](char c) { return c > '9'; }))
               ? state
               : "";
}

int openPostgresBackend(const std::string& target, const std::string& user, const std::string& password,
                        std::unique_ptr<SqlBackend>& out, std::string& text) {
    auto connection = std::make_shared<Connection>();
    // Later keywords win over what the URI names: the user and password.
    const char* const keys[] = {"dbname", "user", "password", nullptr};
    const char* const values[] = {target.c_str(), user.c_str(), password.c_str(), nullptr};
    connection->conn = PQconnectStartParams(keys, values, 1);
    if (connection->conn == nullptr) {
        text = "out of memory";
        return cannotConnect;
    }
    PQsetNoticeProcessor(connection->conn, ignoreNotice, nullptr);
    // Verbose, a refused connect carries the server's SQLSTATE in its text.
    PQsetErrorVerbosity(connection->conn, PQERRORS_VERBOSE);
    bool silence = false;
    if (!awaitConnection(connection->conn, silence)) {
        if (!silence)
            return connectFailure(PQerrorMessage(connection->conn), text);
        text = "the server did not answer the connect";
        return cannotConnect;
    }
    PQsetErrorVerbosity(connection->conn, PQERRORS_DEFAULT);
    // Statements are sent without waiting and their results waited for on
    // the socket, where the end of the run can cut the wait short.
    if (PQsetnonblocking(connection->conn, 1) != 0) {
        text = firstLine(PQerrorMessage(connection->conn));
        return cannotConnect;
    }
    connection->cancel = PQgetCancel(connection->conn);
    out = std::make_unique<PgBackend>(std::move(connection));
    return 0;
}

}  // namespace pelo
