// The SQLite backend of the client layer, and the family's date order.
#pragma once

#include <string_view>

#include "db/backend.h"

namespace pelo {

/// Name of the collation every connection registers for date columns.
inline constexpr const char* peloDateCollation = "PELODATE";

/// Chronological order of the family's date texts "Y/MM/DD HH:MM:SS",
/// where Y counts years since 1900 ("99/12/31 23:59:59" comes before
/// "100/01/01 00:00:00").  Dates compare field by field as numbers; texts
/// that are not such dates sort after every date, in byte order among
/// themselves, so the order stays total.  <0, 0 or >0 like memcmp.
int comparePeloDates(std::string_view left, std::string_view right);

}  // namespace pelo
