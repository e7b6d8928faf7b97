// The family schema as a script, for whoever creates a family database:
// the family builder, the tests and the benchmarks.
#pragma once

#include <string_view>

#include "db/backend.h"

namespace pelo {

/// The script that creates an empty family database on the given product:
/// every table in its column order, the views the archive and its reports
/// read, and the indexes behind the accessors' conditions
/// (sql/sqlite/family.sql or sql/postgres/family.sql, compiled in).  Run it
/// once with sqlExecuteScript on a new, empty database.  Its date columns
/// order the family's date texts by time: on SQLite through the PELODATE
/// collation that the client layer registers on every connection, on
/// PostgreSQL through the PELODATE collation the script creates.  The text
/// lives as long as the program; SqlProduct::none gives the SQLite script.
std::string_view familySchemaSql(SqlProduct product);

/// The script for the product of the open session (SQLite when none is
/// open), so a builder that only knows its target string runs the right one.
std::string_view familySchemaSql();

}  // namespace pelo
