// The one database session of a run: open, commit, end, and the rule every
// accessor relies on: a failed statement never returns to its caller.
#pragma once

#include <string>

namespace pelo {

/// Connects as the family login with the password in ORACLE_PASS to the
/// database named by PELO_DB (a file path for SQLite, a postgresql:// URI),
/// or to "family.db" in the family home when PELO_DB is unset.  0 when
/// connected; 1 when not, after logging why.
int dbInit();

/// COMMIT WORK; 0, a failure does not return.
int dbCommit();

/// ROLLBACK WORK RELEASE: only committed work survives; 0, a failure does
/// not return.
int dbExit();

/// Loads message 108 with the status code and the server's text into the
/// buffer (replacing it); always 1.
int dbErrorMessage(std::string& buffer);

/// Logs the error, rolls back, prints 0010-981 with the program's name and
/// leaves through the exit routine handed to dbSetFatalExit; when the
/// rollback fails, logs 0010-651 and exits 1 at once.  Without an exit
/// routine it prints nothing and exits 1 after the rollback.
[[noreturn]] void dbFatalError();

/// What a fatal error ends with: the routine (which must not return; it
/// may call dbExit, and a failure there comes back to dbFatalError, which
/// then only logs and calls the routine again) and the program's name for
/// 0010-981.  The driver hands over its clean-up when it starts.
void dbSetFatalExit(void (*exitRoutine)(), const char* programName);

/// ROLLBACK WORK for the fatal path: 0 when it worked, 1 when not.
int dbRollbackForDBFatalError();

/// Interrupts the statement in progress; logs a failure; always 0.
int dbBreak();

/// Close the generic query cursor or the report cursor, open or not;
/// always 0.  Safe on the signal path.
int dbCloseQueryCursor();
int dbCloseReportCursor();

}  // namespace pelo
