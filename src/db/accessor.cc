#include "db/accessor.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "db/session.h"
#include "support/util.h"

namespace pelo {

namespace {

/// The statement's status, with a failure sent down the fatal path.
int checked(int status) {
    if (status < 0)
        dbFatalError();
    return status;
}

}  // namespace

namespace accessorDetail {

bool copyText(char* field, std::size_t width, const std::string& value) {
    const std::size_t room = textField(width) - 1;
    const std::size_t length = std::min(utf8Prefix(value, width).size(), room);
    std::memcpy(field, value.data(), length);
    field[length] = '\0';
    return length == value.size();
}

void valueTooLong(std::string_view column) {
    sqlSetStatus(valueTooLongStatus, "fetched value of " + std::string(column) + " longer than its field");
    dbFatalError();
}

}  // namespace accessorDetail

std::string getStatementText(std::string_view columnList, std::size_t columnCount,
                             std::string_view table, std::string_view condition) {
    std::string text = "SELECT ";
    text += columnList;
    text += " INTO ";
    for (std::size_t i = 1; i <= columnCount; ++i) {
        const std::string number = std::to_string(i);
        text += (i > 1 ? ",:b" : ":b") + number + ":i" + number;
    }
    text += " FROM ";
    text += table;
    text += " WHERE ";
    text += condition;
    return text;
}

std::string cursorStatementText(std::string_view columnList, std::string_view table,
                                std::string_view tail) {
    std::string text = "SELECT ";
    text += columnList;
    text += " FROM ";
    text += table;
    // A tail is a condition with or without its ORDER BY, or an ORDER BY
    // alone for the walks over a whole table.
    if (!tail.empty()) {
        text += tail.starts_with("ORDER BY") ? " " : " WHERE ";
        text += tail;
    }
    return text;
}

std::string_view textKey(std::string_view key, std::size_t width, std::string_view column) {
    if (key.size() < textField(width) && utf8CharCount(key) <= width)
        return key;
    sqlSetStatus(keyTooLongStatus, "key for " + std::string(column) + " longer than " +
                                       std::to_string(width) + " characters");
    dbFatalError();
}

int accessorGetRow(std::string_view text, SqlBinds keys, SqlRow& row) {
    return checked(sqlExecute(text, keys, &row)) == sqlNotFound ? 1 : 0;
}

std::int32_t accessorCount(std::string_view text, SqlBinds keys) {
    SqlRow row;
    // COUNT(*) always yields its one row; a 1403 here would mean no count,
    // which reads as none.
    if (accessorGetRow(text, keys, row) != 0)
        return 0;
    return row.intAt(0);
}

int accessorExists(std::string_view text, SqlBinds keys) {
    return accessorCount(text, keys) != 0 ? 1 : 0;
}

std::unordered_map<std::int32_t, std::int32_t> accessorCountsByKey(std::string_view text,
                                                                   std::span<const std::int32_t> keys) {
    std::unordered_map<std::int32_t, std::int32_t> counts;
    // One cursor per text, prepared once, as every accessor's statement is.
    static std::map<std::string, SqlCursor, std::less<>> cursors;
    auto found = cursors.find(text);
    if (found == cursors.end())
        found = cursors.try_emplace(std::string(text), std::string(text)).first;
    SqlCursor& cursor = found->second;
    const std::string list = sqlIdList(keys);
    checked(cursor.open({{1, std::string_view(list)}}));
    for (SqlRow row; checked(cursor.fetch(row)) != sqlNotFound;)
        counts[row.intAt(0)] = row.intAt(1);
    checked(cursor.close());
    return counts;
}

int accessorModify(std::string_view text, SqlBinds keys) {
    checked(sqlExecute(text, keys));
    return 0;
}

std::string bulkStatementText(std::string_view columnList, std::string_view table, std::string_view key,
                              std::string_view load, std::string_view order) {
    std::string text = "SELECT ";
    text += columnList;
    text += ',';
    text += key;
    text += " FROM ";
    text += table;
    text += " WHERE ";
    text += load;
    text += " IN LIST(:b1) ORDER BY ";
    text += key;
    if (!order.empty()) {
        text += ',';
        text += order;
    }
    return text;
}

void RowGroups::load(std::span<const std::int32_t> keys) {
    clear();
    const std::string list = sqlIdList(keys);
    checked(cursor_.open({{1, std::string_view(list)}}));
    for (;;) {
        SqlRow& row = rows_.emplace_back();
        if (checked(cursor_.fetch(row)) == sqlNotFound) {
            rows_.pop_back();
            break;
        }
        const std::int32_t key = row.intAt(row.columns() - 1);
        auto [group, fresh] = groups_.try_emplace(key, rows_.size() - 1, rows_.size());
        if (!fresh)
            group->second.second = rows_.size();
    }
    checked(cursor_.close());
    if (byLoadKey_)
        loaded_.insert(keys.begin(), keys.end());
}

void RowGroups::clear() {
    rows_.clear();
    groups_.clear();
    loaded_.clear();
}

std::span<const SqlRow> RowGroups::rows(std::int32_t key) const {
    const auto group = groups_.find(key);
    if (group == groups_.end())
        return {};
    return std::span<const SqlRow>(rows_).subspan(group->second.first, group->second.second - group->second.first);
}

WalkStep WalkCursor::step(int mode, SqlBinds keys, SqlRow& row) {
    if (mode != cursorClose && !cursor_.isOpen()) {
        checked(cursor_.open(keys));
        if (mode == cursorOpen)
            return WalkStep::opened;
    }
    if (mode == cursorFetch && checked(cursor_.fetch(row)) != sqlNotFound)
        return WalkStep::row;
    // The end of the rows, a close, or a cursorOpen on an open cursor (which
    // abandons the walk): the cursor is closed in every case.
    if (cursor_.isOpen())
        checked(cursor_.close());
    return WalkStep::end;
}

int accessorModifyIds(std::string_view text, std::span<const std::int32_t> ids) {
    if (ids.empty())
        return 0;
    const std::string list = sqlIdList(ids);
    return accessorModify(text, {{1, std::string_view(list)}});
}

std::unordered_set<std::int32_t> accessorExistsByKey(std::string_view text, std::span<const std::int32_t> keys) {
    std::unordered_set<std::int32_t> present;
    for (const auto& [key, count] : accessorCountsByKey(text, keys))
        present.insert(key);
    return present;
}

}  // namespace pelo
