// The archive run driver: the run order of "peloarchive [-F]", the archive
// semaphore, the database environment and the termination signals.
#pragma once

#include <cstdio>
#include <string>

#include "archive/runRequest.h"

namespace pelo {

/// The name the utility gives itself in its messages.
inline constexpr const char* programName = "peloarchive";

/// The whole run of the request.  --help and --version print and return 0
/// before anything else; a refused command line prints its one line on
/// standard error and returns 2 (usage).  A run returns its status after
/// it completes (ExitStatus); every failure ends the process through the
/// clean-up instead of returning, with status 1 in an interactive run and
/// the status that names the failure in a scripted one.
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
