// The report query behind the configurable columns of the populate script.
#include "db/report.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <type_traits>
#include <variant>

#include "db/session.h"
#include "support/error.h"
#include "support/msg.h"

namespace pelo {

namespace {

/// Widest select list a report takes.
constexpr std::size_t selectListMax = 254;

struct ReportState {
    SqlRow rowBuffer;
    std::vector<SqlColumn> items;  ///< the select list of the current query
    /// One cursor per statement text, so each text is prepared once a session.
    std::map<std::string, SqlCursor, std::less<>> cursors;
    SqlCursor* current = nullptr;  ///< the cursor of the current or last query
    bool descriptorHeld = false;   ///< a query is between describe and its end
};

// The report's side of the one database session, process-wide as the
// accessors' statements are: its prepared statements and the select
// descriptor of the query under way.
ReportState& state() {
    static ReportState report;
    return report;
}

/// Marks the select list as held for the length of one query; a query
/// begun while another holds it complains first.
class HeldDescriptor {
public:
    HeldDescriptor() {
        if (state().descriptorHeld)
            error(msgGet(110, "sdp not released", "report"));
        state().descriptorHeld = true;
    }
    HeldDescriptor(const HeldDescriptor&) = delete;
    HeldDescriptor& operator=(const HeldDescriptor&) = delete;
    ~HeldDescriptor() { state().descriptorHeld = false; }
};

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isIdentifier(std::string_view name) {
    const auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) == 0 &&
           std::all_of(name.begin(), name.end(), wordChar);
}

bool isColumnList(std::string_view list) {
    if (trimmed(list) == "*")
        return true;
    std::size_t items = 0;
    for (std::size_t start = 0; start <= list.size(); ++items) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (!isIdentifier(trimmed(list.substr(start, comma - start))))
            return false;
        start = comma + 1;
    }
    return items <= selectListMax;
}

/// A name that would let text of the family's files into the statement.
int refuseName(std::string_view name, std::string& errorBuffer) {
    sqlSetStatus(reportInvalidName, std::string("not an SQL name: ").append(name));
    return dbErrorMessage(errorBuffer);
}

/// The select list a report reads: "*" when none is given.
std::string_view selectList(std::string_view columnList) {
    return trimmed(columnList).empty() ? std::string_view("*") : columnList;
}

/// 0 when the relation, the key column and the select list are plain
/// names; otherwise the refusal of the first that is not.
int refuseNames(std::string_view relation, std::string_view keyColumn, std::string_view columns,
                std::string& errorBuffer) {
    if (!isIdentifier(relation))
        return refuseName(relation, errorBuffer);
    if (!isIdentifier(keyColumn))
        return refuseName(keyColumn, errorBuffer);
    if (!isColumnList(columns))
        return refuseName(columns, errorBuffer);
    return 0;
}

SqlCursor& reportCursor(const std::string& text) {
    auto& cursors = state().cursors;
    auto found = cursors.find(text);
    if (found == cursors.end())
        found = cursors.try_emplace(text, text).first;
    state().current = &found->second;
    return found->second;
}

/// The row buffer is cleared before each fetch, and the text slots show it.
void clearRow(ReportSlots& slots) {
    ReportState& report = state();
    report.rowBuffer.clear();
    for (std::size_t i = 0; i < report.items.size() && i + 1 < slots.formatOffset.size(); ++i)
        if (report.items[i].type == SqlColumn::Type::text)
            slots.formatOffset[i + 1].clear();
}

void showRow(ReportSlots& slots) {
    ReportState& report = state();
    for (std::size_t i = 0; i < report.items.size() && i + 1 < slots.formatOffset.size(); ++i)
        if (report.items[i].type == SqlColumn::Type::text)
            slots.formatOffset[i + 1] = report.rowBuffer.textAt(static_cast<int>(i));
}

