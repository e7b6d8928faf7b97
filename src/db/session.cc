// The run's one database session.  A failed statement ends the run here,
// so no caller ever sees a database error come back.
#include "db/session.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "db/client.h"
#include "support/error.h"
#include "support/msg.h"
#include "support/passwd.h"
#include "support/util.h"

namespace pelo {

namespace {

/// Set once the fatal path has rolled back and announced the clean-up.
/// The clean-up ends the session (dbExit); when that fails, the fatal path
/// is entered a second time and then only logs and goes back to the
/// clean-up, which carries on after its disconnect step.
bool fatalPathEntered = false;

/// Set while dbExit ends the session: a failure there is the end of a run
/// that is already winding up.
bool endingSession = false;

/// Handed over by the driver; until then a fatal error only exits.
void (*fatalExit)() = nullptr;
std::string fatalProgramName;

/// Logs a database failure and shows it on standard error too: the log is
/// not where the user at the terminal looks, and standard output carries
/// only the utility's own messages.  What standard output already holds is
/// written first, so that a terminal shows both in the order they arose.
void reportFailure(const char* text) {
    error(text);
    std::fflush(stdout);
    std::fputs(text, stderr);
    std::fflush(stderr);
}

/// The database named by PELO_DB, else "family.db" in the family home.
std::string databaseTarget() {
    if (std::optional<std::string> named = env("PELO_DB"))
        return *named;
    return passwdHome() + "/family.db";
}

[[noreturn]] void sigactionFailed() {
    error(msgGet(110, systemErrorText(), "sigaction"));
    std::exit(1);
}

}  // namespace

int dbInit() {
    // Read as it is, not trimmed: blanks may be part of a password.
    const char* password = std::getenv("ORACLE_PASS");
    if (password == nullptr || *password == '\0')
        return error(msgGet(1035));
    // The client of some database products takes SIGCHLD over while it
    // connects; the run's own disposition is put back afterwards.
    struct sigaction saved {};
    if (sigaction(SIGCHLD, nullptr, &saved) != 0)
        sigactionFailed();
    const bool connected = sqlConnect(databaseTarget(), passwdName(), password) >= 0;
    if (sigaction(SIGCHLD, &saved, nullptr) != 0)
        sigactionFailed();
    if (!connected) {
        std::string text;
        dbErrorMessage(text);
        reportFailure(text.c_str());
        return 1;
    }
    return 0;
}

int dbCommit() {
    if (sqlCommit() < 0)
        dbFatalError();
    return 0;
}

int dbExit() {
    // Ending a session that is not there (a second call from the clean-up)
    // succeeds; the first call ends the session even when its rollback
    // fails, so dbExit can fail at most once in a run.
    if (!sqlConnected())
        return 0;
    endingSession = true;
    if (sqlRollbackRelease() < 0)
        dbFatalError();
    endingSession = false;
    return 0;
}

int dbErrorMessage(std::string& buffer) {
    msgReLoad(buffer, 108, sqlca.sqlcode, sqlca.sqlerrm.c_str());
    return 1;
}

void dbFatalError() {
    std::string text;
    dbErrorMessage(text);
    if (fatalPathEntered) {
        // The clean-up's disconnect failed after the failure that began it,
        // which the user has been shown already.
        error(text.c_str());
    } else {
        fatalPathEntered = true;
        reportFailure(text.c_str());
        // A failed rollback (a lost connection answers so) leaves nothing
        // that the clean-up could make worse: the server drops the work of
        // a session that ends.
        if (dbRollbackForDBFatalError() != 0)
            reportFailure(msgGet(926));
        // A run ended by a signal has announced its clean-up before the
        // clean-up disconnects.
        const bool announced = endingSession && sqlTerminationPending();
        if (fatalExit != nullptr && !announced)
            msgPrint(1438, fatalProgramName.c_str());
    }
    if (fatalExit != nullptr)
        fatalExit();
    std::exit(1);
}

void dbSetTerminationFlag(const volatile std::sig_atomic_t* pending) { sqlSetTerminationFlag(pending); }

void dbSetFatalExit(void (*exitRoutine)(), const char* programName) {
    fatalExit = exitRoutine;
    fatalProgramName = programName != nullptr ? programName : "";
}

int dbRollbackForDBFatalError() {
    // Without a session no uncommitted work is left: ending a session
    // drops it, whether or not the closing rollback answered well.
    if (!sqlConnected())
        return 0;
    return sqlRollback() < 0 ? 1 : 0;
}

int dbBreak() {
    if (const int code = sqlBreak(); code != 0)
        error(msgGet(110, itoa(code), "obreak"));
    return 0;
}

int dbCloseQueryCursor() {
    // The utility has no generic query, so its cursor can never be open;
    // the call stays for the signal path, which closes every cursor kind.
    return 0;
}

}  // namespace pelo
