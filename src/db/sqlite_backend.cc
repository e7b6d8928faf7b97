// SQLite behind the client layer.  Codes are SQLite's primary result codes
// negated (-1 SQLITE_ERROR, -5 SQLITE_BUSY, -9 SQLITE_INTERRUPT, -14
// SQLITE_CANTOPEN, -19 SQLITE_CONSTRAINT, -26 SQLITE_NOTADB, ...).
#include "db/sqlite_backend.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

namespace pelo {

namespace {

/// Longest wait for a lock held by another process (a family daemon).
constexpr int busyTimeoutMs = 5000;

/// Width reported for a text column declared without one (TEXT, or an
/// expression): the longest text the family stores.
constexpr int undeclaredTextWidth = 32000;

int failure(int rc) { return -(rc & 0xff); }

/// The connection, shared by the backend and its statements so that it is
/// closed only after the last statement is finalized.
struct Connection {
    sqlite3* db = nullptr;
    bool released = false;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (db != nullptr)
            sqlite3_close_v2(db);
    }
};

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

/// The six numbers of a date text, or false when the text is not one.
bool parseDate(std::string_view text, std::array<long, 6>& fields) {
    static constexpr char separators[] = "// ::";
    std::size_t i = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            if (i >= text.size() || text[i] != separators[k - 1])
                return false;
            ++i;
        }
        const std::size_t start = i;
        long value = 0;
        while (i < text.size() && i - start < 9 && std::isdigit(static_cast<unsigned char>(text[i])) != 0)
            value = value * 10 + (text[i++] - '0');
        if (i == start)
            return false;
        fields[k] = value;
    }
    return i == text.size();
}

int byteOrder(std::string_view left, std::string_view right) {
    const int c = left.compare(right);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int collatePeloDate(void*, int leftSize, const void* left, int rightSize, const void* right) {
    return comparePeloDates(std::string_view(static_cast<const char*>(left), static_cast<std::size_t>(leftSize)),
                            std::string_view(static_cast<const char*>(right), static_cast<std::size_t>(rightSize)));
}

SqlColumn describeColumn(sqlite3_stmt* stmt, int i) {
    SqlColumn column;
    const char* name = sqlite3_column_name(stmt, i);
    column.name = name != nullptr ? name : "";
    std::string declared = sqlite3_column_decltype(stmt, i) != nullptr ? sqlite3_column_decltype(stmt, i) : "";
    for (char& c : declared)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (declared.find("INT") != std::string::npos) {
        column.type = SqlColumn::Type::integer;
        column.length = 4;
        return column;
    }
    const std::size_t open = declared.find('(');
    column.length = open != std::string::npos ? std::atoi(declared.c_str() + open + 1) : 0;
    if (column.length <= 0)
        column.length = undeclaredTextWidth;
    return column;
}

class SqliteStatement final : public BackendStatement {
public:
    SqliteStatement(std::shared_ptr<Connection> connection, sqlite3_stmt* stmt)
        : connection_(std::move(connection)), stmt_(stmt) {}

    bool live() const override { return !connection_->released; }

    int bind(int number, const SqlValue& value) override {
        const std::string name = ":b" + std::to_string(number);
        const int index = sqlite3_bind_parameter_index(stmt_.get(), name.c_str());
        const auto* integer = std::get_if<std::int32_t>(&value);
        const auto* text = std::get_if<std::string_view>(&value);
        int rc = SQLITE_RANGE;
        if (index > 0 && integer != nullptr)
            rc = sqlite3_bind_int(stmt_.get(), index, *integer);
        else if (index > 0 && text->empty())
            rc = sqlite3_bind_null(stmt_.get(), index);  // the family's server keeps no empty texts
        else if (index > 0)
            rc = sqlite3_bind_text(stmt_.get(), index, text->data(), static_cast<int>(text->size()),
                                   SQLITE_TRANSIENT);
        return rc == SQLITE_OK ? 0 : failure(rc);
    }

    int step() override {
        const int rc = sqlite3_step(stmt_.get());
        if (rc == SQLITE_ROW)
            return 0;
        if (rc == SQLITE_DONE)
            return sqlNotFound;
        return failure(rc);
    }

    void row(SqlRow& row) const override {
        const int count = sqlite3_column_count(stmt_.get());
        std::string* values = row.refill(count);
        for (int i = 0; i < count; ++i) {
            // An integer goes straight to its decimal text, without SQLite's
            // own conversion to a text value.
            if (sqlite3_column_type(stmt_.get(), i) == SQLITE_INTEGER) {
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(stmt_.get(), i)).ptr;
                values[i].assign(digits, end);
                continue;
            }
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), i));
            if (text != nullptr)
                values[i].assign(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), i)));
        }
    }

    std::vector<SqlColumn> columns() const override {
        std::vector<SqlColumn> list;
        const int count = sqlite3_column_count(stmt_.get());
        for (int i = 0; i < count; ++i)
            list.push_back(describeColumn(stmt_.get(), i));
        return list;
    }

    void reset() override {
        sqlite3_reset(stmt_.get());
        sqlite3_clear_bindings(stmt_.get());
    }

