// The archive run driver: the run order of "peloarchive [-F]", the archive
// semaphore, the database environment and the termination signals.
#pragma once

#include <cstdio>
#include <string>

#include "archive/runRequest.h"

namespace pelo {

/// The name the utility gives itself in its messages.
inline constexpr const char* programName = "peloarchive";

/// The whole run of the request.  Returns 0 after a complete run; every
/// failure ends the process through the clean-up with status 1 instead of
/// returning.
int peloarchive(const RunRequest& request);

/// Installs the run's signal dispositions: SIGPIPE ignored; SIGINT,
/// SIGTERM, SIGHUP and SIGURG recorded for sigCheck.  System calls are
/// not restarted, so a blocking read returns and its caller can look.
void sigInit();

/// Ends the run through serverRestart when a termination signal arrived
/// since sigInit (for SIGHUP and SIGURG after interrupting the database);
/// otherwise returns at once.  Phases call it between units of work.
void sigCheck();

/// Prints 1438 and ends the run through cleanUpAndExit.
[[noreturn]] void serverRestart();

/// The database product that the installation record names: the last
/// line not starting with "#" that contains "ORACLE", "INFORMIX",
/// "SYBASE" or "VQL" (tried in that order) gives "oracle", "informix",
/// "sybase" or "dizoz"; "" when no line does.  Lines are read in pieces of
/// at most 255 bytes.
std::string readInstallRecord(FILE* record);

}  // namespace pelo
