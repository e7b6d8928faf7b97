#include "archive/rowCopy.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/accessor.h"
#include "db/session.h"
#include "support/msg.h"

namespace pelo {

namespace {

// ---- the tables ---------------------------------------------------------------

/// Rows on their way from the walk to the copy's writer: for each row its
/// table, then each value as a tag (null, integer or text) and the
/// integer, or the text's length and bytes.
class RowBatch {
public:
    enum Tag : char { null, integer, text };

    void startRow(std::size_t table) { bytes_.push_back(static_cast<char>(table)); }
    void putNull() { bytes_.push_back(null); }
    void putInt(std::int64_t value) {
        bytes_.push_back(integer);
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void putText(const char* value, std::size_t size) {
        const auto length = static_cast<std::uint32_t>(size);
        bytes_.push_back(text);
        bytes_.append(reinterpret_cast<const char*>(&length), sizeof length);
        bytes_.append(value, size);
    }

    std::size_t size() const { return bytes_.size(); }
    void clear() { bytes_.clear(); }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

/// The size at which the walk hands its batch to the writer.
constexpr std::size_t handOverBytes = 1 << 20;

/// How one column of a record reaches the batch.
template <class R>
struct CopyColumn {
    const char* name;
    std::size_t width;  ///< characters of a text column; 0 for an integer
    void (*put)(RowBatch& batch, const R& row);
};

template <auto Member>
using RecordOf = typename accessorDetail::MemberOf<decltype(Member)>::Record;
template <auto Member>
using FieldOf = typename accessorDetail::MemberOf<decltype(Member)>::Field;

// A text goes as it was read, up to its terminator; an empty one as NULL,
// which is how the family's server stores it.
template <auto Member>
void putField(RowBatch& batch, const RecordOf<Member>& row) {
    if constexpr (std::is_integral_v<FieldOf<Member>>) {
        batch.putInt(row.*Member);
    } else {
        const char* text = row.*Member;
        const std::size_t size = std::strlen(text);
        if (size == 0)
            batch.putNull();
        else
            batch.putText(text, size);
    }
}

template <auto Member>
constexpr CopyColumn<RecordOf<Member>> column(const char* name) {
    if constexpr (std::is_integral_v<FieldOf<Member>>)
        return {name, 0, putField<Member>};
    else
        return {name, textWidth(sizeof(FieldOf<Member>)), putField<Member>};
}

/// The table a record's rows go to, and its columns in the family's order.
template <class R>
struct Layout;

#define COLUMN(F) column<&R::F>(#F)
#define LAYOUT(Record, id, ...)                                              \
    namespace Record##Layout {                                               \
    using R = Record;                                                        \
    constexpr CopyColumn<R> columns[] = {__VA_ARGS__};                       \
    }                                                                        \
    template <>                                                              \
    struct Layout<Record> {                                                  \
        static constexpr CopyTable table = CopyTable::id;                    \
        static constexpr std::span<const CopyColumn<Record>> columns{Record##Layout::columns}; \
    }

LAYOUT(ReleaseRecord, releases, COLUMN(ID), COLUMN(NAME), COLUMN(COMPID), COLUMN(BINDING), COLUMN(DESCRIPTION),
       COLUMN(USERID), COLUMN(ADDDATE), COLUMN(DROPDATE), COLUMN(LASTUPDATE), COLUMN(RELSIZE), COLUMN(PROCESS),
       COLUMN(TRACK), COLUMN(APPROVE), COLUMN(FIX), COLUMN(LVL), COLUMN(TEST));
LAYOUT(EnvironmentRecord, environments, COLUMN(NAME), COLUMN(RELEASEID), COLUMN(USERID));
LAYOUT(ApproverRecord, approvers, COLUMN(RELEASEID), COLUMN(USERID));
LAYOUT(LevelRecord, levels, COLUMN(ID), COLUMN(NAME), COLUMN(RELEASEID), COLUMN(USERID), COLUMN(ADDDATE),
       COLUMN(COMMITDATE), COLUMN(LASTUPDATE), COLUMN(STATE), COLUMN(TYPE), COLUMN(LEVELSIZE));
LAYOUT(LevelMemberRecord, levelMembers, COLUMN(LEVELID), COLUMN(TRACKID));
LAYOUT(TrackRecord, tracks, COLUMN(ID), COLUMN(RELEASEID), COLUMN(DEFECTID), COLUMN(USERID), COLUMN(STATE),
       COLUMN(TARGET), COLUMN(ACTUAL), COLUMN(ADDDATE), COLUMN(LASTUPDATE));
LAYOUT(ChangeRecord, changes, COLUMN(PATHID), COLUMN(TRACKID), COLUMN(FILEID), COLUMN(VERSIONID), COLUMN(LEVELID),
       COLUMN(TYPE), COLUMN(USERID));
LAYOUT(ApprovalRecord, approvals, COLUMN(TRACKID), COLUMN(USERID), COLUMN(STATE), COLUMN(ADDDATE),
       COLUMN(LASTUPDATE));
LAYOUT(FixRecord, fixes, COLUMN(TRACKID), COLUMN(USERID), COLUMN(COMPID), COLUMN(STATE), COLUMN(ADDDATE),
       COLUMN(LASTUPDATE));
LAYOUT(TestRecord, tests, COLUMN(TRACKID), COLUMN(ENVNAME), COLUMN(USERID), COLUMN(STATE), COLUMN(ADDDATE),
       COLUMN(LASTUPDATE));
LAYOUT(CoreqRecord, coreqs, COLUMN(TRACKID), COLUMN(GROUPID));
LAYOUT(DefectRecord, defects, COLUMN(ID), COLUMN(TYPE), COLUMN(PREFIX), COLUMN(NAME), COLUMN(COMPID),
       COLUMN(ENVNAME), COLUMN(STATE), COLUMN(SEVERITY), COLUMN(ABSTRACT), COLUMN(REFERENCE), COLUMN(ANSWER),
       COLUMN(LEVELNAME), COLUMN(LASTUPDATE), COLUMN(ADDDATE), COLUMN(ASSIGNDATE), COLUMN(RESPONSEDATE),
       COLUMN(ENDDATE), COLUMN(ORIGINID), COLUMN(OWNERID), COLUMN(AGE), COLUMN(DUPLICATE), COLUMN(RELEASEID));
LAYOUT(HistoryRecord, history, COLUMN(DEFECTID), COLUMN(USERID), COLUMN(ACTION), COLUMN(ADDDATE));
LAYOUT(NoteRecord, notes, COLUMN(DEFECTID), COLUMN(USERID), COLUMN(ACTION), COLUMN(ADDDATE), COLUMN(REMARKS));
// The view's columns that are the Notes row, in the table's order.
LAYOUT(NoteViewRecord, notes, COLUMN(DEFECTID), COLUMN(USERID), COLUMN(ACTION), COLUMN(ADDDATE), COLUMN(REMARKS));
LAYOUT(VerifyRecord, verify, COLUMN(DEFECTID), COLUMN(USERID), COLUMN(TYPE), COLUMN(STATE), COLUMN(ADDDATE),
       COLUMN(LASTUPDATE));
LAYOUT(SizeRecord, sizes, COLUMN(DEFECTID), COLUMN(COMPID), COLUMN(USERID), COLUMN(ADDDATE), COLUMN(LASTUPDATE),
       COLUMN(STATE), COLUMN(SIZING), COLUMN(RELEASEID));
LAYOUT(FileRecord, files, COLUMN(ID), COLUMN(COMPID), COLUMN(SOURCEID), COLUMN(PATHID), COLUMN(NUPATHID),
       COLUMN(VERSIONID), COLUMN(NUVERSIONID), COLUMN(ADDDATE), COLUMN(NUADDDATE), COLUMN(DROPDATE),
       COLUMN(NUDROPDATE), COLUMN(LASTUPDATE), COLUMN(BASENAME), COLUMN(TYPE), COLUMN(RELEASEID),
       COLUMN(USERLOGIN), COLUMN(FMODE));
LAYOUT(PathRecord, paths, COLUMN(ID), COLUMN(NAME));
LAYOUT(VersionRecord, versions, COLUMN(ID), COLUMN(PREVIOUSID), COLUMN(SOURCEID), COLUMN(USERID),
       COLUMN(RAWLINES), COLUMN(CODELINES), COLUMN(COMMENTLINES), COLUMN(REMARKS), COLUMN(CHANGEDATE),
       COLUMN(SID), COLUMN(VERSIZE));
LAYOUT(ComponentRecord, components, COLUMN(ID), COLUMN(NAME), COLUMN(USERID), COLUMN(DESCRIPTION),
       COLUMN(ADDDATE), COLUMN(DROPDATE), COLUMN(LASTUPDATE), COLUMN(PROCESS), COLUMN(FEATUREDSR),
       COLUMN(FEATUREVERIFY), COLUMN(DEFECTDSR), COLUMN(DEFECTVERIFY));
LAYOUT(CompMbrCopy, compMembers, column<&R::parentId>("PARENTID"), column<&R::childId>("CHILDID"),
       column<&R::rank>("RANK"), column<&R::reference>("REFERENCE"));
LAYOUT(UserRecord, users, COLUMN(ID), COLUMN(LOGIN), COLUMN(NAME), COLUMN(SUPERUSER), COLUMN(AREA),
       COLUMN(ADDRESS), COLUMN(ADDDATE), COLUMN(DROPDATE), COLUMN(LASTUPDATE));
LAYOUT(HostRecord, hosts, COLUMN(USERID), COLUMN(NAME), COLUMN(LOGIN), COLUMN(ADDRESS));
LAYOUT(SequenceRecord, sequence, COLUMN(NAME), COLUMN(LASTSERIAL));
LAYOUT(AuthorityRecord, authority, COLUMN(NAME), COLUMN(ACTION));
LAYOUT(InterestRecord, interest, COLUMN(NAME), COLUMN(ACTION));
LAYOUT(ConfigRecord, config, COLUMN(TYPE), COLUMN(NAME), COLUMN(DFLT), COLUMN(VALUE1), COLUMN(VALUE2),
       COLUMN(DESCRIPTION));
LAYOUT(CfgRelProcRecord, relProcs, COLUMN(NAME), COLUMN(CONFIG));
LAYOUT(CfgComProcRecord, compProcs, COLUMN(NAME), COLUMN(CONFIG));

#undef LAYOUT
#undef COLUMN

constexpr std::size_t tableCount = static_cast<std::size_t>(CopyTable::compProcs) + 1;

constexpr std::array<const char*, tableCount> tableNames = {
    "RELEASES", "ENVIRONMENTS", "APPROVERS", "LEVELS",     "LEVELMEMBERS", "TRACKS",    "CHANGES",
    "APPROVALS", "FIX",         "TESTS",     "COREQS",     "DEFECTS",      "HISTORY",   "NOTES",
    "VERIFY",   "SIZES",        "FILES",     "PATH",       "VERSIONS",     "COMPONENTS", "COMPMEMBERS",
    "USERS",    "HOSTS",        "SEQUENCE",  "AUTHORITY",  "INTEREST",     "CONFIG",    "CFGRELPROC",
    "CFGCOMPROC",
};

std::size_t indexOf(CopyTable table) { return static_cast<std::size_t>(table); }

/// One column of a table as the schema and the keys see it.
struct ColumnShape {
    std::string name;
    std::size_t width;  ///< 0 for an integer
};

/// Visits each table's record type once (the Notes view shares its table).
template <class Visit>
void forEachTable(Visit visit) {
    [&]<class... R>(std::type_identity<R>...) { (visit.template operator()<R>(), ...); }(
        std::type_identity<ReleaseRecord>{}, std::type_identity<EnvironmentRecord>{},
        std::type_identity<ApproverRecord>{}, std::type_identity<LevelRecord>{},
        std::type_identity<LevelMemberRecord>{}, std::type_identity<TrackRecord>{},
        std::type_identity<ChangeRecord>{}, std::type_identity<ApprovalRecord>{}, std::type_identity<FixRecord>{},
        std::type_identity<TestRecord>{}, std::type_identity<CoreqRecord>{}, std::type_identity<DefectRecord>{},
        std::type_identity<HistoryRecord>{}, std::type_identity<NoteRecord>{}, std::type_identity<VerifyRecord>{},
        std::type_identity<SizeRecord>{}, std::type_identity<FileRecord>{}, std::type_identity<PathRecord>{},
        std::type_identity<VersionRecord>{}, std::type_identity<ComponentRecord>{},
        std::type_identity<CompMbrCopy>{}, std::type_identity<UserRecord>{}, std::type_identity<HostRecord>{},
        std::type_identity<SequenceRecord>{}, std::type_identity<AuthorityRecord>{},
        std::type_identity<InterestRecord>{}, std::type_identity<ConfigRecord>{},
        std::type_identity<CfgRelProcRecord>{}, std::type_identity<CfgComProcRecord>{});
}

/// The fixed columns of every table, by CopyTable.
const std::array<std::vector<ColumnShape>, tableCount>& fixedColumns() {
    static const std::array<std::vector<ColumnShape>, tableCount> shapes = [] {
        std::array<std::vector<ColumnShape>, tableCount> all;
        forEachTable([&]<class R>() {
            for (const CopyColumn<R>& c : Layout<R>::columns)
                all[indexOf(Layout<R>::table)].push_back({c.name, c.width});
        });
        return all;
    }();
    return shapes;
}

bool configurable(CopyTable table) {
    return table == CopyTable::defects || table == CopyTable::files || table == CopyTable::users;
}

/// A name from the family's catalogue as a quoted identifier, its quotes
/// doubled: it reaches the very column whatever its case or characters.
std::string quotedIdentifier(std::string_view name) {
    std::string text = "\"";
    for (const char c : name)
        text += c == '"' ? std::string("\"\"") : std::string(1, c);
    return text + "\"";
}

/// The name as the copy's schema declares it: bare when it is a plain
/// identifier, so that sqlite3 shows it as the family's own columns.
std::string identifier(std::string_view name) {
    bool plain = !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) == 0;
    for (const char c : name)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_');
    return plain ? std::string(name) : quotedIdentifier(name);
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// ---- SQLite handles ------------------------------------------------------------

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

/// The key of a row: its key columns' texts, apart by a unit separator.
std::string joinKey(const std::vector<std::string>& values) {
    std::string key;
    for (std::size_t i = 0; i < values.size(); ++i)
        key.append(i == 0 ? "" : "\x1f").append(values[i]);
    return key;
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        names.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

}  // namespace

const char* copyTableName(CopyTable table) { return tableNames[indexOf(table)]; }

const std::string& copyKeyColumns(CopyTable table) {
    static const std::array<std::string, tableCount> keys = [] {
        std::array<std::string, tableCount> all;
        for (std::size_t t = 0; t < tableCount; ++t) {
            const std::vector<ColumnShape>& columns = fixedColumns()[t];
            if (columns.front().name == "ID") {
                all[t] = "ID";
                continue;
            }
            // A note's remarks are its text, not what tells it apart.
            for (const ColumnShape& c : columns)
                if (c.name != "REMARKS")
                    all[t].append(all[t].empty() ? "" : ",").append(c.name);
        }
        return all;
    }();
    return keys[indexOf(table)];
}

// ---- writing ------------------------------------------------------------------

/// The configured columns of one table: their description, and their
/// values for the ids of the last load, read beside the fixed columns.
struct Configured {
    std::vector<SqlColumn> columns;
    std::unique_ptr<RowGroups> window;  ///< the ids of the last load
    std::unique_ptr<RowGroups> single;  ///< an id no load read
};

// The inserts run on a writer thread of their own, beside the walk, which
// only encodes its rows into batches and hands each full one over.  Only
// the writer uses the copy's handle from then until finish, which waits for
// it before the commit.  A few batches at most wait for the writer; the
// walk waits when it is that far ahead.
struct RowCopy::State {
    std::string path;
    Database db;
    std::array<Statement, tableCount> inserts;
    std::array<Configured, tableCount> configured;
    std::string failure;  ///< the first failure, empty while there is none
    bool open = false;
    std::chrono::steady_clock::duration spent{};  ///< in the calls that write the copy

