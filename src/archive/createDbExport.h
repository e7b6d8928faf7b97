// The Notes and Versions tables, which hold the long remarks, travel
// outside the populate script.  An Informix archive carries the archived
// rows in two '|'-separated load files that the script loads; the other
// products export the whole tables with their own tool
// (export_Notes_Versions, phases.h), whose output is judged by the words
// each product uses for its failures.
#pragma once

#include <string_view>

#include "db/records.h"

namespace pelo {

/// Appends the note to the notes load file (dbLoadNotes) as
/// "DEFECTID|USERID|ACTION|ADDDATE|REMARKS|\n", the remarks with each '|'
/// written as '!' and empty remarks as the word null.  Writes are not
/// checked here: the object selection flushes and closes the file and
/// reports a failure then.
void writeNoteInfoToDbLoadFile(const NoteViewRecord& note);

/// Appends the version to the versions load file (dbLoadVers) in the
/// column order of Versions, the remarks as for a note.
void writeVersionInfoToDbLoadFile(const VersionRecord& version);

/// The populate script's statements that load the two files from the
/// script's fourth parameter, the directory holding them.  0, or 1 after
/// messages 1333 and 1458 with the script's path when the write failed.
int addNotesLoadStmtToDbPopFile();
int addVersionsLoadStmtToDbPopFile();

/// 1 when the captured output of the family's export tool shows a failure
/// by the words of its product (any of them anywhere, case as given, also
/// inside a longer word), else 0.  Informix, which exports nothing, never
/// fails.
int analyzeErrors(std::string_view text);

}  // namespace pelo
