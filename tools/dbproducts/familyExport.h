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

namespace pelo::dbproducts {

/// The family database: PELO_DB when set, else family.db in the home
/// directory of the login (the caller's own login when login is empty).
std::string familyTarget(const std::string& login);

/// Connects to the family database as login with password; an empty one
/// is left to the database's own defaults (for PostgreSQL, libpq's PGUSER
/// and PGPASSWORD or the caller's own login).  0, or 1 with the reason.
int connectFamily(const std::string& login, const std::string& password, std::string& error);

/// The fields of one row line of an export section, its escapes undone.
std::vector<std::string> splitExportLine(const std::string& line);

/// True when the tests asked this tool to fail: PELO_DBPRODUCT_FAIL is
/// "all" or names the tool in a comma-separated list.
bool failureRequested(const std::string& tool);

/// Appends one table's section to the file at path (created when
/// truncate is set).  The row count, or -1 with the reason in error.
long exportTable(const std::string& table, const std::string& path, bool truncate, std::string& error);

/// Inserts every row of every section of the export file at path into the
/// table its section names, by column name; an empty field is bound as
/// NULL.  Commits nothing.  The row count, or -1 with the file, its line
/// and the reason in error (a section shorter than its head says is one).
long importTables(const std::string& path, std::string& error);

/// Runs statements read from text, separated by ';' outside quotes.  A
/// statement "load from "<file>" delimiter "<c>" insert into <table>" loads
/// a '|'-separated file (the Informix load-file form: every field followed
/// by the delimiter, "null" for an empty field; a record goes on over
/// new-lines inside a field until it has the table's column count of
/// delimiters) into the table; a statement "commit work" commits.  0, or 1
/// with the failing statement and reason in error.
int runStatements(const std::string& text, std::string& error);

/// True for a plain SQL name (a letter or '_', then letters, digits, '_'):
/// the names read from files that go into a statement's text.
bool isSqlName(std::string_view name);

}  // namespace pelo::dbproducts
