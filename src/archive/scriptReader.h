// Reading a populate script back: its statements, one at a time, in the
// plain forms, and the check an Informix script must pass before a shell
// may run it.
//
// The Oracle and VQL scripts end every statement with ';', the Sybase
// script ends every batch with a line "go".  A terminator inside a quoted
// literal ends nothing: a literal may hold ';', new-lines, a line "go" and
// doubled quotes ('' for one quote).
//
// The Informix script is a shell command: one here-document fed to the
// product's isql tool,
//
//   $1/bin/isql  $2 >>$3 2>&1 <<!
//   <statements, the load statements naming $4>
//   !
//
// run as "sh PELOarchive.dbData PRODUCTHOME DATABASE OUTFILE LOADDIR".
// Inside the here-document the shell still expands $-words and back
// quotes and takes a backslash before '\', '$' and '`' away, so a script
// is checked before it runs: the shell must not be able to run anything a
// value holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "archive/dialect.h"

namespace pelo {

/// Where and why a script cannot be read.
struct ScriptFault {
    int line = 0;        ///< from 1
    std::string reason;  ///< a lower-case clause, without the line
};

struct ScriptStatement {
    std::string_view text;  ///< without the terminator and surrounding blanks
    int line = 0;           ///< line of its first character, from 1
};

/// Walks a script held by the caller, one statement at a time.
class ScriptReader {
public:
    /// dialect is oracle, sybase or dizoz; the script must outlive the reader.
    ScriptReader(std::string_view script, Dialect dialect);

    /// True with the next statement; false at the end of the script.
    bool next(ScriptStatement& statement);

    /// Once next has given false: why the script cannot be read to its
    /// end (a literal left open, text after the last terminator), none
    /// when it can.
    const std::optional<ScriptFault>& fault() const { return fault_; }

private:
    /// Past the line at pos_ when it is "go" (trailing blanks allowed, as
    /// the writer's commit after hosts leaves one), else npos.
    std::size_t pastGoLine() const;

    std::string_view script_;
    bool batches_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::optional<ScriptFault> fault_;
};

/// True for the statements that end or begin a transaction ("commit",
/// "commit work", "commit transaction", "begin transaction", any case and
/// spacing): a reload runs in one transaction, so they are passed over.
bool isTransactionControl(std::string_view statement);

/// The first fault of an Informix script, none when it passes: one that is
/// not the here-document form above, holds an unescaped back quote or "$("
/// in its here-document (the shell would run the command), or has a line
/// "!" before its end (the shell would run the lines after it).
std::optional<ScriptFault> checkInformixScript(std::string_view script);

}  // namespace pelo