    RowBatch filling;  ///< the walk's batch
    std::thread writer;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<RowBatch> handedOver;  ///< oldest first
    std::vector<RowBatch> spare;      ///< written batches, for reuse
    bool closing = false;             ///< no batch follows those handed over
    std::atomic<bool> failed = false;  ///< failure is set; the writer sets it once

    ~State() { stopWriter(); }

    /// false, remembering the first failure, unless rc is one of the
    /// results that mean success.
    bool check(int rc) {
        if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW)
            return true;
        if (failure.empty())
            failure = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
        failed = true;
        return false;
    }

    bool exec(const std::string& sql) { return check(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr)); }

    /// Starts the writer with every signal blocked in it, so that the
    /// walk's thread alone handles them.
    void startWriter() {
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        writer = std::thread([this] { write(); });
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    /// Hands the walk's batch to the writer, waiting while the writer is
    /// a few batches behind.
    void handOver() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return handedOver.size() < 4; });
        handedOver.push_back(std::move(filling));
        filling = spare.empty() ? RowBatch() : std::move(spare.back());
        if (!spare.empty())
            spare.pop_back();
        changed.notify_all();
    }

    /// Hands over what is left and waits until the writer has written it.
    void stopWriter() {
        if (!writer.joinable())
            return;
        if (filling.size() != 0)
            handOver();
        {
            const std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        writer.join();
    }

    /// The writer: each batch handed over, row by row, into its table.
    void write() {
        for (;;) {
            RowBatch batch;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return !handedOver.empty() || closing; });
                if (handedOver.empty())
                    return;
                batch = std::move(handedOver.front());
                handedOver.pop_front();
            }
            if (!failed)
                insertRows(batch.bytes());
            batch.clear();
            {
                const std::lock_guard lock(mutex);
                spare.push_back(std::move(batch));
            }
            changed.notify_all();
        }
    }

    void insertRows(const std::string& bytes) {
        const char* at = bytes.data();
        const char* const end = at + bytes.size();
        while (at < end && !failed) {
            sqlite3_stmt* insert = inserts[static_cast<std::size_t>(*at++)].get();
            const int columns = sqlite3_bind_parameter_count(insert);
            for (int index = 1; index <= columns; ++index) {
                const char tag = *at++;
                if (tag == RowBatch::null) {
                    sqlite3_bind_null(insert, index);
                } else if (tag == RowBatch::integer) {
                    std::int64_t value = 0;
                    std::memcpy(&value, at, sizeof value);
                    at += sizeof value;
                    sqlite3_bind_int64(insert, index, value);
                } else {
                    std::uint32_t length = 0;
                    std::memcpy(&length, at, sizeof length);
                    at += sizeof length;
                    sqlite3_bind_text(insert, index, at, static_cast<int>(length), SQLITE_STATIC);
                    at += length;
                }
            }
            // Every parameter is bound again for each row, so none is cleared.
            check(sqlite3_step(insert));
            sqlite3_reset(insert);
        }
    }
};

