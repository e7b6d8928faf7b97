// The report query behind the configurable columns of the populate script.
#include "db/report.h"

#include <algorithm>
#include <cctype>
#include <map>

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

/// Marks the select list as held for the length of one query.
class HeldDescriptor {
public:
    HeldDescriptor() { state().descriptorHeld = true; }
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

int fetchRows(SqlCursor& cursor, ReportRoutine routine, std::string& errorBuffer, ReportSlots& slots) {
    ReportState& report = state();
    for (;;) {
        clearRow(slots);
        const int code = cursor.fetch(report.rowBuffer);
        if (code < 0) {
            dbErrorMessage(errorBuffer);  // before the close writes the status area
            cursor.close();
            return 1;
        }
        if (code == sqlNotFound)
            break;
        showRow(slots);
        if (routine(report.rowBuffer, slots) != 0)
            break;
    }
    cursor.close();
    return 0;
}

}  // namespace

int dbReport(std::string_view relation, const ReportKey& key, ReportRoutine routine, std::string& errorBuffer,
             std::string_view columnList, ReportSlots& slots) {
    const std::string_view columns = trimmed(columnList).empty() ? std::string_view("*") : columnList;
    if (!isIdentifier(relation))
        return refuseName(relation, errorBuffer);
    if (!isIdentifier(key.column))
        return refuseName(key.column, errorBuffer);
    if (!isColumnList(columns))
        return refuseName(columns, errorBuffer);
    if (state().descriptorHeld) {
        error(msgGet(110, "sdp not released", "report"));
        state().descriptorHeld = false;
    }
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
