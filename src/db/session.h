// The one database session of a run: open, commit, end, and the rule every
// accessor relies on: a failed statement never returns to its caller.
#pragma once

#include <csignal>
#include <string>

namespace pelo {

/// Connects as the family login with the password in ORACLE_PASS to the
/// database named by PELO_DB (a file path for SQLite, a postgresql:// URI),
/// or to "family.db" in the family home when PELO_DB is unset.  0 when
/// connected; 1 when not, after logging why (a refusal by the database is
/// also written to standard error).
int dbInit();

/// COMMIT WORK; 0, a failure does not return.
int dbCommit();

/// ROLLBACK WORK RELEASE: only committed work survives; 0, a failure does
/// not return.
int dbExit();

/// Loads message 108 with the status code and the server's text into the
/// buffer (replacing it); always 1.
int dbErrorMessage(std::string& buffer);

/// Logs the error and writes it to standard error, rolls back (a failed
/// rollback is logged and written as 0010-651), prints 0010-981 with the
/// program's name and leaves through the exit routine handed to
/// dbSetFatalExit.  Without an exit routine it prints nothing to standard
/// output and exits 1 after the rollback.  0010-981 is left out when the
/// failure is dbExit's while a termination is pending: a run ended by a
/// signal has announced its clean-up before the clean-up disconnects.
[[noreturn]] void dbFatalError();

/// What a fatal error ends with: the routine (which must not return; it
/// may call dbExit, and a failure there comes back to dbFatalError, which
/// then only logs and calls the routine again) and the program's name for
/// 0010-981.  The driver hands over its clean-up when it starts.
void dbSetFatalExit(void (*exitRoutine)(), const char* programName);

/// The flag the driver's signal handler sets when the run is to end; the
/// flag must outlive the session.  A statement waiting on a database server
/// then gives up within a few seconds, and fails (sqlSetTerminationFlag).
void dbSetTerminationFlag(const volatile std::sig_atomic_t* pending);

/// ROLLBACK WORK for the fatal path: 0 when it worked, 1 when not.
int dbRollbackForDBFatalError();

/// Interrupts the statement in progress; logs a failure; always 0.
int dbBreak();

/// Close the generic query cursor or the report cursor, open or not;
/// always 0.  Safe on the signal path.
int dbCloseQueryCursor();
int dbCloseReportCursor();

}  // namespace pelo
