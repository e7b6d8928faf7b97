// The family schema as a script, for whoever creates a family database:
// the family builder, the tests and the benchmarks.
#pragma once

#include <string_view>

namespace pelo {

/// The SQLite script that creates an empty family database: every table in
/// its column order, the views the archive and its reports read, and the
/// indexes behind the accessors' conditions (sql/sqlite/family.sql, compiled
/// in).  Run it once with sqlExecuteScript on a new, empty database; its date
/// columns use the PELODATE collation that the client layer registers on
/// every connection.  The text lives as long as the program.
std::string_view familySchemaSql();

}  // namespace pelo
