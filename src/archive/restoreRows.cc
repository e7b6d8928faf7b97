#include "archive/restoreRows.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include <nlohmann/json.hpp>

#include "archive/getArchOpts.h"
#include "archive/peloarchive.h"
#include "archive/rowCopy.h"
#include "db/backend.h"
#include "db/client.h"
#include "db/session.h"
#include "support/msg.h"
#include "vc/location.h"

namespace pelo {

namespace {

/// A table a removal deletes from, and the column its rows are found by:
/// the row's own ID, or the id of the object it belongs to.
struct RestoredTable {
    CopyTable table;
    const char* locator;
};

// Files come before versions, whose sources' histories need the type of
// a file of theirs; the order is otherwise the removal's in reverse.
constexpr RestoredTable restoredTables[] = {
    {CopyTable::releases, "ID"},         {CopyTable::environments, "RELEASEID"}, {CopyTable::approvers, "RELEASEID"},
    {CopyTable::levels, "ID"},           {CopyTable::levelMembers, "LEVELID"},   {CopyTable::tracks, "ID"},
    {CopyTable::changes, "TRACKID"},     {CopyTable::approvals, "TRACKID"},      {CopyTable::fixes, "TRACKID"},
    {CopyTable::tests, "TRACKID"},       {CopyTable::coreqs, "TRACKID"},         {CopyTable::defects, "ID"},
    {CopyTable::history, "DEFECTID"},    {CopyTable::notes, "DEFECTID"},         {CopyTable::verify, "DEFECTID"},
    {CopyTable::sizes, "DEFECTID"},      {CopyTable::paths, "ID"},               {CopyTable::files, "ID"},
    {CopyTable::versions, "ID"},
};

/// The one column of each table a removal changes in rows it keeps, always
/// to 0: a defect whose release went, a version built on one that went.
const char* setBackColumn(CopyTable table) {
    return table == CopyTable::defects ? "RELEASEID" : table == CopyTable::versions ? "PREVIOUSID" : nullptr;
}

constexpr std::size_t windowRows = 1000;
constexpr std::size_t batchBytes = 1 << 20;

using Row = std::vector<std::string>;  // NULL reads as "", as the family's rows do

struct CloseCopy {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeCopy {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using CopyHandle = std::unique_ptr<sqlite3, CloseCopy>;
using CopyStatement = std::unique_ptr<sqlite3_stmt, FinalizeCopy>;

std::string sqlName(const std::string& name) {
    const bool plain = std::ranges::all_of(name, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    return plain ? name : "\"" + name + "\"";
}

// ---- the rows of a window as one JSON text ---------------------------------------

bool sqlite() { return sqlProduct() == SqlProduct::sqlite; }

/// Item k of a row of the JSON array that rowsFrom spreads out.
std::string jsonItem(std::size_t k, bool integer) {
    const std::string at = std::to_string(k);
    if (sqlite())
        return "json_extract(e.value,'$[" + at + "]')";
    return integer ? "(e->>" + at + ")::int4" : "e->>" + at;
}

/// The rows of the JSON array bound as :b1, one per element, as "e".
std::string rowsFrom() {
    return sqlite() ? "json_each(:b1) AS e" : "json_array_elements(CAST(:b1 AS json)) AS e";
}

/// Values gathered into one bound JSON array and sent with one statement
/// when the array grows large and at the end.
class JsonBatch {
public:
    explicit JsonBatch(std::string statement) : statement_(std::move(statement)) {}

    /// Adds the item; false when a text of it is not UTF-8, which JSON cannot carry.
    bool add(const nlohmann::json& item) {
        try {
            text_ += (text_.empty() ? "[" : ",") + item.dump();
        } catch (const nlohmann::json::type_error&) {
            return false;
        }
        if (text_.size() >= batchBytes)
            send();
        return true;
    }

    void send() {
        if (text_.empty())
            return;
        text_ += "]";
        if (sqlExecute(statement_, {{1, std::string_view(text_)}}) < 0)
            dbFatalError();
        text_.clear();
    }

private:
    std::string statement_;
    std::string text_;
};

// ---- one table ---------------------------------------------------------------------

/// A table of the copy as the walk reads it, and what the walk learns.
struct TableWalk {
    CopyTable table = CopyTable::releases;
    std::vector<std::string> columns;  ///< the copy's, in its order
    std::vector<bool> integer;
    std::vector<std::size_t> key;      ///< places of the key columns
    std::size_t locator = 0;
    std::optional<std::size_t> setBack;
    bool write = false;
    RestoredRows tally;
    std::int64_t conflicts = 0;
    std::unique_ptr<SqlCursor> family;
    std::unique_ptr<JsonBatch> inserts, setBacks;
    /// Versions: the sources whose versions come back, and each source's
    /// newest copied version; files: the type of each source's files.
    std::set<std::int32_t> restoredSources;
    std::map<std::int32_t, std::int32_t> newestVersion;
    std::map<std::int32_t, std::string> sourceTypes;
    /// Releases: the names of those that come back.
    std::vector<std::string> names;

    std::size_t at(const std::string& column) const {
        return std::size_t(std::ranges::find(columns, column) - columns.begin());
    }
};

std::string keyText(const TableWalk& walk, const Row& row) {
    std::string text;
    for (const std::size_t k : walk.key) {
        text += (text.empty() ? "" : ", ") + walk.columns[k] + "=";
        // One line per conflict: a key's own line ends and backslashes are shown escaped.
        for (const char c : row[k])
            text += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
    }
    return text;
}

std::string joinedKey(const TableWalk& walk, const Row& row) {
    std::string key;
    for (const std::size_t k : walk.key)
        key.append(row[k]).push_back('\x1f');
    return key;
}

std::int32_t intOf(const std::string& text) {
    std::int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

/// The statements of the table: the family's rows of a window, the insert
/// of new rows and the set-back of a column, each prepared once.
void prepareStatements(TableWalk& walk) {
    const std::string table = copyTableName(walk.table);
    std::string list, items;
    for (std::size_t i = 0; i < walk.columns.size(); ++i) {
        list += (i == 0 ? "" : ",") + sqlName(walk.columns[i]);
        items += (i == 0 ? "" : ",") + jsonItem(i, walk.integer[i]);
    }
    walk.family = std::make_unique<SqlCursor>("SELECT " + list + " FROM " + table + " WHERE " +
                                              walk.columns[walk.locator] + " IN LIST(:b1)");
    walk.inserts = std::make_unique<JsonBatch>("INSERT INTO " + table + " (" + list + ") SELECT " + items + " FROM " +
                                               rowsFrom());
    const char* column = setBackColumn(walk.table);
    if (column == nullptr)
        return;
    walk.setBacks = std::make_unique<JsonBatch>("UPDATE " + table + " SET " + column + "=j.v FROM (SELECT " +
                                                jsonItem(0, true) + " AS k," + jsonItem(1, true) + " AS v FROM " +
                                                rowsFrom() + ") AS j WHERE " + table + ".ID=j.k");
}

/// The copy's columns of the table; false after message 1712.
bool describeTable(sqlite3* copy, const std::string& path, TableWalk& walk, const char* locator) {
    sqlite3_stmt* raw = nullptr;
    const std::string text = std::string("SELECT * FROM ") + copyTableName(walk.table) + " LIMIT 0";
    if (sqlite3_prepare_v2(copy, text.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        msgPrint(1712, path.c_str(), sqlite3_errmsg(copy));
        return false;
    }
    const CopyStatement statement(raw);
    for (int i = 0; i < sqlite3_column_count(raw); ++i) {
        const char* type = sqlite3_column_decltype(raw, i);
        walk.columns.emplace_back(sqlite3_column_name(raw, i));
        walk.integer.push_back(type != nullptr && std::string_view(type).starts_with("INTEGER"));
    }
    const std::string& keys = copyKeyColumns(walk.table);
    for (std::size_t start = 0; start <= keys.size();) {
        const std::size_t comma = std::min(keys.find(',', start), keys.size());
        walk.key.push_back(walk.at(keys.substr(start, comma - start)));
        start = comma + 1;
    }
    walk.locator = walk.at(locator);
    if (const char* column = setBackColumn(walk.table))
        walk.setBack = walk.at(column);
    const bool known = walk.locator < walk.columns.size() &&
                       std::ranges::all_of(walk.key, [&](std::size_t k) { return k < walk.columns.size(); });
    if (!known)
        msgPrint(1712, path.c_str(), (text + ": a key column is missing").c_str());
    return known;
}

/// Whether the family's row differs from the copied one in the set-back
/// column alone, where the removal left 0.
bool onlySetBack(const TableWalk& walk, const Row& copied, const Row& held) {
    if (!walk.setBack || held[*walk.setBack] != "0" || copied[*walk.setBack] == "0")
        return false;
    for (std::size_t i = 0; i < copied.size(); ++i)
        if (i != *walk.setBack && copied[i] != held[i])
            return false;
    return true;
}

/// A copied row the family lacks; false after message 1743.
bool putBack(TableWalk& walk, const Row& row) {
    ++walk.tally.putBack;
    if (walk.table == CopyTable::releases)
        walk.names.push_back(row[walk.at("NAME")]);
    if (walk.table == CopyTable::versions)
        walk.restoredSources.insert(intOf(row[walk.at("SOURCEID")]));
    nlohmann::json item = nlohmann::json::array();
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i].empty())
            item.push_back(nullptr);
        else if (walk.integer[i])
            item.push_back(intOf(row[i]));
        else
            item.push_back(row[i]);
    }
    // A comparison alone checks that the row can be carried too, so a
    // restore never fails on it half-way.
    bool carried = true;
    if (walk.write) {
        carried = walk.inserts->add(item);
    } else {
        try {
            static_cast<void>(item.dump());
        } catch (const nlohmann::json::type_error&) {
            carried = false;
        }
    }
    if (!carried)
        msgPrint(1743, copyTableName(walk.table), keyText(walk, row).c_str());
    return carried;
}

void setBack(TableWalk& walk, std::int32_t id, std::int32_t value) {
    ++walk.tally.setBack;
    if (walk.write)
        walk.setBacks->add(nlohmann::json::array({id, value}));
}

/// The copied rows of one window against the family's rows of its locators.
bool compareWindow(TableWalk& walk, const std::vector<Row>& window) {
    sigCheck();
    std::vector<std::int32_t> locators;
    for (const Row& row : window)
        locators.push_back(intOf(row[walk.locator]));
    const std::string list = sqlIdList(locators);
    if (walk.family->open({{1, std::string_view(list)}}) < 0)
        dbFatalError();
    std::unordered_map<std::string, std::vector<Row>> held;
    SqlRow fetched;
    int status = 0;
    while ((status = walk.family->fetch(fetched)) == 0) {
        Row row;
        for (int i = 0; i < fetched.columns(); ++i)
            row.push_back(fetched.textAt(i));
        held[joinedKey(walk, row)].push_back(std::move(row));
    }
    walk.family->close();
    if (status < 0)
        dbFatalError();
    for (const Row& row : window) {
        if (walk.table == CopyTable::versions) {
            std::int32_t& newest = walk.newestVersion[intOf(row[walk.at("SOURCEID")])];
            newest = std::max(newest, intOf(row[walk.at("ID")]));
        }
        if (walk.table == CopyTable::files)
            walk.sourceTypes[intOf(row[walk.at("SOURCEID")])] = row[walk.at("TYPE")];
        const auto found = held.find(joinedKey(walk, row));
        if (found == held.end() || found->second.empty()) {
            if (!putBack(walk, row))
                return false;
            continue;
        }
        // Rows alike in every column are one row each: duplicates come back as many as went.
        std::vector<Row>& rows = found->second;
        const auto same = std::ranges::find(rows, row);
        if (same != rows.end()) {
            rows.erase(same);
            continue;
        }
        const Row heldRow = std::move(rows.front());
        rows.erase(rows.begin());
        if (onlySetBack(walk, row, heldRow)) {
            setBack(walk, intOf(row[walk.at("ID")]), intOf(row[*walk.setBack]));
            continue;
        }
        ++walk.conflicts;
        msgPrint(1733, copyTableName(walk.table), keyText(walk, row).c_str());
    }
    return true;
}

/// A level archive's removal makes the versions built on the newest one it
/// takes of a source into roots.  Those the family holds as roots after
/// that version, of a source whose versions come back, are built on it
/// again; a version made a root on purpose there cannot be told apart.
void setBackRoots(TableWalk& walk) {
    const std::vector<std::int32_t> sources(walk.restoredSources.begin(), walk.restoredSources.end());
    SqlCursor roots("SELECT ID,SOURCEID FROM VERSIONS WHERE PREVIOUSID=0 AND SOURCEID IN LIST(:b1)");
    for (std::size_t start = 0; start < sources.size(); start += windowRows) {
        const std::size_t end = std::min(sources.size(), start + windowRows);
        const std::string list = sqlIdList(std::span(sources).subspan(start, end - start));
        if (roots.open({{1, std::string_view(list)}}) < 0)
            dbFatalError();
        std::vector<std::pair<std::int32_t, std::int32_t>> found;
        SqlRow row;
        int status = 0;
        while ((status = roots.fetch(row)) == 0)
            if (const std::int32_t newest = walk.newestVersion[row.intAt(1)]; row.intAt(0) > newest)
                found.emplace_back(row.intAt(0), newest);
        roots.close();
        if (status < 0)
            dbFatalError();
        for (const auto& [id, newest] : found)
            setBack(walk, id, newest);
    }
}

/// A release's name is unique in the family: one it has given to another
/// release since the removal is a conflict too.
void nameConflicts(TableWalk& walk) {
    const std::string list = sqlTextList(walk.names);
    SqlCursor held("SELECT NAME FROM RELEASES WHERE NAME IN TEXT LIST(:b1)");
    if (held.open({{1, std::string_view(list)}}) < 0)
        dbFatalError();
    SqlRow row;
    int status = 0;
    while ((status = held.fetch(row)) == 0) {
        ++walk.conflicts;
        const std::string key = "NAME=" + row.textAt(0);
        msgPrint(1733, "RELEASES", key.c_str());
    }
    held.close();
    if (status < 0)
        dbFatalError();
}

/// Every row of the table, window by window; false after a message.
bool walkTable(sqlite3* copy, const std::string& path, TableWalk& walk, const char* locator) {
    if (!describeTable(copy, path, walk, locator))
        return false;
    prepareStatements(walk);
    sqlite3_stmt* raw = nullptr;
    const std::string text = std::string("SELECT * FROM ") + copyTableName(walk.table) + " ORDER BY " + locator;
    int rc = sqlite3_prepare_v2(copy, text.c_str(), -1, &raw, nullptr);
    const CopyStatement statement(raw);
    std::vector<Row> window;
    bool ok = true;
    while (ok && rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const unsigned char* value = sqlite3_column_text(raw, i);
            row.emplace_back(value != nullptr ? reinterpret_cast<const char*>(value) : "",
                             static_cast<std::size_t>(sqlite3_column_bytes(raw, i)));
        }
        // A window ends between two locators, so each locator's family rows are read once.
        if (window.size() >= windowRows && window.back()[walk.locator] != row[walk.locator]) {
            ok = compareWindow(walk, window);
            window.clear();
        }
        window.push_back(std::move(row));
        rc = SQLITE_OK;
    }
    if (ok && rc != SQLITE_DONE) {
        msgPrint(1712, path.c_str(), sqlite3_errmsg(copy));
        return false;
    }
    ok = ok && (window.empty() || compareWindow(walk, window));
    if (ok && walk.table == CopyTable::versions)
        setBackRoots(walk);
    if (ok && !walk.names.empty())
        nameConflicts(walk);
    if (ok && walk.write) {
        walk.inserts->send();
        if (walk.setBacks)
            walk.setBacks->send();
    }
    return ok;
}

}  // namespace

int restoreRows(const std::string& copyPath, bool write, RowRestore& result) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(copyPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const CopyHandle copy(raw);
    if (opened != SQLITE_OK) {
        msgPrint(1712, copyPath.c_str(), raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(opened));
        return 1;
    }
    result = {};
    std::map<std::int32_t, std::string> sourceTypes;
    for (const RestoredTable& restored : restoredTables) {
        TableWalk walk;
        walk.table = restored.table;
        walk.write = write;
        walk.tally.table = copyTableName(restored.table);
        if (!walkTable(copy.get(), copyPath, walk, restored.locator))
            return 1;
        result.tables.push_back(walk.tally);
        result.conflicts += walk.conflicts;
        sourceTypes.merge(walk.sourceTypes);
        for (const std::int32_t source : walk.restoredSources)
            if (const auto type = sourceTypes.find(source); type != sourceTypes.end())
                result.historyPlaces.insert(std::string("vc/") + vcLocation(source, fileType(type->second)));
    }
    return 0;
}

}  // namespace pelo