namespace {

/// Adds the time from its making to its end to what the copy has cost.
class Spending {
public:
    explicit Spending(RowCopy::State& s) : s_(s), start_(std::chrono::steady_clock::now()) {}
    ~Spending() { s_.spent += std::chrono::steady_clock::now() - start_; }
    Spending(const Spending&) = delete;
    Spending& operator=(const Spending&) = delete;

private:
    RowCopy::State& s_;
    std::chrono::steady_clock::time_point start_;
};

/// The configured columns the family has in the table: every column of
/// it that is not a fixed one, in the table's order.
bool describeConfigured(CopyTable table, Configured& configured) {
    SqlCursor all(std::string("SELECT * FROM ") + copyTableName(table));
    std::vector<SqlColumn> described = all.describe();
    if (described.empty())
        return false;
    std::unordered_set<std::string> fixed;
    for (const ColumnShape& c : fixedColumns()[indexOf(table)])
        fixed.insert(c.name);
    std::string list;
    for (SqlColumn& c : described)
        if (!fixed.contains(upper(c.name))) {
            list.append(list.empty() ? "" : ",").append(quotedIdentifier(c.name));
            configured.columns.push_back(std::move(c));
        }
    if (configured.columns.empty())
        return true;
    const std::string text = bulkStatementText(list, copyTableName(table), "ID", "ID", "");
    configured.window = std::make_unique<RowGroups>(text, true);
    configured.single = std::make_unique<RowGroups>(text, true);
    return true;
}

std::string createText(CopyTable table, const std::vector<SqlColumn>& configured) {
    std::string text = std::string("CREATE TABLE ") + copyTableName(table) + " (";
    const auto add = [&](const std::string& name, std::size_t width) {
        text.append(text.ends_with("(") ? "\n  " : ",\n  ").append(name);
        text.append(width == 0 ? " INTEGER" : " VARCHAR(" + std::to_string(width) + ")");
    };
    for (const ColumnShape& c : fixedColumns()[indexOf(table)])
        add(c.name, c.width);
    for (const SqlColumn& c : configured)
        add(identifier(upper(c.name)),
            c.type == SqlColumn::Type::integer ? 0 : static_cast<std::size_t>(std::max(c.length, 1)));
    return text + "\n);\n";
}

std::string insertText(CopyTable table, std::size_t columns) {
    std::string text = std::string("INSERT INTO ") + copyTableName(table) + " VALUES (";
    for (std::size_t i = 0; i < columns; ++i)
        text.append(i == 0 ? "?" : ",?");
    return text + ")";
}

}  // namespace

