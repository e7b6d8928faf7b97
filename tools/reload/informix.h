// The Informix populate script is a shell command: one here-document fed
// to the product's isql tool,
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

#include <string>
#include <string_view>

namespace pelo::reload {

/// Refuses a script that is not the here-document form above, holds an
/// unescaped back quote or "$(" in its here-document (the shell would run
/// the command), or has a line "!" before its end (the shell would run the
/// lines after it).  Throws ReloadError naming the line.
void checkInformixScript(std::string_view script);

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