private:
    std::shared_ptr<Connection> connection_;  // declared first: destroyed after the statement
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
};

class SqliteBackend final : public SqlBackend {
public:
    explicit SqliteBackend(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

    ~SqliteBackend() override {
        if (!connection_->released)
            release();
    }

    PlaceholderStyle placeholderStyle() const override { return PlaceholderStyle::named; }

    int prepare(const std::string& text, std::unique_ptr<BackendStatement>& out) override {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(connection_->db, text.c_str(), static_cast<int>(text.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return failure(rc);
        }
        out = std::make_unique<SqliteStatement>(connection_, stmt);
        return 0;
    }

    int executeScript(std::string_view script) override {
        const std::string text(script);
        const int rc = sqlite3_exec(connection_->db, text.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
        return beginIfNeeded();  // a script may have ended the transaction itself
    }

    int commit() override { return endTransaction("COMMIT"); }
    int rollback() override { return endTransaction("ROLLBACK"); }

    int release() override {
        int code = 0;
        if (sqlite3_get_autocommit(connection_->db) == 0)
            code = execute("ROLLBACK");
        if (code < 0)
            releaseText_ = sqlite3_errmsg(connection_->db);
        // Closing drops any work a failed rollback left behind, so the
        // session ends either way.  Statements still held by cursors keep
        // the connection until they are finalized; reset, they hold no lock.
        resetAll();
        connection_->released = true;
        sqlite3_close_v2(connection_->db);
        connection_->db = nullptr;
        return code;
    }

    int interrupt() override {
        if (connection_->db == nullptr)
            return failure(SQLITE_MISUSE);
        sqlite3_interrupt(connection_->db);
        return 0;
    }

    std::string errorText() const override {
        return connection_->db != nullptr ? sqlite3_errmsg(connection_->db) : releaseText_;
    }

    int beginIfNeeded() { return sqlite3_get_autocommit(connection_->db) != 0 ? execute("BEGIN") : 0; }

private:
    int execute(const char* text) {
        const int rc = sqlite3_exec(connection_->db, text, nullptr, nullptr, nullptr);
        return rc == SQLITE_OK ? 0 : failure(rc);
    }

    /// Open cursors stay open across the end of a transaction, as the
    /// embedded runtime keeps them; SQLite lets their reads go on.
    int endTransaction(const char* verb) {
        const int code = execute(verb);
        if (code < 0)
            return code;
        return beginIfNeeded();
    }

    void resetAll() {
        for (sqlite3_stmt* stmt = sqlite3_next_stmt(connection_->db, nullptr); stmt != nullptr;
             stmt = sqlite3_next_stmt(connection_->db, stmt))
            sqlite3_reset(stmt);
    }

    std::shared_ptr<Connection> connection_;
    std::string releaseText_ = "session ended";  ///< why the closing rollback failed
};

/// Opens the file, with the reason in `text` on failure.
int openConnection(const std::string& path, Connection& connection, std::string& text) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        text = "no database file " + path;
        return failure(SQLITE_CANTOPEN);
    }
    // A connection is used by one thread alone, so it needs no lock of its
    // own, and SQLite keeps no memory statistics behind a global one.  The
    // statistics can only be turned off before SQLite's first use; a later
    // call is refused and changes nothing.
    [[maybe_unused]] static const int noMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    const int rc =
        sqlite3_open_v2(path.c_str(), &connection.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        text = std::string(sqlite3_errstr(rc)) + ": " + path;
        return failure(rc);
    }
    sqlite3_busy_timeout(connection.db, busyTimeoutMs);
    sqlite3_create_collation_v2(connection.db, peloDateCollation, SQLITE_UTF8, nullptr, collatePeloDate, nullptr);
    // Reading the schema now makes a file that is not a database fail here,
    // at the connect, rather than at the first statement of the run.
    const int check = sqlite3_exec(connection.db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK) {
        text = std::string(sqlite3_errmsg(connection.db)) + ": " + path;
        return failure(check);
    }
    return 0;
}

}  // namespace

int comparePeloDates(std::string_view left, std::string_view right) {
    std::array<long, 6> l{};
    std::array<long, 6> r{};
    const bool leftIsDate = parseDate(left, l);
    const bool rightIsDate = parseDate(right, r);
    if (leftIsDate != rightIsDate)
        return leftIsDate ? -1 : 1;
    if (!leftIsDate)
        return byteOrder(left, right);
    for (std::size_t k = 0; k < l.size(); ++k)
        if (l[k] != r[k])
            return l[k] < r[k] ? -1 : 1;
    return 0;
}

int openSqliteBackend(const std::string& path, std::unique_ptr<SqlBackend>& out, std::string& text) {
    auto connection = std::make_shared<Connection>();
    const int code = openConnection(path, *connection, text);
    if (code < 0)
        return code;  // the Connection closes what was opened
    auto backend = std::make_unique<SqliteBackend>(connection);
    if (const int begun = backend->beginIfNeeded(); begun < 0) {
        text = backend->errorText();
        return begun;
    }
    out = std::move(backend);
    return 0;
}

}  // namespace pelo