RowCopy::RowCopy() : state_(std::make_unique<State>()) {}

RowCopy::~RowCopy() = default;

bool RowCopy::isOpen() const { return state_->open; }

int RowCopy::create(const std::string& path) {
    State& s = *state_;
    const Spending spending(s);
    s.path = path;
    // Made here, never reused: a file already there belongs to someone else.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        msgPrint(1712, path.c_str(), std::strerror(errno));
        return 1;
    }
    ::close(fd);
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    s.db.reset(db);
    // The journal stays in memory, so no file but the copy is ever made; a
    // run that stops half-way removes the copy anyway.  Each commit waits
    // for the disk.
    bool ok = s.check(opened) && s.exec("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=FULL; BEGIN;");
    for (std::size_t t = 0; ok && t < tableCount; ++t) {
        const CopyTable table = static_cast<CopyTable>(t);
        Configured& configured = s.configured[t];
        if (configurable(table) && !describeConfigured(table, configured)) {
            s.failure = sqlca.sqlerrm;
            ok = false;
            break;
        }
        sqlite3_stmt* insert = nullptr;
        const std::string text = insertText(table, fixedColumns()[t].size() + configured.columns.size());
        ok = s.exec(createText(table, configured.columns)) &&
             s.check(sqlite3_prepare_v2(s.db.get(), text.c_str(), -1, &insert, nullptr));
        s.inserts[t].reset(insert);
    }
    if (!ok) {
        msgPrint(1712, path.c_str(), s.failure.c_str());
        s.db.reset();
        return 1;
    }
    s.open = true;
    s.startWriter();
    return 0;
}

