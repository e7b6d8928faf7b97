// The client layer: the status area, the one session, the statement cache
// and the cursors, over whichever backend the connect chose.
#include "db/client.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>

#include "db/backend.h"
#include "db/pg_backend.h"

namespace pelo {

SqlStatus sqlca;

namespace {

/// A prepared statement with what the layer needs to know about it.
struct Prepared {
    std::unique_ptr<BackendStatement> statement;
    std::vector<int> inputs;   ///< the N of every :bN in the text
    bool returnsRows = false;  ///< a SELECT, as opposed to DELETE or UPDATE
};

struct Session {
    std::unique_ptr<SqlBackend> backend;
    SqlProduct product = SqlProduct::none;
    /// Statements run through sqlExecute, by their embedded text.
    std::map<std::string, Prepared, std::less<>> cache;
};

std::unique_ptr<Session> session;
int prepareCount = 0;
const volatile std::sig_atomic_t* terminationFlag = nullptr;

int backendFailure(int code) { return sqlSetStatus(code, session->backend->errorText()); }

int notConnected() { return sqlSetStatus(sqlNotConnected, "not connected to a database"); }

/// Prepares a text once, for a cursor or for everything else.
int prepare(std::string_view text, Prepared& out, bool cursor = false) {
    StatementText translated = translateStatement(text, session->backend->placeholderStyle());
    std::unique_ptr<BackendStatement> statement;
    const int code = cursor ? session->backend->prepareCursor(translated.text, statement)
                            : session->backend->prepare(translated.text, statement);
    if (code < 0)
        return backendFailure(code);
    ++prepareCount;
    out.returnsRows = !statement->columns().empty();
    out.statement = std::move(statement);
    out.inputs = std::move(translated.inputs);
    return sqlSetStatus(0);
}

/// Every input must name a placeholder of the text and every placeholder
/// must get an input: a mismatch is a fault of the caller's statement.
int bindInputs(Prepared& prepared, SqlBinds inputs) {
    for (const SqlBind& input : inputs)
        if (std::find(prepared.inputs.begin(), prepared.inputs.end(), input.number) == prepared.inputs.end())
            return sqlSetStatus(sqlBadInputs, "input :b" + std::to_string(input.number) + " is not in the statement");
    for (int number : prepared.inputs) {
        const auto bound = std::find_if(inputs.begin(), inputs.end(),
                                        [number](const SqlBind& input) { return input.number == number; });
        if (bound == inputs.end())
            return sqlSetStatus(sqlBadInputs, "no input for :b" + std::to_string(number));
    }
    // A positional backend knows its inputs by place, not by name.
    const bool positional = session->backend->placeholderStyle() == PlaceholderStyle::dollar;
    for (const SqlBind& input : inputs) {
        const auto place = std::find(prepared.inputs.begin(), prepared.inputs.end(), input.number);
        const int number = positional ? static_cast<int>(place - prepared.inputs.begin()) + 1 : input.number;
        if (const int code = prepared.statement->bind(number, input.value); code < 0)
            return backendFailure(code);
    }
    return sqlSetStatus(0);
}

bool isPostgresTarget(std::string_view target) {
    return target.starts_with("postgresql://") || target.starts_with("postgres://");
}

Prepared* cachedStatement(std::string_view text) {
    if (auto found = session->cache.find(text); found != session->cache.end())
        return &found->second;
    Prepared prepared;
    if (prepare(text, prepared) < 0)
        return nullptr;
    return &session->cache.emplace(std::string(text), std::move(prepared)).first->second;
}

/// Leaves a cached statement ready for its next use, however this one ends.
class ResetOnExit {
public:
    explicit ResetOnExit(BackendStatement& statement) : statement_(statement) {}
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;
    ~ResetOnExit() { statement_.reset(); }

private:
    BackendStatement& statement_;
};

/// Steps a single-row SELECT: one row, or 1403, or a failure for a second.
int fetchSingleRow(BackendStatement& statement, SqlRow* row) {
    const int code = statement.step();
    if (code != 0)
        return code < 0 ? backendFailure(code) : sqlSetStatus(code);
    if (row != nullptr)
        statement.row(*row);
    const int next = statement.step();
    if (next == 0)
        return sqlSetStatus(sqlTooManyRows, "single-row query returned more than one row");
    return next < 0 ? backendFailure(next) : sqlSetStatus(0);
}

/// The text as an item of a text list, a JSON string; nothing for a text
/// the list cannot carry (sqlListCarries).
std::optional<std::string> listItem(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    try {
        return nlohmann::json(text).dump();
    } catch (const nlohmann::json::type_error&) {  // not UTF-8
        return std::nullopt;
    }
}

}  // namespace

int sqlSetStatus(int code, std::string_view text) {
    if (text.size() > sqlMessageMax) {
        std::size_t cut = sqlMessageMax;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text = text.substr(0, cut);
    }
    sqlca.sqlcode = code;
    sqlca.sqlerrm.assign(text);
    return code;
}

std::int32_t SqlRow::intAt(int column) const {
    const std::string& text = textAt(column);
    std::int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

const std::string& SqlRow::textAt(int column) const {
    static const std::string null;
    if (column < 0 || column >= columns())
        return null;
    return values_[static_cast<std::size_t>(column)];
}

int sqlConnect(std::string_view target, std::string_view user, std::string_view password) {
    if (session)
        return sqlSetStatus(sqlConnectRefused, "already connected to a database");
    if (user.size() > sqlLoginMax)
        return sqlSetStatus(sqlConnectRefused, "user name longer than 20 characters");
    if (password.size() > sqlLoginMax)
        return sqlSetStatus(sqlConnectRefused, "password longer than 20 characters");
    if (target.empty())
        return sqlSetStatus(sqlConnectRefused, "no database named");
    const SqlProduct product = isPostgresTarget(target) ? SqlProduct::postgresql : SqlProduct::sqlite;
    std::unique_ptr<SqlBackend> backend;
    std::string text;
    const int code = product == SqlProduct::postgresql
                         ? openPostgresBackend(std::string(target), std::string(user), std::string(password), backend, text)
                         : openSqliteBackend(std::string(target), backend, text);
    if (code < 0)
        return sqlSetStatus(code, text);
    session = std::make_unique<Session>();
    session->backend = std::move(backend);
    session->product = product;
    return sqlSetStatus(0);
}

bool sqlConnected() { return session != nullptr; }

SqlProduct sqlProduct() { return session ? session->product : SqlProduct::none; }

int sqlExecute(std::string_view text, SqlBinds inputs, SqlRow* row) {
    if (!session)
        return notConnected();
    Prepared* prepared = cachedStatement(text);
    if (prepared == nullptr)
        return sqlca.sqlcode;
    ResetOnExit reset(*prepared->statement);
    if (bindInputs(*prepared, inputs) < 0)
        return sqlca.sqlcode;
    if (prepared->returnsRows)
        return fetchSingleRow(*prepared->statement, row);
    const int code = prepared->statement->step();
    return code < 0 ? backendFailure(code) : sqlSetStatus(0);
}

struct SqlCursor::State {
    Prepared prepared;
    bool open = false;
    bool exhausted = false;  ///< the last fetch passed the end
};

SqlCursor::SqlCursor(std::string text) : text_(std::move(text)), state_(std::make_unique<State>()) {}

SqlCursor::~SqlCursor() = default;

bool SqlCursor::isOpen() const {
    return state_->open && state_->prepared.statement && state_->prepared.statement->live();
}

std::vector<SqlColumn> SqlCursor::describe() {
    if (!session) {
        notConnected();
        return {};
    }
    Prepared& prepared = state_->prepared;
    if (!prepared.statement || !prepared.statement->live()) {
        state_->open = false;
        if (prepare(text_, prepared, true) < 0)
            return {};
    }
    sqlSetStatus(0);
    return prepared.statement->columns();
}

int SqlCursor::open(SqlBinds inputs) {
    if (isOpen())
        close();
    if (!session)
        return notConnected();
    Prepared& prepared = state_->prepared;
    if (!prepared.statement || !prepared.statement->live())
        if (prepare(text_, prepared, true) < 0)
            return sqlca.sqlcode;
    if (bindInputs(prepared, inputs) < 0) {
        prepared.statement->reset();
        return sqlca.sqlcode;
    }
    state_->open = true;
    state_->exhausted = false;
    return sqlSetStatus(0);
}

int SqlCursor::fetch(SqlRow& row) {
    if (!isOpen())
        return sqlSetStatus(sqlCursorNotOpen, "fetch from a cursor that is not open");
    // Stepping a finished statement would run it again from the top.
    if (state_->exhausted)
        return sqlSetStatus(sqlNotFound);
    const int code = state_->prepared.statement->step();
    if (code == 0) {
        state_->prepared.statement->row(row);
        return sqlSetStatus(0);
    }
    if (code == sqlNotFound) {
        state_->exhausted = true;
        return sqlSetStatus(sqlNotFound);
    }
    return backendFailure(code);
}

int SqlCursor::close() {
    if (state_->prepared.statement && state_->prepared.statement->live())
        state_->prepared.statement->reset();
    state_->open = false;
    return sqlSetStatus(0);
}

int sqlExecuteScript(std::string_view script) {
    if (!session)
        return notConnected();
    const int code = session->backend->executeScript(script);
    return code < 0 ? backendFailure(code) : sqlSetStatus(0);
}

int sqlCommit() {
    if (!session)
        return notConnected();
    const int code = session->backend->commit();
    return code < 0 ? backendFailure(code) : sqlSetStatus(0);
}

int sqlRollback() {
    if (!session)
        return notConnected();
    const int code = session->backend->rollback();
    return code < 0 ? backendFailure(code) : sqlSetStatus(0);
}

int sqlRollbackRelease() {
    if (!session)
        return notConnected();
    const int code = session->backend->release();
    if (code < 0)
        backendFailure(code);
    else
        sqlSetStatus(0);
    session.reset();  // the session ends even when the rollback failed
    return sqlca.sqlcode;
}

int sqlBreak() {
    if (!session)
        return sqlNotConnected;
    return session->backend->interrupt();
}

int sqlPrepareCount() { return prepareCount; }

std::string sqlIdList(std::span<const std::int32_t> ids) {
    std::string text;
    text.reserve(ids.size() * 7);
    for (const std::int32_t id : ids) {
        if (!text.empty())
            text += ',';
        text += std::to_string(id);
    }
    return text;
}

bool sqlListCarries(std::string_view text) { return listItem(text).has_value(); }

std::string sqlTextList(std::span<const std::string> texts) {
    std::string list = "[";
    for (const std::string& text : texts) {
        if (const std::optional<std::string> item = listItem(text)) {
            if (list.size() > 1)
                list += ',';
            list += *item;
        }
    }
    return list + "]";
}

void sqlSetTerminationFlag(const volatile std::sig_atomic_t* flag) { terminationFlag = flag; }

bool sqlTerminationPending() { return terminationFlag != nullptr && *terminationFlag != 0; }

}  // namespace pelo
