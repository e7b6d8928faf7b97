// The family database a reload writes into, through the client layer: one
// transaction from connect to the caller's commit, so a failure leaves
// nothing behind.
#pragma once

#include <string>
#include <string_view>

#include "script.h"

namespace pelo::reload {

/// Connects to target (an SQLite file, or a postgresql:// URI) as login
/// with password, either left empty for the database's defaults.  An
/// SQLite file that does not exist is made empty when create is set (the
/// client layer never makes one).  Throws ReloadError.
void connectTarget(const std::string& target, const std::string& login, const std::string& password, bool create);

/// Creates the family schema in the open, empty database, then adds the
/// configurable columns the archive's copies of the family's field tables
/// name (archiveDir/configField/*ConfigTbl; none without them), in their
/// files' order, so the Files and Users inserts, which give no column
/// list, find their columns.  Throws ReloadError.
void createFamilySchema(const std::string& archiveDir);

/// Runs every statement of a plain script (Oracle, Sybase, VQL) as
/// written, passing over its commits and begins.  The statements run
/// through the client layer's script entry, which neither translates
/// placeholders nor keeps the prepared text.  The count of statements
/// run; throws ReloadError naming the line and the server's reason.
long runScript(std::string_view script, Dialect dialect);

/// Inserts the rows of the export files of the dialect's tool
/// (PELOarchive.export for Oracle, PELOarchive.notesData and
/// PELOarchive.versionsData for Sybase and VQL).  The row count; throws
/// ReloadError naming the file and line.
long importExports(const std::string& archiveDir, Dialect dialect);

}  // namespace pelo::reload