void RowCopy::loadConfigured(CopyTable table, std::span<const std::int32_t> ids) {
    Configured& configured = state_->configured[indexOf(table)];
    if (!state_->open || !configured.window)
        return;
    const Spending spending(*state_);
    configured.window->load(ids);
}

template <class R>
void RowCopy::insert(const R& row, std::int32_t configuredId) {
    State& s = *state_;
    if (!s.open || s.failed)
        return;
    const Spending spending(s);
    const std::size_t t = indexOf(Layout<R>::table);
    RowBatch& batch = s.filling;
    batch.startRow(t);
    for (const CopyColumn<R>& c : Layout<R>::columns)
        c.put(batch, row);
    Configured& configured = s.configured[t];
    if (configured.window) {
        RowGroups* groups = configured.window.get();
        if (!groups->holds(configuredId)) {
            groups = configured.single.get();
            groups->load(std::span<const std::int32_t>(&configuredId, 1));
        }
        const std::span<const SqlRow> found = groups->rows(configuredId);
        for (std::size_t i = 0; i < configured.columns.size(); ++i) {
            const std::string& value = found.empty() ? std::string() : found.front().textAt(static_cast<int>(i));
            if (value.empty())
                batch.putNull();
            else if (configured.columns[i].type == SqlColumn::Type::integer)
                batch.putInt(found.front().intAt(static_cast<int>(i)));
            else
                batch.putText(value.data(), value.size());
        }
    }
    if (batch.size() >= handOverBytes)
        s.handOver();
}