/// Hands the rows that `next` gives (0 with a row, sqlNotFound at their
/// end, below 0 a failure) to the routine, the slots showing each, until
/// the routine stops the query.  0, or 1 after a failure.
template <class Next>
int handRows(Next next, ReportRoutine routine, std::string& errorBuffer, ReportSlots& slots) {
    ReportState& report = state();
    for (;;) {
        clearRow(slots);
        const int code = next(report.rowBuffer);
        if (code < 0)
            return dbErrorMessage(errorBuffer);
        if (code == sqlNotFound)
            return 0;
        showRow(slots);
        if (routine(report.rowBuffer, slots) != 0)
            return 0;
    }
}

int fetchRows(SqlCursor& cursor, ReportRoutine routine, std::string& errorBuffer, ReportSlots& slots) {
    // A failure's message is taken before the close writes the status area.
    const int result = handRows([&](SqlRow& row) { return cursor.fetch(row); }, routine, errorBuffer, slots);
    cursor.close();
    return result;
}

/// The text a key is held by: an id's decimal text, or the text itself.
std::string heldKey(std::int32_t id) { return std::to_string(id); }
std::string heldKey(const std::string& text) { return text; }

/// A list of keys as the statement binds it.
std::string keyList(std::span<const std::int32_t> ids) { return sqlIdList(ids); }
std::string keyList(std::span<const std::string> texts) { return sqlTextList(texts); }

/// The row without its last column, the key a bulk read adds.
SqlRow withoutKey(const SqlRow& row) {
    SqlRow out;
    for (int i = 0; i + 1 < row.columns(); ++i)
        out.push(row.textAt(i));
    return out;
}

/// Each key's first row, and how many rows it has, by the key's text.
using RowsByKey = std::unordered_map<std::string, std::pair<SqlRow, int>>;

/// Reads the rows of a bulk read into `found`, each by its last column, and
/// closes the cursor.  0, or 1 after a failure with message 108 in the
/// buffer.
int fetchByKey(SqlCursor& cursor, bool byId, RowsByKey& found, std::string& errorBuffer) {
    for (SqlRow row;;) {
        const int code = cursor.fetch(row);
        if (code < 0) {
            dbErrorMessage(errorBuffer);  // before the close writes the status area
            cursor.close();
            return 1;
        }
        if (code == sqlNotFound)
            break;
        const int last = row.columns() - 1;
        const std::string key = byId ? heldKey(row.intAt(last)) : row.textAt(last);
        ++found.try_emplace(key, withoutKey(row), 0).first->second.second;
    }
    cursor.close();
    return 0;
}

}  // namespace

int dbReport(std::string_view relation, const ReportKey& key, ReportRoutine routine, std::string& errorBuffer,
             std::string_view columnList, ReportSlots& slots) {
    const std::string_view columns = selectList(columnList);
    if (const int refused = refuseNames(relation, key.column, columns, errorBuffer); refused != 0)
        return refused;
    HeldDescriptor held;
    std::string text = "select ";
    text.append(columns).append(" from ").append(relation).append(" where ").append(key.column).append(" = :b1");
    SqlCursor& cursor = reportCursor(text);
    const std::vector<SqlColumn> items = cursor.describe();
    if (sqlca.sqlcode < 0)
        return dbErrorMessage(errorBuffer);
    dbBind(items, slots);
    if (cursor.open({{1, key.value}}) < 0)
        return dbErrorMessage(errorBuffer);
    return fetchRows(cursor, routine, errorBuffer, slots);
}

