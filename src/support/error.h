// The error log: failures of the support layer go to the system log.
#pragma once

namespace pelo {

/// Opens the system log with the identity, LOG_PID | LOG_CONS, LOG_DAEMON.
/// The archive utility never calls it.  Returns 0.
int errorInit(const char* identity);

/// Logs "<login>:  <text>" at LOG_ERR and returns 1, so that a caller can
/// return the result as a failure status or pass it to exit.
int error(const char* text);

}  // namespace pelo
