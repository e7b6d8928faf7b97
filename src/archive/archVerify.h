// peloarchive --verify: an archive checked against what it says of
// itself, with no family, login, semaphore or database.
//
// The archive is a directory, or a file or device holding a cpio archive,
// which "cpio -i -d --no-absolute-filenames" reads into a scratch
// directory below $TMPDIR (else /tmp), removed at the end.  Every problem
// is one line on standard output, a path written as the manifest writes
// it (backslashes and new-lines escaped).  The checks: each file the
// manifest names, each file it does not, each trimmed history's deltas as
// its tool lists them, the information file's counts against the rows of
// the row copy, which is opened read-only and immutable, and the populate
// script reloaded against the row copy (archVerifyReload.h; only when the
// files it reads are intact):
//
//   PATH: in the manifest, missing
//   PATH: cannot be read: REASON
//   PATH: size N, manifest says M
//   PATH: SHA-256 differs
//   PATH: not in the manifest
//   PATH: no size line in the manifest       (or: no SHA-256 line)
//   PELOarchive.manifest: line N not understood
//   PELOarchive.manifest: missing
//   PATH: keeps A B ..., TOOL lists C D ...  (TOOL prs or vlog)
//   PATH: kept deltas recorded, but no file line in the manifest
//   PATH: TOOL fails: COMPLAINT
//   histories: not checked, PELO_VCBIN is not set
//   ARCHIVE: cpio fails: COMPLAINT
//   counts: NAME N in the information file, M in the row copy
//   counts: NAME N in the information file, no table in the row copy
//   counts: not checked, no PELOarchive.rows.db
//   PELOarchive.rows.db: TABLE cannot be read: REASON
//   PELOarchive.info: missing                (or: no counts section)
//   reload: PELOarchive.dbData line N: REASON  (a statement refused or failing)
//   reload: PELOarchive.dbData: N more problems
//   reload: FILE line N: REASON               (an export file)
//   reload: TABLE: N rows from the script, M in the row copy
//   reload: TABLE KEY: COLUMN differs        (KEY as "ID=5" or "A=x, B=y")
//   reload: TABLE KEY: not in the script     (or: not in the row copy)
//   reload: TABLE: N more differences        (after ten lines of a table)
//   reload: TABLE: not compared: REASON
//   reload: not checked, REASON
//
// then one summary line, "peloarchive --verify: ARCHIVE: verified, N
// files" or "peloarchive --verify: ARCHIVE: N problems" (1 problem).  A
// termination signal stops the checks at the next file, removes the
// scratch directory and ends with status 1 after "peloarchive --verify:
// ARCHIVE: stopped by signal S, N problems so far".
#pragma once

#include <string>

namespace pelo {

/// Verifies the archive at path, printing each problem and the summary
/// line; 0 when everything holds, 1 when anything does not.
int verifyArchive(const std::string& path);

/// Whether a termination signal stopped the last verification.
bool verifyStopped();

}  // namespace pelo