void RowCopy::copy(const ReleaseRecord& row) { insert(row); }
void RowCopy::copy(const EnvironmentRecord& row) { insert(row); }
void RowCopy::copy(const ApproverRecord& row) { insert(row); }
void RowCopy::copy(const LevelRecord& row) { insert(row); }
void RowCopy::copy(const LevelMemberRecord& row) { insert(row); }
void RowCopy::copy(const TrackRecord& row) { insert(row); }
void RowCopy::copy(const ChangeRecord& row) { insert(row); }
void RowCopy::copy(const ApprovalRecord& row) { insert(row); }
void RowCopy::copy(const FixRecord& row) { insert(row); }
void RowCopy::copy(const TestRecord& row) { insert(row); }
void RowCopy::copy(const CoreqRecord& row) { insert(row); }
void RowCopy::copy(const DefectRecord& row) { insert(row, row.ID); }
void RowCopy::copy(const HistoryRecord& row) { insert(row); }
void RowCopy::copy(const NoteRecord& row) { insert(row); }
void RowCopy::copy(const NoteViewRecord& row) { insert(row); }
void RowCopy::copy(const VerifyRecord& row) { insert(row); }
void RowCopy::copy(const SizeRecord& row) { insert(row); }
void RowCopy::copy(const FileRecord& row) { insert(row, row.ID); }
void RowCopy::copy(const PathRecord& row) { insert(row); }
void RowCopy::copy(const VersionRecord& row) { insert(row); }
void RowCopy::copy(const ComponentRecord& row) { insert(row); }
void RowCopy::copy(const CompMbrCopy& row) { insert(row); }
void RowCopy::copy(const UserRecord& row) { insert(row, row.ID); }
void RowCopy::copy(const HostRecord& row) { insert(row); }
void RowCopy::copy(const SequenceRecord& row) { insert(row); }
void RowCopy::copy(const AuthorityRecord& row) { insert(row); }
void RowCopy::copy(const InterestRecord& row) { insert(row); }
void RowCopy::copy(const ConfigRecord& row) { insert(row); }
void RowCopy::copy(const CfgRelProcRecord& row) { insert(row); }
void RowCopy::copy(const CfgComProcRecord& row) { insert(row); }