template <class Keys>
int ReportRows::read(std::string_view relation, std::string_view keyColumn, const Keys& keys,
                     std::string& errorBuffer, std::string_view columnList) {
    constexpr bool byId = std::is_same_v<Keys, std::span<const std::int32_t>>;
    clear();
    const std::string_view columns = selectList(columnList);
    if (const int refused = refuseNames(relation, keyColumn, columns, errorBuffer); refused != 0)
        return refused;
    std::string text = "select ";
    text.append(columns).append(", ").append(keyColumn).append(" from ").append(relation).append(" where ");
    text.append(keyColumn).append(byId ? " IN LIST(:b1)" : " IN TEXT LIST(:b1)");
    SqlCursor& cursor = reportCursor(text);
    std::vector<SqlColumn> items = cursor.describe();
    if (sqlca.sqlcode < 0)
        return dbErrorMessage(errorBuffer);
    const std::string list = keyList(keys);
    if (cursor.open({{1, std::string_view(list)}}) < 0)
        return dbErrorMessage(errorBuffer);
    RowsByKey found;
    if (fetchByKey(cursor, byId, found, errorBuffer) != 0)
        return 1;
    for (const auto& key : keys) {
        const std::string name = heldKey(key);
        const auto rows = found.find(name);
        if ((byId || sqlListCarries(name)) && (rows == found.end() || rows->second.second == 1))
            held_.try_emplace(name, rows == found.end() ? std::nullopt : std::optional(rows->second.first));
    }
    items.pop_back();
    items_ = std::move(items);
    relation_ = relation;
    keyColumn_ = keyColumn;
    columns_ = columns;
    byId_ = byId;
    return 0;
}

int ReportRows::load(std::string_view relation, std::string_view keyColumn, std::span<const std::int32_t> keys,
                     std::string& errorBuffer, std::string_view columnList) {
    return read(relation, keyColumn, keys, errorBuffer, columnList);
}

int ReportRows::load(std::string_view relation, std::string_view keyColumn, std::span<const std::string> keys,
                     std::string& errorBuffer, std::string_view columnList) {
    return read(relation, keyColumn, keys, errorBuffer, columnList);
}

void ReportRows::clear() {
    held_.clear();
    items_.clear();
}

const std::optional<SqlRow>* ReportRows::heldRow(std::string_view relation, const ReportKey& key,
                                                 std::string_view columnList) const {
    const auto* id = std::get_if<std::int32_t>(&key.value);
    if (relation != relation_ || key.column != keyColumn_ || selectList(columnList) != columns_ ||
        (id != nullptr) != byId_)
        return nullptr;
    const auto row = held_.find(id != nullptr ? heldKey(*id) : std::string(std::get<std::string_view>(key.value)));
    return row != held_.end() ? &row->second : nullptr;
}

int ReportRows::report(std::string_view relation, const ReportKey& key, ReportRoutine routine,
                       std::string& errorBuffer, std::string_view columnList, ReportSlots& slots) {
    const std::optional<SqlRow>* row = heldRow(relation, key, columnList);
    if (row == nullptr)
        return dbReport(relation, key, routine, errorBuffer, columnList, slots);
    HeldDescriptor held;
    dbBind(items_, slots);
    bool handed = false;
    return handRows(
        [&](SqlRow& buffer) {
            if (handed || !*row)
                return sqlNotFound;
            handed = true;
            buffer = **row;
            return 0;
        },
        routine, errorBuffer, slots);
}

void dbBind(const std::vector<SqlColumn>& selectList, ReportSlots& slots) {
    for (std::string& slot : slots.formatOffset)
        slot.clear();
    slots.formatInt.clear();
    state().items = selectList;
    for (std::size_t i = 0; i < selectList.size() && i + 1 < slots.formatOffset.size(); ++i)
        if (selectList[i].type == SqlColumn::Type::integer)
            slots.formatInt.push_back({static_cast<int>(i + 1), static_cast<int>(i)});
}

int dbConvertRout(const SqlRow& row, ReportSlots& slots) {
    for (const FormatInt& number : slots.formatInt) {
        const bool null = row.textAt(number.place).empty();
        slots.formatOffset[static_cast<std::size_t>(number.slot)] =
            null ? "" : std::to_string(row.intAt(number.place));
    }
    return 1;
}

void resetConfigAddr(ReportSlots& slots) {
    for (const FormatInt& number : slots.formatInt)
        slots.formatOffset[static_cast<std::size_t>(number.slot)].clear();
}

int dbCloseReportCursor() {
    ReportState& report = state();
    if (report.current != nullptr)
        report.current->close();
    report.descriptorHeld = false;
    return 0;
}

}  // namespace pelo
