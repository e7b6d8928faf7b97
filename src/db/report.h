// The report query: one row of a family view or table, fetched by the key
// of one object, with a select list built at run time from the family's
// configurable-field tables; or the rows of many objects' keys read at once
// and handed out as that query would.  The populate script writer reads
// the values of the configured columns from the value slots it hands to
// each query.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/client.h"

namespace pelo {

/// Number of value slots; slot i holds select item i, counting the first
/// item ("id") as 1.  Slot 0 is never used; items past 50 reach no slot.
inline constexpr int reportSlotCount = 51;

/// Status of a report refused before it reached the database: a relation
/// or column name that is not a plain SQL identifier.
inline constexpr int reportInvalidName = -1006;

/// A number item: its slot, and its place (0-based column) in the row.
struct FormatInt {
    int slot;
    int place;
};

/// Where a query puts what it fetched.  The caller owns the slots and hands
/// them to each query; they start empty.
struct ReportSlots {
    /// The value slots.  All are "" from the bind step of a query on.  A
    /// text item's slot shows the text of the row being processed; a number
    /// item's slot stays "" until dbConvertRout puts the number's decimal
    /// text there, and resetConfigAddr empties it again.  A NULL item stays
    /// "".  Valid until resetConfigAddr and the next query.
    std::array<std::string, reportSlotCount> formatOffset;
    /// The number items of the current query, in select-list order.
    std::vector<FormatInt> formatInt;
};

/// The key that picks the object: the condition "<column> = :b1" with the
/// value bound, never spliced into the text.
struct ReportKey {
    std::string_view column;  ///< an SQL identifier ("name", "id", "login")
    SqlValue value;
};

/// Called with each fetched row and the query's slots, after the slots show
/// it; a non-zero result stops the query.
using ReportRoutine = int (*)(const SqlRow& row, ReportSlots& slots);

/// Runs "select <columns> from <relation> where <key column> = :b1" and
/// hands the rows to the routine, the values showing in `slots`.
/// `columnList` is a comma-separated list of identifiers (blanks and
/// new-lines allowed around them), "*" when empty.  0 when the query ran,
/// whatever it found (no row leaves every slot ""); 1 after a failure, with
/// message 108 in `errorBuffer` and nothing printed.  A name that is not an
/// identifier is refused before any statement runs (status
/// reportInvalidName); a failure before the bind step leaves the slots as
/// the previous query left them.
int dbReport(std::string_view relation, const ReportKey& key, ReportRoutine routine, std::string& errorBuffer,
             std::string_view columnList, ReportSlots& slots);

/// The report rows of many objects, read with one statement and held by
/// key, so that the objects of a window cost one query instead of one each.
/// A key the last load did not take is read by dbReport, so the slots never
/// depend on what was loaded.
class ReportRows {
public:
    /// Runs "select <columns>, <key column> from <relation> where <key
    /// column> in <the keys>", the keys bound as one list, and holds the
    /// row of each key in place of those held: a key with no row is held
    /// with none.  A key with several rows is not held, since only its own
    /// query's order tells which of them comes first; nor is a text the
    /// list cannot carry (sqlListCarries).  The names are checked as
    /// dbReport checks them.  0, or dbReport's result for the same failure
    /// (message 108 in `errorBuffer`), with nothing held.
    int load(std::string_view relation, std::string_view keyColumn, std::span<const std::int32_t> keys,
             std::string& errorBuffer, std::string_view columnList);
    int load(std::string_view relation, std::string_view keyColumn, std::span<const std::string> keys,
             std::string& errorBuffer, std::string_view columnList);
    /// Forgets every row.
    void clear();

    /// dbReport, from the held row when the last load read the key with the
    /// same relation, key column and column list; the slots and the rows
    /// the routine sees are those the query would give.
    int report(std::string_view relation, const ReportKey& key, ReportRoutine routine, std::string& errorBuffer,
               std::string_view columnList, ReportSlots& slots);

private:
    /// The select list of the load, without its key column.
    std::vector<SqlColumn> items_;
    std::string relation_;
    std::string keyColumn_;
    std::string columns_;
    bool byId_ = false;
    /// A held key's row, none when it has none.
    std::unordered_map<std::string, std::optional<SqlRow>> held_;

    /// The held row of the key, when the last load read it by the same
    /// query; null otherwise.
    const std::optional<SqlRow>* heldRow(std::string_view relation, const ReportKey& key,
                                         std::string_view columnList) const;
    template <class Keys>
    int read(std::string_view relation, std::string_view keyColumn, const Keys& keys, std::string& errorBuffer,
             std::string_view columnList);
};

/// The bind step: empties every slot and formatInt, then lays the select
/// list out: each number item is listed in formatInt, each text item will
/// show in its slot once a row is fetched.
void dbBind(const std::vector<SqlColumn>& selectList, ReportSlots& slots);

/// The archive's per-row routine: puts each number item's value into its
/// slot and returns 1, so only the first row is taken.
int dbConvertRout(const SqlRow& row, ReportSlots& slots);

/// Empties the number slots again, once the writer has used the values.
void resetConfigAddr(ReportSlots& slots);

}  // namespace pelo