int RowCopy::finish() {
    State& s = *state_;
    if (!s.open)
        return 1;
    const Spending spending(s);
    s.open = false;
    s.stopWriter();
    for (Statement& insert : s.inserts)
        insert.reset();
    for (Configured& configured : s.configured)
        configured = {};
    const bool committed = s.failure.empty() && s.exec("COMMIT;");
    const int closed = sqlite3_close(s.db.release());
    if (committed && closed == SQLITE_OK)
        return 0;
    msgPrint(1712, s.path.c_str(), s.failure.empty() ? sqlite3_errstr(closed) : s.failure.c_str());
    return 1;
}

double RowCopy::seconds() const { return std::chrono::duration<double>(state_->spent).count(); }

// ---- reading the keys -----------------------------------------------------------

struct RowCopyKeys::State {
    std::string path;
    Database db;
    bool unreadable = false;
    std::unordered_map<std::size_t, std::unordered_set<std::string>> keys;  ///< by table, once read
    std::map<std::string, std::unique_ptr<SqlCursor>> family;               ///< by statement text

    /// The keys of the table, read from the copy the first time; null
    /// after message 1712 when the copy cannot be read.
    const std::unordered_set<std::string>* keysOf(CopyTable table);
};

const std::unordered_set<std::string>* RowCopyKeys::State::keysOf(CopyTable table) {
    if (const auto read = keys.find(indexOf(table)); read != keys.end())
        return &read->second;
    if (unreadable)
        return nullptr;
    sqlite3* handle = nullptr;
    int rc = db ? SQLITE_OK : sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
    if (!db)
        db.reset(handle);
    sqlite3_stmt* select = nullptr;
    const std::string text = std::string("SELECT ") + copyKeyColumns(table) + " FROM " + copyTableName(table);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db.get(), text.c_str(), -1, &select, nullptr);
    const Statement owned(select);
    std::unordered_set<std::string> read;
    std::vector<std::string> values;
    while (rc == SQLITE_OK && (rc = sqlite3_step(select)) == SQLITE_ROW) {
        values.clear();
        for (int i = 0; i < sqlite3_column_count(select); ++i) {
            const unsigned char* value = sqlite3_column_text(select, i);
            values.emplace_back(value != nullptr ? reinterpret_cast<const char*>(value) : "");
        }
        read.insert(joinKey(values));
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE) {
        unreadable = true;
        msgPrint(1712, path.c_str(), db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
        return nullptr;
    }
    return &(keys[indexOf(table)] = std::move(read));
}

