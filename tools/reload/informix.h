// Running an Informix populate script, a shell command feeding isql a
// here-document (see archive/scriptReader.h, which checks it first).
#pragma once

#include <string>

namespace pelo::reload {

struct InformixRun {
    std::string script;       ///< path of the populate script
    std::string archiveDir;   ///< $4: the directory of the load files
    std::string target;       ///< the family database, for isql as PELO_DB
    std::string login;        ///< for isql as PGUSER when not empty
    std::string password;     ///< for isql as PGPASSWORD when not empty
    std::string productHome;  ///< $1; empty: a scratch one with bin/isql, the stand-in
};

/// Runs a checked script with /bin/sh from an argument vector, as the
/// restore side does; isql commits at each "commit work", so a failure
/// keeps what was committed before it.  Throws ReloadError with the
/// tool's output when the shell ends with a status other than 0.
void runInformixScript(const InformixRun& run);

}  // namespace pelo::reload
