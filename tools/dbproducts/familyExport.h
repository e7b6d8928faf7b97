// What the database product stand-ins share: finding and opening the
// family database, the failure switch for tests, and the export format.
//
// An export file holds one section per table:
//
//   PELO-EXPORT 1 <TABLE in upper case> <column count> <row count>
//   <column names, '|'-separated>
//   <one line per row: fields '|'-separated, with '\' written as "\\",
//    '|' as "\|" and a newline as "\n">
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/scriptReload.h"

namespace pelo::dbproducts {

/// The family database: PELO_DB when set, else family.db in the home
/// directory of the login (the caller's own login when login is empty).
std::string familyTarget(const std::string& login);

/// Connects to the family database as login with password; an empty one
/// is left to the database's own defaults (for PostgreSQL, libpq's PGUSER
/// and PGPASSWORD or the caller's own login).  0, or 1 with the reason.
int connectFamily(const std::string& login, const std::string& password, std::string& error);

/// The export lines and SQL names are read as the utility's reload reads them.
using pelo::isSqlName;
using pelo::splitExportLine;

/// True when the tests asked this tool to fail: PELO_DBPRODUCT_FAIL is
/// "all" or names the tool in a comma-separated list.
bool failureRequested(const std::string& tool);

/// Appends one table's section to the file at path (created when
/// truncate is set).  The row count, or -1 with the reason in error.
long exportTable(const std::string& table, const std::string& path, bool truncate, std::string& error);

/// Runs statements read from text, separated by ';' outside quotes.  A
/// statement "load from "<file>" delimiter "<c>" insert into <table>" loads
/// a '|'-separated file (the Informix load-file form: every field followed
/// by the delimiter, "null" for an empty field; a record goes on over
/// new-lines inside a field until it has the table's column count of
/// delimiters) into the table; a statement "commit work" commits.  0, or 1
/// with the failing statement and reason in error.
int runStatements(const std::string& text, std::string& error);

}  // namespace pelo::dbproducts