RowCopyKeys::RowCopyKeys(std::string path) : state_(std::make_unique<State>()) { state_->path = std::move(path); }

RowCopyKeys::~RowCopyKeys() = default;

std::optional<std::string> RowCopyKeys::firstMissing(CopyTable table, std::string_view condition, SqlBinds binds) {
    const std::unordered_set<std::string>* copied = state_->keysOf(table);
    if (copied == nullptr)
        return std::string();
    const std::string text =
        std::string("SELECT ") + copyKeyColumns(table) + " FROM " + copyTableName(table) + " WHERE " + std::string(condition);
    std::unique_ptr<SqlCursor>& cursor = state_->family[text];
    if (!cursor)
        cursor = std::make_unique<SqlCursor>(text);
    if (cursor->open(binds) < 0)
        dbFatalError();
    std::optional<std::string> missing;
    std::vector<std::string> values;
    SqlRow row;
    int fetched = 0;
    while ((fetched = cursor->fetch(row)) == 0) {
        values.clear();
        for (int i = 0; i < row.columns(); ++i)
            values.push_back(row.textAt(i));
        if (copied->contains(joinKey(values)))
            continue;
        const std::vector<std::string> names = split(copyKeyColumns(table));
        missing.emplace();
        for (std::size_t i = 0; i < values.size() && i < names.size(); ++i)
            missing->append(i == 0 ? "" : ", ").append(names[i]).append("=").append(values[i]);
        break;
    }
    cursor->close();
    if (fetched < 0)
        dbFatalError();
    return missing;
}

}  // namespace pelo
