// Loading an archive's rows back into a family database through the client
// layer: the populate script's statements, the export files of the Oracle,
// Sybase and VQL tools, and the Informix load files.  tools/reload runs it
// against a family database as the restore side would; --verify runs it
// against a scratch SQLite database to compare with the row copy.
//
// Nothing here opens a file by itself: the caller reads the texts, so that
// --verify can read them from below the archive's root only.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive/dialect.h"
#include "archive/scriptReader.h"

namespace pelo {

/// The populate script's name in an archive.
inline constexpr const char* populateScriptName = "PELOarchive.dbData";

/// Any failure of a load; its text says what and where.
struct ReloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// True for a plain SQL name (a letter or '_', then letters, digits, '_'):
/// the names read from files that go into a statement's text.
bool isSqlName(std::string_view name);

/// The fields of one row line of an export section, its escapes undone
/// ("\\" for '\', "\|" for '|', "\n" for a new-line).
std::vector<std::string> splitExportLine(const std::string& line);

/// The words of a statement, a double-quoted text being one word without
/// its quotes.
std::vector<std::string> statementWords(std::string_view statement);

/// Inserts every row of every section of an export file's text (see
/// tools/dbproducts/familyExport.h for the format) into the table its
/// section names, by column name; an empty field is bound as NULL.
/// Commits nothing.  The row count; throws ReloadError naming `name`, the
/// line and the reason.
long importExportText(std::string_view text, const std::string& name);

/// A statement load from "FILE" delimiter "C" insert into TABLE.
struct LoadStatement {
    std::string file;
    char delimiter = '|';
    std::string table;
};

/// The load statement the text is; nothing when it does not begin with
/// "load".  Throws ReloadError when it begins so but has another form.
std::optional<LoadStatement> loadStatementOf(std::string_view statement);

/// Inserts the records of an Informix load file's text into the table:
/// every field followed by the delimiter, "null" for an empty field, and a
/// record going on over new-lines until it has the table's column count
/// of delimiters.  Commits nothing.  The row count; throws ReloadError
/// naming `name`.
long loadRecords(std::string_view text, char delimiter, const std::string& table, const std::string& name);

/// The DB column names (field 2) of the enabled lines of a configurable
/// field table's text, at most the twenty the family keeps; a line whose
/// first field is "no" is switched off.
std::vector<std::string> configuredColumns(std::string_view fieldTable);

/// The text of a file of the archive by its path below the archive's
/// root; nothing when it cannot be read.
using ArchiveFileReader = std::function<std::optional<std::string>(const std::string& path)>;

/// The statements that add the configurable columns the archive's copies
/// of the family's field tables name (configField/*ConfigTbl; none
/// without them) to Defects, Files and Users, in their files' order.
/// Throws ReloadError for a name that is not a plain SQL name.
std::string configuredColumnsSql(const ArchiveFileReader& read);

/// Creates the family schema in the open, empty database, then adds the
/// configurable columns the archive's copies of the family's field tables
/// name (configField/*ConfigTbl; none without them), in their files'
/// order, so the Files and Users inserts, which give no column list, find
/// their columns.  Throws ReloadError.
void createFamilySchema(const ArchiveFileReader& read);

/// How runScript meets the statements of a script.
struct ScriptRun {
    Dialect dialect = Dialect::oracle;  ///< oracle, sybase or dizoz: how statements end
    /// Runs only the forms the archive writes: one insert per statement.
    /// Any other statement (ATTACH, PRAGMA, a second statement after a
    /// ';') is a problem and is not run.
    bool insertsOnly = false;
    /// Told of each statement that fails or is refused, and of a script
    /// that cannot be read to its end (with an empty statement); may throw
    /// to stop the run.
    std::function<void(int line, const std::string& reason, std::string_view statement)> problem;
    /// Told of each load statement, an Informix script's, which is then
    /// not run as SQL; empty: a load statement is a statement like others.
    std::function<void(int line, const LoadStatement& load)> load;
};

/// Runs every statement of a plain script through the client layer's
/// script entry, which neither translates placeholders nor keeps the
/// prepared text, passing over its commits and begins (a load runs in one
/// transaction).  Line numbers are added to lineOffset.  The count of
/// statements run.
long runScript(std::string_view script, const ScriptRun& run, int lineOffset = 0);

/// The statements of an Informix script's here-document as the shell
/// would hand them to isql: the backslashes before '\', '$' and '`' taken
/// away, a backslash-new-line joined.  Line 1 of the text is line 2 of
/// the script.  An unescaped '$' that the shell would expand, other than
/// the "$4" that names the load directory, is a fault, as are those of
/// checkInformixScript.
std::optional<std::string> hereDocumentStatements(std::string_view script, ScriptFault& fault);

}  // namespace pelo
